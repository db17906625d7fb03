// An accepted connection as the waiting room and the workers hand it over.
#pragma once

#include <string>

namespace talixdb::server {

// An accepted connection, between requests.
struct Connection {
  int socket = -1;
  std::string client;  // the peer's address, for the log
  int served = 0;      // requests served on it so far
};

}  // namespace talixdb::server
