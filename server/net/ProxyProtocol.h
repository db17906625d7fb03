// The PROXY protocol (versions 1 and 2) as a TCP balancer speaks it: a header
// before the connection's first byte names the client the balancer serves.
// The server reads it only from addresses it is told to trust.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talixdb::server {

// What the start of a connection holds.
struct ProxyHeader {
  enum class State {
    Absent,      // the bytes begin no PROXY header
    Incomplete,  // they begin one that has not fully arrived
    Complete,    // a whole header of `length` bytes
    Malformed,   // one that cannot be read (`problem` says why)
  };
  State state = State::Absent;
  std::size_t length = 0;
  std::string client;  // the client it names; "" for a balancer's own connection (LOCAL, UNKNOWN)
  std::string problem;
};

// Reads a PROXY header at the start of `bytes`.
ProxyHeader readProxyHeader(std::string_view bytes);

// The most bytes a header may take (a version 2 header with its extensions).
constexpr std::size_t kMaxProxyHeader = 16 + 1024;

// The text of an IPv4 or IPv6 address ("" for another family).
std::string addressText(const sockaddr_storage& address);

}  // namespace talixdb::server
