#include "support/ServerLog.h"

#include <chrono>
#include <sstream>
#include <thread>
#include <utility>

#include "support/TestServer.h"

namespace talixdb_test {

std::vector<LoggedRequest> loggedRequests(const std::string& log) {
  std::vector<LoggedRequest> requests;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string time, kind, duration;
    LoggedRequest request;
    fields >> time >> request.level >> kind;
    if (kind != "request") continue;
    fields >> request.client >> request.operation >> request.user >> duration;
    std::getline(fields >> std::ws, request.outcome);
    requests.push_back(request);
  }
  return requests;
}

int loggedRequestCount(const TestServer& server, const std::string& operation) {
  auto count = [&] {
    int found = 0;
    for (const LoggedRequest& request : loggedRequests(server.log()))
      found += operation.empty() || request.operation == operation ? 1 : 0;
    return found;
  };
  int last = count(), again = -1;
  for (int i = 0; i < 40 && again != last; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    again = std::exchange(last, count());
  }
  return last;
}

}  // namespace talixdb_test
