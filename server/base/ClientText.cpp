#include "base/ClientText.h"

#include <cstdio>

namespace talixdb::server {

namespace {

// Bytes of the UTF-8 character that begins with `byte` (0 when none does).
std::size_t sequenceLength(unsigned char byte);
std::string escapedByte(unsigned char byte);

}  // namespace

std::string echo(const std::string& text, std::size_t limit) {
  std::string shown;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = sequenceLength(byte);
    bool whole = length > 1 && i + length <= text.size() && isValidUtf8(text.substr(i, length));
    // U+0080 to U+009F are control characters too.
    bool control = whole && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    std::string piece;
    if (control) {
      piece = escapedByte(byte) + escapedByte(static_cast<unsigned char>(text[i + 1]));
    } else if (whole) {
      piece = text.substr(i, length);
    } else {
      length = 1;
      piece = byte < 0x20 || byte >= 0x7F ? escapedByte(byte) : std::string(1, static_cast<char>(byte));
    }
    if (shown.size() + piece.size() > limit) return shown + "\xE2\x80\xA6";
    shown += piece;
    i += length;
  }
  return shown;
}

bool Utf8Check::feed(unsigned char byte) {
  if (m_failed) return false;
  if (m_pending > 0) {
    if (byte < m_low || byte > m_high) {
      m_failed = true;
      return false;
    }
    --m_pending;
    m_low = 0x80;
    m_high = 0xBF;
    return true;
  }
  if (byte < 0x80) return true;
  // The first byte fixes the length and, for a few, the range of the second
  // byte: that excludes overlong forms, surrogates and values past U+10FFFF.
  if (byte >= 0xC2 && byte <= 0xDF) {
    m_pending = 1;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    m_pending = 2;
    if (byte == 0xE0) m_low = 0xA0;
    if (byte == 0xED) m_high = 0x9F;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    m_pending = 3;
    if (byte == 0xF0) m_low = 0x90;
    if (byte == 0xF4) m_high = 0x8F;
  } else {
    m_failed = true;
  }
  return !m_failed;
}

bool isValidUtf8(const std::string& text) {
  Utf8Check check;
  for (char c : text) {
    if (!check.feed(static_cast<unsigned char>(c))) return false;
  }
  return check.complete();
}

std::string codePointName(std::uint32_t codePoint) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
  return text;
}

namespace {

std::size_t sequenceLength(unsigned char byte) {
  if (byte < 0x80) return 1;
  if (byte >= 0xC2 && byte <= 0xDF) return 2;
  if (byte >= 0xE0 && byte <= 0xEF) return 3;
  if (byte >= 0xF0 && byte <= 0xF4) return 4;
  return 0;
}

std::string escapedByte(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(byte));
  return text;
}

}  // namespace

}  // namespace talixdb::server
