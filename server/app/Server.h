// The server process: one listening socket, a bounded pool of workers, each
// with its own runtime context and storage connection.
#pragma once

#include <string>
#include <vector>

#include "app/ServerOptions.h"

namespace talixdb::server {

// What a start with `options` warns about before it listens: serving beyond
// loopback without TLS.
std::vector<std::string> startWarnings(const ServerOptions& options);

// Prepares the store, listens, and serves until SIGINT or SIGTERM; then
// finishes the requests already accepted and closes the store. Returns the
// process exit status (0 after a signal, 1 when the store or the address
// cannot be used).
int runServer(const ServerOptions& options);

}  // namespace talixdb::server
