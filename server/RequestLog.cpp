#include "RequestLog.h"

#include <cstdio>
#include <mutex>

namespace talixdb::server {

namespace {

std::string oneLine(std::string text);

}  // namespace

std::string requestLine(const std::string& operation, const std::string& user, const std::string& outcome) {
  return "talixdb-server: request " + oneLine(operation.empty() ? "-" : operation) + " " +
         oneLine(user.empty() ? "-" : user) + " " + oneLine(outcome);
}

void logRequest(const std::string& operation, const std::string& user, const std::string& outcome) {
  static std::mutex mutex;
  std::string line = requestLine(operation, user, outcome) + "\n";
  std::lock_guard<std::mutex> lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

namespace {

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

}  // namespace talixdb::server
