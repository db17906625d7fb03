// A list of client addresses and networks, such as "127.0.0.1",
// "10.0.0.0/8" or "2001:db8::/32", and whether a client's address is on it.
// An IPv4 client seen through an IPv6 socket (::ffff:a.b.c.d) matches the
// IPv4 entries.
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace talixdb::server {

class AddressList {
 public:
  // The list in `text`, entries separated by commas; empty, with `problem`
  // saying why, when one entry is no address or network.
  static AddressList parse(const std::string& text, std::string& problem);
  // Adds one entry; returns "" or why it is no address or network.
  std::string add(const std::string& entry);
  bool empty() const { return m_entries.empty(); }
  // True when `address` (as the log shows a client) is on the list.
  bool contains(const std::string& address) const;
  // The same for a peer's socket address.
  bool contains(const sockaddr_storage& address) const;

 private:
  struct Entry {
    std::array<std::uint8_t, 16> bytes{};  // IPv4 in the first four
    int family = 0;                        // AF_INET or AF_INET6
    int prefix = 0;                        // bits that must match
  };
  std::vector<Entry> m_entries;
};

}  // namespace talixdb::server
