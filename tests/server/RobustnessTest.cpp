// Requests no proper client sends: the server answers with a fault or closes
// the connection, logs one line per request, and keeps serving.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "ServiceUris.h"
#include "support/ServerLog.h"

namespace talixdb_test {
namespace {

class RobustnessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new TestServer({"--max-upload", "1048576"}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  // The server still answers a proper client.
  static bool stillServes() {
    ServiceClient client(*server);
    bool ok = client.loginAsAdmin().ok() && client.exists("/Repository");
    client.logout();
    return ok;
  }
  // Waits (bounded) until the log holds `count` request lines.
  static std::size_t requestLinesAfterWaiting(std::size_t count) {
    std::size_t lines = 0;
    for (int i = 0; i < 200 && (lines = loggedRequests(server->log()).size()) < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return lines;
  }
  static TestServer* server;
};
TestServer* RobustnessTest::server = nullptr;

TEST_F(RobustnessTest, WellFormedRawLoginIsAnsweredWithTheSessionCookie) {
  std::string reply = exchange(server->port(), soapPost(actionOf("login"), kLoginBody));
  EXPECT_EQ(reply.find("HTTP/1.1 200"), 0u) << reply;
  EXPECT_NE(reply.find("Set-Cookie: TALIXSESSION="), std::string::npos) << reply;
  EXPECT_NE(reply.find("; Path=/\r\n"), std::string::npos) << reply;
  EXPECT_EQ(reply.find("Domain"), std::string::npos) << reply;
}

// Each gets a fault (or, where the server cannot tell a request, a closed
// connection), and the server serves on.
TEST_F(RobustnessTest, MalformedRequestsGetAFaultOrAClosedConnection) {
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xff));
  std::string truncated = kLoginBody;
  truncated.resize(truncated.size() / 2);
  std::string shortBody = soapPost(actionOf("login"), kLoginBody);
  shortBody.resize(shortBody.size() - 40);
  std::string oversize = "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/"
                         "envelope/\"><SOAP-ENV:Body><x>" + std::string(17u << 20, 'a') +
                         "</x></SOAP-ENV:Body></SOAP-ENV:Envelope>";
  const std::string notEnvelope = "<faultcode>SOAP-ENV:Client</faultcode><faultstring>the request is not a SOAP envelope";
  struct Case {
    const char* what;
    std::string request;
    Ending ending;
    std::string expected;  // in the reply; "" also takes a closed connection or a 4xx status
  };
  const Case cases[] = {
      {"garbage", garbage, Ending::CloseSending, ""},
      {"no XML", soapPost(actionOf("login"), "hello, not XML at all"), Ending::KeepOpen, notEnvelope},
      {"other XML", soapPost(actionOf("login"), "<order><item/></order>"), Ending::KeepOpen, notEnvelope},
      {"bare Envelope", soapPost(actionOf("login"), "<?xml version=\"1.0\"?><Envelope/>"), Ending::KeepOpen, notEnvelope},
      {"truncated XML", soapPost(actionOf("login"), truncated), Ending::KeepOpen, "Fault"},
      {"short body", shortBody, Ending::CloseSending, ""},
      {"unknown action", soapPost("urn:no-such-operation", kLoginBody), Ending::KeepOpen, "Fault"},
      {"oversize", soapPost(actionOf("findByPath"), oversize), Ending::KeepOpen, ""},
  };
  for (const Case& c : cases) {
    std::string reply = exchange(server->port(), c.request, c.ending);
    const bool answered = c.expected.empty() ? reply.empty() || reply.find("Fault") != std::string::npos ||
                                                   reply.rfind("HTTP/1.1 4", 0) == 0
                                             : reply.find(c.expected) != std::string::npos;
    EXPECT_TRUE(answered) << c.what << ": " << reply.substr(0, 300);
    EXPECT_TRUE(c.expected != notEnvelope || reply.rfind("HTTP/1.1 500", 0) == 0) << c.what;
    EXPECT_EQ(reply.find("Set-Cookie"), std::string::npos) << c.what;
  }
  EXPECT_TRUE(stillServes());
}

// Only a POST to the service path and the two reads are served; any other
// path is not found, any other method there not allowed.
TEST_F(RobustnessTest, OnlyTheServicePostAndTheTwoReadsAreServed) {
  struct Case {
    const char* method;
    const char* path;
    const char* status;
  };
  const char* service = "/vlt/services/QuillonBinding";
  for (const Case& c : {Case{"GET", "/health", "HTTP/1.1 200"}, Case{"GET", "/health?probe=1", "HTTP/1.1 200"},
                        Case{"GET", "/vlt/services/QuillonBinding?wsdl", "HTTP/1.1 200"},
                        Case{"POST", service, "HTTP/1.1 200"}, Case{"GET", "/", "HTTP/1.1 404"},
                        Case{"GET", "/other?wsdl", "HTTP/1.1 404"}, Case{"POST", "/", "HTTP/1.1 404"},
                        Case{"POST", "/vlt/services/Other", "HTTP/1.1 404"}, Case{"HEAD", "/", "HTTP/1.1 404"},
                        Case{"OPTIONS", "*", "HTTP/1.1 404"}, Case{"DELETE", "/x", "HTTP/1.1 404"},
                        Case{"GET", service, "HTTP/1.1 405"}, Case{"GET", "/vlt/services/QuillonBinding?xsd", "HTTP/1.1 405"},
                        Case{"HEAD", "/health", "HTTP/1.1 405"}, Case{"HEAD", service, "HTTP/1.1 405"},
                        Case{"OPTIONS", service, "HTTP/1.1 405"}, Case{"PUT", service, "HTTP/1.1 405"},
                        Case{"PATCH", service, "HTTP/1.1 405"}, Case{"DELETE", "/health", "HTTP/1.1 405"}}) {
    std::string request = std::string(c.method) == "POST"
                              ? soapPost(actionOf("login"), kLoginBody)
                              : std::string(c.method) + " " + c.path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (std::string(c.method) == "POST") request.replace(5, std::strlen(service), c.path);
    std::string reply = exchange(server->port(), request);
    EXPECT_EQ(reply.rfind(c.status, 0), 0u) << c.method << " " << c.path << "\n" << reply.substr(0, 300);
  }
  std::string notAllowed = exchange(server->port(), "PUT /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_NE(notAllowed.find("\r\nAllow: GET\r\n"), std::string::npos) << notAllowed;
  std::string health = exchange(server->port(), "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_NE(health.find("Content-Type: application/json"), std::string::npos) << health;
  EXPECT_NE(health.find("\r\n\r\n{\"server\":\"talixdb-server\",\"version\":\"" TALIXDB_VERSION
                        "\",\"store\":\"usable\"}\n"),
            std::string::npos)
      << health;
}

// The description names the server as the client reached it, and keeps its
// placeholder address when the Host header is missing or is no host name.
TEST_F(RobustnessTest, DescriptionNamesTheServiceAtTheHostTheClientUsed) {
  const std::string placeholder = "http://localhost/vlt/services/QuillonBinding";
  struct Case {
    const char* hostLine;
    std::string address;
  };
  for (const Case& c : {Case{"Host: repo.example:8080\r\n", "http://repo.example:8080/vlt/services/QuillonBinding"},
                        Case{"Host: [::1]:8080\r\n", "http://[::1]:8080/vlt/services/QuillonBinding"},
                        Case{"Host: a\"/><x y=\"\r\n", placeholder}, Case{"Host: repo:http\r\n", placeholder},
                        Case{"", placeholder}}) {
    std::string reply =
        exchange(server->port(), std::string("GET /vlt/services/QuillonBinding?wsdl HTTP/1.0\r\n") + c.hostLine + "\r\n");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << c.hostLine << reply.substr(0, 200);
    EXPECT_NE(reply.find("Content-Type: text/xml; charset=utf-8\r\n"), std::string::npos);
    EXPECT_NE(reply.find("<SOAP:address location=\"" + c.address + "\"/>"), std::string::npos) << c.hostLine;
  }
}

// One line per served request, written before the reply leaves; a
// connection that sends nothing is no request.
TEST_F(RobustnessTest, EveryServedRequestLogsExactlyOneLineBeforeItsReply) {
  std::size_t before = requestLinesAfterWaiting(0);
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  client.exists("/Repository/first-look");
  std::vector<LoggedRequest> requests = loggedRequests(server->log());
  ASSERT_EQ(requests.size(), before + 2);
  EXPECT_EQ(requests.back().summary(), "findByPath root fault: no such object: /Repository/first-look");
  const LoggedRequest& login = requests[before];
  EXPECT_EQ(login.summary(), "login root ok");
  EXPECT_EQ(login.level, "info");
  EXPECT_EQ(login.client, "127.0.0.1");
  exchange(server->port(), "", Ending::CloseSending);
  exchange(server->port(), soapPost("urn:no-such-operation", kLoginBody));
  EXPECT_EQ(requestLinesAfterWaiting(before + 3), before + 3);
  EXPECT_EQ(requestLinesAfterWaiting(before + 4), before + 3);
}

TEST(ServerProcess, TermAndInterruptSignalsEndTheServerWithStatusZero) {
  for (int signal : {SIGTERM, SIGINT}) {
    TestServer server;
    ServiceClient client(server);
    ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
    int status = server.stop(signal);
    ASSERT_TRUE(WIFEXITED(status)) << signal;
    EXPECT_EQ(WEXITSTATUS(status), 0) << signal;
  }
}

}  // namespace
}  // namespace talixdb_test
