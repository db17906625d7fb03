#include "base/AddressList.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace talixdb::server {

namespace {

// Reads an IPv4 or IPv6 address; an IPv4-mapped IPv6 one is read as IPv4.
bool parseAddress(const std::string& text, std::array<std::uint8_t, 16>& bytes, int& family);
bool samePrefix(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b, int bits);

}  // namespace

AddressList AddressList::parse(const std::string& text, std::string& problem) {
  AddressList list;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    problem = list.add(text.substr(start, comma - start));
    if (!problem.empty()) return AddressList();
    start = comma + 1;
  }
  return list;
}

std::string AddressList::add(const std::string& entry) {
  const std::size_t slash = entry.find('/');
  Entry parsed;
  if (!parseAddress(entry.substr(0, slash), parsed.bytes, parsed.family))
    return "'" + entry + "' is no IPv4 or IPv6 address";
  const int most = parsed.family == AF_INET ? 32 : 128;
  parsed.prefix = most;
  if (slash != std::string::npos) {
    const std::string bits = entry.substr(slash + 1);
    if (bits.empty() || bits.size() > 3 || bits.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(bits) > most)
      return "'" + entry + "' has no prefix length from 0 to " + std::to_string(most);
    parsed.prefix = std::stoi(bits);
  }
  m_entries.push_back(parsed);
  return std::string();
}

bool AddressList::contains(const std::string& address) const {
  std::array<std::uint8_t, 16> bytes{};
  int family = 0;
  if (!parseAddress(address, bytes, family)) return false;
  for (const Entry& entry : m_entries) {
    if (entry.family == family && samePrefix(entry.bytes, bytes, entry.prefix)) return true;
  }
  return false;
}

bool AddressList::contains(const sockaddr_storage& address) const {
  char text[INET6_ADDRSTRLEN] = {};
  const void* bytes = nullptr;
  if (address.ss_family == AF_INET)
    bytes = &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr;
  else if (address.ss_family == AF_INET6)
    bytes = &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
  if (bytes == nullptr || inet_ntop(address.ss_family, bytes, text, sizeof text) == nullptr) return false;
  return contains(std::string(text));
}

namespace {

bool parseAddress(const std::string& text, std::array<std::uint8_t, 16>& bytes, int& family) {
  bytes.fill(0);
  if (inet_pton(AF_INET, text.c_str(), bytes.data()) == 1) {
    family = AF_INET;
    return true;
  }
  if (inet_pton(AF_INET6, text.c_str(), bytes.data()) != 1) return false;
  static const std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  family = AF_INET6;
  if (std::memcmp(bytes.data(), kMapped, sizeof kMapped) == 0) {
    std::memmove(bytes.data(), bytes.data() + 12, 4);
    std::memset(bytes.data() + 4, 0, 12);
    family = AF_INET;
  }
  return true;
}

bool samePrefix(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b, int bits) {
  for (int i = 0; bits > 0; ++i, bits -= 8) {
    const std::uint8_t mask = bits >= 8 ? 0xff : static_cast<std::uint8_t>(0xff << (8 - bits));
    if ((a[i] & mask) != (b[i] & mask)) return false;
  }
  return true;
}

}  // namespace

}  // namespace talixdb::server
