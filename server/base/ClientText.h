// Text that came from a client: whether it is UTF-8, and the short, printable
// prefix of it that fault texts and log lines show. A client's name, path or
// user may be megabytes long or hold control bytes; echoing it whole would
// let one request fill the log and the reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace talixdb::server {

// Most bytes of one name, user or other text of a client that a fault or a
// log line repeats.
constexpr std::size_t kEchoBytes = 64;
// The same for a path, which is several names.
constexpr std::size_t kEchoPathBytes = 160;
// Most bytes of a fault text of the runtime, which may quote an element name.
constexpr std::size_t kEchoFaultBytes = 256;

// At most `limit` bytes of `text`, cut before a character that would not fit
// whole, with control bytes (and bytes of invalid UTF-8) written as \xNN and
// "…" after a cut.
std::string echo(const std::string& text, std::size_t limit = kEchoBytes);
inline std::string echoPath(const std::string& path) { return echo(path, kEchoPathBytes); }

// Checks UTF-8 as it arrives, byte by byte: no overlong forms, no
// surrogates, nothing above U+10FFFF.
class Utf8Check {
 public:
  // False when `byte` cannot continue valid UTF-8 (the check then stays failed).
  bool feed(unsigned char byte);
  // True when every character fed so far is complete and valid.
  bool complete() const { return !m_failed && m_pending == 0; }

 private:
  unsigned m_pending = 0;          // continuation bytes still expected
  unsigned char m_low = 0x80;      // range of the next continuation byte
  unsigned char m_high = 0xBF;
  bool m_failed = false;
};

bool isValidUtf8(const std::string& text);

// "U+0041" for 0x41.
std::string codePointName(std::uint32_t codePoint);

}  // namespace talixdb::server
