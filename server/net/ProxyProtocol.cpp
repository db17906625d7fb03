#include "net/ProxyProtocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdlib>
#include <cstring>

namespace talixdb::server {

namespace {

constexpr std::string_view kVersion1 = "PROXY ";
constexpr std::string_view kVersion2("\r\n\r\n\0\r\nQUIT\n", 12);
// A version 1 header is one line of at most this many bytes, its CRLF included.
constexpr std::size_t kMaxVersion1 = 107;

ProxyHeader malformed(const std::string& problem);
ProxyHeader incomplete();
ProxyHeader readVersion1(std::string_view bytes);
ProxyHeader readVersion2(std::string_view bytes);
std::string addressOf(int family, const void* bytes);

}  // namespace

ProxyHeader readProxyHeader(std::string_view bytes) {
  const auto begins = [&](std::string_view signature) {
    const std::size_t n = std::min(bytes.size(), signature.size());
    return bytes.substr(0, n) == signature.substr(0, n);
  };
  if (bytes.empty()) return incomplete();
  if (begins(kVersion1)) return bytes.size() < kVersion1.size() ? incomplete()
                                                                 : readVersion1(bytes);
  if (begins(kVersion2)) return bytes.size() < 16 ? incomplete() : readVersion2(bytes);
  return ProxyHeader();
}

std::string addressText(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET)
    return addressOf(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr);
  if (address.ss_family == AF_INET6)
    return addressOf(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr);
  return std::string();
}

namespace {

ProxyHeader incomplete() {
  ProxyHeader header;
  header.state = ProxyHeader::State::Incomplete;
  return header;
}

ProxyHeader malformed(const std::string& problem) {
  ProxyHeader header;
  header.state = ProxyHeader::State::Malformed;
  header.problem = problem;
  return header;
}

// "PROXY TCP4 SOURCE DESTINATION SPORT DPORT\r\n", or "PROXY UNKNOWN ...\r\n".
ProxyHeader readVersion1(std::string_view bytes) {
  const std::size_t end = bytes.find("\r\n");
  if (end == std::string_view::npos) {
    if (bytes.size() >= kMaxVersion1) return malformed("a PROXY header line longer than 107 bytes");
    return incomplete();
  }
  if (end + 2 > kMaxVersion1) return malformed("a PROXY header line longer than 107 bytes");
  std::vector<std::string> words;
  const std::string line(bytes.substr(kVersion1.size(), end - kVersion1.size()));
  for (std::size_t at = 0; at <= line.size();) {
    std::size_t blank = line.find(' ', at);
    if (blank == std::string::npos) blank = line.size();
    words.push_back(line.substr(at, blank - at));
    at = blank + 1;
  }
  ProxyHeader header;
  header.state = ProxyHeader::State::Complete;
  header.length = end + 2;
  if (words[0] == "UNKNOWN") return header;
  const int family = words[0] == "TCP4" ? AF_INET : words[0] == "TCP6" ? AF_INET6 : AF_UNSPEC;
  unsigned char source[16];
  unsigned char destination[16];
  if (family == AF_UNSPEC || words.size() != 5 || inet_pton(family, words[1].c_str(), source) != 1 ||
      inet_pton(family, words[2].c_str(), destination) != 1)
    return malformed("a PROXY header that names no TCP4 or TCP6 addresses");
  for (std::size_t port = 3; port < 5; ++port) {
    const std::string& digits = words[port];
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
        std::atol(digits.c_str()) > 65535)
      return malformed("a PROXY header with a port that is no port");
  }
  header.client = addressOf(family, source);
  return header;
}

// The 12-byte signature, version and command, family, length, addresses.
ProxyHeader readVersion2(std::string_view bytes) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
  const std::size_t length = 16 + (std::size_t{byte(14)} << 8 | byte(15));
  if ((byte(12) >> 4) != 2 || (byte(12) & 0x0f) > 1) return malformed("a PROXY header of an unknown version or command");
  if (length > kMaxProxyHeader) return malformed("a PROXY header longer than 1040 bytes");
  if (bytes.size() < length) return incomplete();
  ProxyHeader header;
  header.state = ProxyHeader::State::Complete;
  header.length = length;
  // LOCAL: the balancer's own connection (a health check).
  if ((byte(12) & 0x0f) == 0) return header;
  const int family = byte(13) >> 4;
  if (family == 1 && length >= 16 + 12) {
    header.client = addressOf(AF_INET, bytes.data() + 16);
  } else if (family == 2 && length >= 16 + 36) {
    header.client = addressOf(AF_INET6, bytes.data() + 16);
  } else if (family == 1 || family == 2) {
    return malformed("a PROXY header too short for its addresses");
  }
  return header;
}

std::string addressOf(int family, const void* bytes) {
  char text[INET6_ADDRSTRLEN] = {};
  if (inet_ntop(family, bytes, text, sizeof text) == nullptr) return std::string();
  return text;
}

}  // namespace

}  // namespace talixdb::server
