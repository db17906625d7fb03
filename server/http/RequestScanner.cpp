#include "http/RequestScanner.h"

#include <algorithm>
#include <cstring>

namespace talixdb::server {

namespace {

constexpr std::size_t kDimeHeaderBytes = 12;
constexpr unsigned char kDimeChunked = 0x01;
constexpr std::size_t kMaxReferenceBytes = 12;  // "#x0010FFFF" and the five names fit

bool isSpace(unsigned char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; }
std::uint64_t padded(std::uint64_t length) { return (length + 3) & ~std::uint64_t{3}; }
std::uint64_t bigEndian(const std::string& bytes, std::size_t at, std::size_t count);
// The character a numeric reference ("#65", "#x41") names; false when it is malformed.
bool referencedCharacter(const std::string& reference, std::uint64_t& codePoint);

}  // namespace

RequestScanner::RequestScanner(const XmlLimits& limits) : m_limits(limits) {}

void RequestScanner::reset() { *this = RequestScanner(m_limits); }

bool RequestScanner::feed(const char* data, std::size_t size) {
  const auto* next = reinterpret_cast<const unsigned char*>(data);
  const auto* end = next + size;
  while (next < end && m_refusal.empty()) {
    switch (m_framing) {
      case Framing::Start:
        m_head.push_back(static_cast<char>(*next++));
        if (m_head.size() == 2) decideFraming();
        break;
      case Framing::DimeHeader:
        m_head.push_back(static_cast<char>(*next++));
        if (m_head.size() == kDimeHeaderBytes) readDimeHeader();
        break;
      case Framing::DimeSkip: {
        auto count = static_cast<std::size_t>(std::min<std::uint64_t>(m_skip, end - next));
        next += count;
        m_skip -= count;
        if (m_skip == 0) m_framing = m_xmlLeft > 0 ? Framing::Xml : Framing::Done;
        break;
      }
      case Framing::Xml: {
        auto count = static_cast<std::size_t>(end - next);
        if (m_xmlLeft > 0) count = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_xmlLeft));
        scanXml(next, count);
        next += count;
        if (m_xmlLeft > 0 && (m_xmlLeft -= count) == 0) m_framing = Framing::Done;
        break;
      }
      case Framing::Done:
        return true;
    }
  }
  return m_refusal.empty();
}

// The runtime takes a body for DIME, MIME or gzip by its first two bytes;
// only DIME and plain XML are served.
void RequestScanner::decideFraming() {
  const auto first = static_cast<unsigned char>(m_head[0]);
  const auto second = static_cast<unsigned char>(m_head[1]);
  if ((first & 0xFC) == 0x0C && (second & 0xF0) == 0x20) {
    m_framing = Framing::DimeHeader;
  } else if (first == '-' && second == '-') {
    refuse("MIME attachments are not accepted: files travel as DIME attachments");
  } else if (first == 0x1F && second == 0x8B) {
    refuse("compressed requests are not accepted");
  } else {
    m_framing = Framing::Xml;
    scanXml(reinterpret_cast<const unsigned char*>(m_head.data()), m_head.size());
  }
}

// The first record's header: flags, type, option, id and type lengths,
// data length; then its options, id and type, each padded to four bytes.
void RequestScanner::readDimeHeader() {
  if (static_cast<unsigned char>(m_head[0]) & kDimeChunked) {
    refuse("the SOAP part of a DIME request must be one record, not chunks");
    return;
  }
  m_xmlLeft = bigEndian(m_head, 8, 4);
  if (m_xmlLeft > m_limits.maxBytes) {
    refuse("the XML part is larger than " + std::to_string(m_limits.maxBytes) + " bytes");
    return;
  }
  m_skip = padded(bigEndian(m_head, 2, 2)) + padded(bigEndian(m_head, 4, 2)) + padded(bigEndian(m_head, 6, 2));
  m_framing = m_skip > 0 ? Framing::DimeSkip : (m_xmlLeft > 0 ? Framing::Xml : Framing::Done);
}

void RequestScanner::scanXml(const unsigned char* data, std::size_t size) {
  for (std::size_t i = 0; i < size && m_refusal.empty(); ++i) {
    // Plain ASCII text is most of a message: past it quickly.
    if (m_state == State::Text && m_utf8.complete()) {
      std::size_t run = i;
      while (run < size && data[run] < 0x80 && data[run] != '<' && data[run] != '&' && data[run] != 0) ++run;
      m_xmlBytes += run - i;
      i = run;
      if (i == size) break;
    }
    const unsigned char byte = data[i];
    ++m_xmlBytes;
    if (byte == 0) refuse("the request holds the character U+0000, which XML does not allow");
    else if (!m_utf8.feed(byte)) refuse("the request is not valid UTF-8");
    else step(byte);
  }
  if (m_xmlBytes > m_limits.maxBytes && m_refusal.empty())
    refuse("the XML part is larger than " + std::to_string(m_limits.maxBytes) + " bytes");
}

void RequestScanner::step(unsigned char byte) {
  switch (m_state) {
    case State::Text:
      if (byte == '<') m_state = State::TagOpen;
      else if (byte == '&') startReference(State::Text);
      return;
    case State::TagOpen:
      if (byte == '/') {
        m_state = State::EndTag;
      } else if (byte == '?') {
        m_state = State::Instruction;
        m_previous = 0;
      } else if (byte == '!') {
        m_state = State::Declaration;
        m_literal = nullptr;
        m_matched = 0;
      } else {
        startElement();
        m_state = State::TagName;
        step(byte);
      }
      return;
    case State::EndTag:
      if (byte == '>') {
        endElement();
        m_state = State::Text;
      }
      return;
    case State::Instruction:
      if (byte == '>' && m_previous == '?') m_state = State::Text;
      m_previous = byte;
      return;
    case State::Declaration:
      // After "<!" only a comment or a CDATA section may follow; anything
      // else declares a document type, an entity or the like.
      if (m_literal == nullptr) m_literal = byte == '[' ? "[CDATA[" : "--";
      if (byte != static_cast<unsigned char>(m_literal[m_matched])) {
        refuse("the request holds a document type or entity declaration: DTDs are not accepted");
      } else if (m_literal[++m_matched] == '\0') {
        m_state = m_literal[0] == '-' ? State::Comment : State::CData;
        m_run = 0;
      }
      return;
    case State::Comment:
    case State::CData: {
      const unsigned char closing = m_state == State::Comment ? '-' : ']';
      if (byte == '>' && m_run >= 2) m_state = State::Text;
      m_run = byte == closing ? m_run + 1 : 0;
      return;
    }
    case State::TagName:
      if (isSpace(byte)) m_state = State::InTag;
      else if (byte == '>') m_state = State::Text;
      else if (byte == '/') m_state = State::EmptyEnd;
      return;
    case State::InTag:
      if (byte == '>') m_state = State::Text;
      else if (byte == '/') m_state = State::EmptyEnd;
      else if (!isSpace(byte)) startAttribute(byte);
      return;
    case State::AttributeName:
      if (byte == '=' || isSpace(byte) || byte == '>' || byte == '/') {
        endAttributeName();
        m_state = byte == '=' ? State::BeforeValue
                  : byte == '>' ? State::Text
                  : byte == '/' ? State::EmptyEnd
                                : State::AfterName;
      } else {
        if (m_name.size() < 6) m_name.push_back(static_cast<char>(byte));
        ++m_nameLength;
      }
      return;
    case State::AfterName:
      if (byte == '=') m_state = State::BeforeValue;
      else if (byte == '>') m_state = State::Text;
      else if (byte == '/') m_state = State::EmptyEnd;
      else if (!isSpace(byte)) startAttribute(byte);
      return;
    case State::BeforeValue:
      if (byte == '"' || byte == '\'') {
        m_quote = byte;
        m_state = State::Value;
      } else if (byte == '>') {
        m_state = State::Text;
      } else if (!isSpace(byte)) {
        m_state = State::UnquotedValue;
        step(byte);
      }
      return;
    case State::Value:
      if (byte == m_quote) m_state = State::InTag;
      else if (byte == '&') startReference(State::Value);
      return;
    case State::UnquotedValue:
      if (isSpace(byte)) m_state = State::InTag;
      else if (byte == '>') m_state = State::Text;
      else if (byte == '&') startReference(State::UnquotedValue);
      return;
    case State::EmptyEnd:
      if (byte == '>') {
        endElement();
        m_state = State::Text;
      } else {
        m_state = State::InTag;
        step(byte);
      }
      return;
    case State::Reference:
      if (byte == ';') endReference();
      else if (m_reference.size() < kMaxReferenceBytes) m_reference.push_back(static_cast<char>(byte));
      else refuse("the request holds a malformed character or entity reference");
      return;
  }
}

void RequestScanner::startElement() {
  if (++m_depth > m_limits.maxDepth)
    refuse("elements nest deeper than " + std::to_string(m_limits.maxDepth) + " levels");
  m_attributes = 0;
  m_namespaces = 0;
}

void RequestScanner::endElement() {
  if (m_depth > 0) --m_depth;
}

void RequestScanner::startAttribute(unsigned char first) {
  if (++m_attributes > m_limits.maxAttributes) {
    refuse("an element has more than " + std::to_string(m_limits.maxAttributes) + " attributes");
    return;
  }
  m_name.assign(1, static_cast<char>(first));
  m_nameLength = 1;
  m_state = State::AttributeName;
}

// "xmlns" and "xmlns:PREFIX" declare namespaces.
void RequestScanner::endAttributeName() {
  bool declaration = (m_nameLength == 5 && m_name == "xmlns") || (m_nameLength > 6 && m_name == "xmlns:");
  if (!declaration) return;
  if (++m_namespaces > m_limits.maxNamespaces)
    refuse("an element declares more than " + std::to_string(m_limits.maxNamespaces) + " namespaces");
  else if (++m_messageNamespaces > m_limits.maxMessageNamespaces)
    refuse("the request declares more than " + std::to_string(m_limits.maxMessageNamespaces) + " namespaces");
}

void RequestScanner::startReference(State after) {
  m_afterReference = after;
  m_reference.clear();
  m_state = State::Reference;
}

// Only the five predefined entities and references to characters that XML
// allows: the parser would turn anything else into another character.
void RequestScanner::endReference() {
  m_state = m_afterReference;
  static const char* const kPredefined[] = {"lt", "gt", "amp", "quot", "apos"};
  for (const char* name : kPredefined) {
    if (m_reference == name) return;
  }
  std::uint64_t codePoint = 0;
  if (m_reference.empty() || m_reference[0] != '#') {
    refuse("the request refers to an unknown entity '&" + echo(m_reference) + ";'");
  } else if (!referencedCharacter(m_reference, codePoint)) {
    refuse("the request holds a malformed character reference '&" + echo(m_reference) + ";'");
  } else if (codePoint == 0) {
    refuse("the request holds the character U+0000, which XML does not allow");
  } else if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint == 0xFFFE || codePoint == 0xFFFF ||
             codePoint > 0x10FFFF) {
    refuse("the request refers to " + (codePoint > 0x10FFFF ? std::string("a number past U+10FFFF")
                                                             : codePointName(static_cast<std::uint32_t>(codePoint))) +
           ", which is no character XML allows");
  }
}

void RequestScanner::refuse(const std::string& why) {
  if (m_refusal.empty()) m_refusal = why;
}

namespace {

std::uint64_t bigEndian(const std::string& bytes, std::size_t at, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

bool referencedCharacter(const std::string& reference, std::uint64_t& codePoint) {
  bool hex = reference.size() > 1 && (reference[1] == 'x' || reference[1] == 'X');
  std::size_t begin = hex ? 2 : 1;
  if (begin >= reference.size()) return false;
  codePoint = 0;
  for (std::size_t i = begin; i < reference.size(); ++i) {
    char c = reference[i];
    int digit = c >= '0' && c <= '9' ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
    if (digit < 0) return false;
    codePoint = codePoint * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
  }
  return true;
}

}  // namespace

}  // namespace talixdb::server
