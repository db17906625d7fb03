// Counting the requests the test server has served, from its request log.
#pragma once

#include <string>

#include "support/ServerLog.h"
#include "support/TestServer.h"

namespace talixdb_test {

// Requests of `operation` logged so far.
inline int requestCount(const TestServer& server, const std::string& operation) {
  return loggedRequestCount(server, operation);
}

}  // namespace talixdb_test
