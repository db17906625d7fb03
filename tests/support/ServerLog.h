// Reading the test server's log: its request lines,
//   <time> <level> request <client> <operation> <user> <duration>ms <outcome>
#pragma once

#include <string>
#include <vector>

namespace talixdb_test {

class TestServer;

struct LoggedRequest {
  std::string level;
  std::string client;
  std::string operation;  // "-" when none was recognised
  std::string user;       // "-" when unknown
  std::string outcome;    // "ok", "fault: ...", "probe"
  // "<operation> <user> <outcome>", the form the request checks compare.
  std::string summary() const { return operation + " " + user + " " + outcome; }
};

// Every request line of `log`, in order.
std::vector<LoggedRequest> loggedRequests(const std::string& log);

// The requests of `operation` ("" for every one) the server has logged so
// far, read again until the count stops changing (bounded): the server logs a
// request just before its reply goes out.
int loggedRequestCount(const TestServer& server, const std::string& operation = "");

}  // namespace talixdb_test
