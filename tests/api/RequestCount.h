// Counting the requests the test server has served, from its request log
// ("talixdb-server: request <operation> <user> <outcome>", one line each).
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "support/TestServer.h"

namespace talixdb_test {

inline int countOccurrences(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

// Requests of `operation` logged so far; the short wait lets a line that is
// still being written reach the log.
inline int requestCount(const TestServer& server, const std::string& operation) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return countOccurrences(server.log(), "talixdb-server: request " + operation + " ");
}

}  // namespace talixdb_test
