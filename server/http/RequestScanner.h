// A first look at a request's body, byte by byte as it arrives and before the
// XML parser reads it, so that what the parser would spend time or memory on
// without limit is refused early and cheaply: a large XML part, deep nesting,
// many attributes or namespace declarations, a DTD, characters the parser
// would store changed (U+0000, unknown entities, text that is not UTF-8).
// The parser of the runtime has no limits of its own for attributes and
// namespace declarations; it spends time on them that grows with their square.
//
// The body is a SOAP envelope, or a DIME message whose first record is the
// envelope (the attachments after it are not looked at here). The scan is a
// small state machine with a few counters: it costs a few nanoseconds a byte
// and keeps no text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ClientText.h"

namespace talixdb::server {

// What the XML part of one request may hold. The largest message the
// library sends (a model with its property maps) is a few hundred KiB.
struct XmlLimits {
  std::uint64_t maxBytes = 2ull << 20;  // of the XML part
  unsigned maxDepth = 64;               // elements inside elements
  unsigned maxAttributes = 64;          // on one element, namespace declarations included
  unsigned maxNamespaces = 32;          // declared on one element
  unsigned maxMessageNamespaces = 256;  // declared in the whole request
};

class RequestScanner {
 public:
  explicit RequestScanner(const XmlLimits& limits = XmlLimits());

  // Starts over for the body of a new request.
  void reset();
  // Looks at the next bytes of the body. False once the request is refused;
  // refusal() then says why and later bytes are not looked at.
  bool feed(const char* data, std::size_t size);
  const std::string& refusal() const { return m_refusal; }

 private:
  enum class Framing { Start, DimeHeader, DimeSkip, Xml, Done };
  enum class State {
    Text, TagOpen, EndTag, Instruction, Declaration, Comment, CData,
    TagName, InTag, AttributeName, AfterName, BeforeValue, Value, UnquotedValue, EmptyEnd, Reference,
  };

  void decideFraming();
  void readDimeHeader();
  void scanXml(const unsigned char* data, std::size_t size);
  void step(unsigned char byte);
  void startElement();
  void endElement();
  void startAttribute(unsigned char first);
  void endAttributeName();
  void startReference(State after);
  void endReference();
  void refuse(const std::string& why);

  XmlLimits m_limits;
  std::string m_refusal;
  Framing m_framing = Framing::Start;
  std::string m_head;              // the first bytes of the body, until its framing is known
  std::uint64_t m_skip = 0;        // DIME header bytes still to pass
  std::uint64_t m_xmlLeft = 0;     // bytes of the XML part still to come (DIME)
  std::uint64_t m_xmlBytes = 0;
  Utf8Check m_utf8;

  State m_state = State::Text;
  State m_afterReference = State::Text;
  unsigned char m_quote = 0;
  unsigned m_depth = 0;
  unsigned m_attributes = 0;       // on the current element
  unsigned m_namespaces = 0;       // declared on the current element
  unsigned m_messageNamespaces = 0;
  std::string m_name;              // the first bytes of the current attribute's name
  std::size_t m_nameLength = 0;
  std::string m_reference;         // between '&' and ';'
  const char* m_literal = nullptr; // "--" or "[CDATA[" after "<!"
  std::size_t m_matched = 0;
  unsigned m_run = 0;              // '-' or ']' just seen in a comment or CDATA section
  unsigned char m_previous = 0;
};

}  // namespace talixdb::server
