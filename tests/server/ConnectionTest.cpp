// Idle, slow and kept-alive clients: they cost no worker while they send
// nothing, are cut or closed after their limits, never keep other clients'
// small calls waiting, and never hold up a stop.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "ServiceUris.h"

namespace talixdb_test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kProbeLimit{1000};
const std::string kHealth = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
// The start of a request that never completes.
const std::string kTrickle = "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\n";

std::string downloadRequest(const std::string& path, const std::string& session) {
  return soapPost(actionOf("downloadFiles"),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                  "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                  "xmlns:ns1=\"" TALIXDB_NS1_URI "\"><SOAP-ENV:Body><ns1:DownloadFilesRequestElement>"
                  "<ns1:PathElement>" + path + "</ns1:PathElement></ns1:DownloadFilesRequestElement>"
                  "</SOAP-ENV:Body></SOAP-ENV:Envelope>",
                  "Cookie: TALIXSESSION=" + session + "\r\n");
}

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<TestServer>(std::vector<std::string>{
        "--threads", "2", "--max-threads", "16", "--max-transfers", "4", "--request-timeout", "2",
        "--idle-timeout", "2", "--keep-alive-requests", "3", "--stop-timeout", "1"});
  }

  // Health probes, one every `every` until `span` has passed, while `meanwhile`
  // runs between them; each must be answered within kProbeLimit.
  void probeDuring(milliseconds span, milliseconds every, const std::function<void()>& meanwhile = {}) {
    const auto end = Clock::now() + span;
    int probes = 0;
    while (Clock::now() < end) {
      const auto sent = Clock::now();
      const std::string reply = exchange(server->port(), kHealth, Ending::KeepOpen, kProbeLimit);
      const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
      EXPECT_EQ(reply.find("HTTP/1.1 200 OK"), 0u) << "probe " << probes << " after " << took.count() << " ms";
      EXPECT_LT(took, kProbeLimit) << "probe " << probes;
      ++probes;
      if (meanwhile) meanwhile();
      std::this_thread::sleep_until(sent + every);
    }
  }

  std::vector<std::unique_ptr<RawConnection>> connect(int count, int receiveBuffer = 0) {
    std::vector<std::unique_ptr<RawConnection>> connections;
    for (int i = 0; i < count; ++i) {
      connections.push_back(std::make_unique<RawConnection>(server->port(), receiveBuffer));
      EXPECT_TRUE(connections.back()->connected());
    }
    return connections;
  }

  std::unique_ptr<TestServer> server;
};

TEST_F(ConnectionTest, IdleConnectionsCostNoWorkerAndAreClosedAfterTheIdleLimit) {
  auto idle = connect(200);
  probeDuring(milliseconds(1500), milliseconds(250));
  for (auto& connection : idle) EXPECT_TRUE(connection->closedWithin(milliseconds(3000)));
}

TEST_F(ConnectionTest, TricklingRequestsAreCutAtTheRequestTimeout) {
  // Half trickle their head (the event thread cuts them), half their body
  // after a whole head (a worker reads, and cuts them at the deadline).
  auto tricklers = connect(16);
  for (std::size_t i = 8; i < tricklers.size(); ++i)
    tricklers[i]->send(kTrickle + "Content-Length: 100000\r\n\r\n<SOAP-ENV:Envelope");
  std::size_t turn = 0;
  probeDuring(milliseconds(3500), milliseconds(250), [&] {
    // One byte every second to each.
    if (turn++ % 4 != 0) return;
    for (std::size_t i = 0; i < tricklers.size(); ++i) tricklers[i]->send(i < 8 ? kTrickle.substr(turn / 4, 1) : " ");
  });
  for (auto& trickler : tricklers) EXPECT_TRUE(trickler->closedWithin(milliseconds(1000)));
  const std::string log = server->log();
  EXPECT_NE(log.find("fault: the request did not arrive within 2 s"), std::string::npos) << log;
  EXPECT_NE(log.find("fault: the request did not arrive within 2."), std::string::npos) << log;
}

TEST_F(ConnectionTest, SlowReadersOfDownloadsLeaveRoomForSmallCallsAndTransfersAreLimited) {
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "big", std::string(8 << 20, 'b'))));
  const std::string request = downloadRequest("/Repository/big", client.sessionId());
  auto readers = connect(4, 16384);
  for (auto& reader : readers) {
    reader->send(request);
    EXPECT_EQ(reader->read(16384, milliseconds(3000)).find("HTTP/1.1 200 OK"), 0u);
  }
  // The four hold every transfer place: a fifth is refused at once.
  const std::string refused = exchange(server->port(), request, Ending::KeepOpen, milliseconds(3000));
  EXPECT_NE(refused.find("the server is busy"), std::string::npos) << refused;
  EXPECT_NE(refused.find("SOAP-ENV:Server"), std::string::npos) << refused;
  probeDuring(milliseconds(1500), milliseconds(250));
  // Once the readers go, their places are free again.
  readers.clear();
  std::string bytes;
  CallResult downloaded;
  for (int attempt = 0; attempt < 30 && !(downloaded = client.download("/Repository/big", bytes)).ok(); ++attempt)
    std::this_thread::sleep_for(milliseconds(100));
  EXPECT_TRUE(Succeeds(downloaded));
  EXPECT_EQ(bytes.size(), std::size_t(8) << 20);
}

TEST_F(ConnectionTest, StopEndsWithinSecondsWhateverClientsDoAndTheStoreReopens) {
  auto idle = connect(20);
  auto tricklers = connect(4);
  for (auto& trickler : tricklers) trickler->send(kTrickle.substr(0, 10));
  std::this_thread::sleep_for(milliseconds(300));
  const auto stopped = Clock::now();
  const int status = server->stop(SIGTERM);
  EXPECT_LT(Clock::now() - stopped, milliseconds(3000));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  server->restart();
  ServiceClient client(*server);
  EXPECT_TRUE(Succeeds(client.loginAsAdmin()));
}

// Keep-alive: what a request asks for, against what the server answers.
struct KeepAliveCase {
  const char* name;
  std::string header;   // added to each request
  const char* version;  // of each request
  int requests;         // sent one after the other on one connection
  const char* lastConnection;  // the Connection header of the last reply
  bool closedAtOnce;           // after the last reply; else closed after the idle limit
};

TEST_F(ConnectionTest, KeepAliveOnRequestWithAnIdleLimitAndACapOnRequests) {
  const KeepAliveCase cases[] = {
      {"HTTP/1.1 keeps", "", "1.1", 2, "keep-alive", false},
      {"Connection: close is honoured", "Connection: close\r\n", "1.1", 1, "close", true},
      {"HTTP/1.0 closes", "", "1.0", 1, "close", true},
      {"HTTP/1.0 asking keeps", "Connection: keep-alive\r\n", "1.0", 2, "keep-alive", false},
      {"the third request is the last", "", "1.1", 3, "close", true},
  };
  for (const KeepAliveCase& c : cases) {
    SCOPED_TRACE(c.name);
    RawConnection connection(server->port());
    std::string reply;
    for (int i = 0; i < c.requests; ++i) {
      ASSERT_TRUE(connection.send(std::string("GET /health HTTP/") + c.version + "\r\nHost: 127.0.0.1\r\n" + c.header +
                                  "\r\n"));
      reply = connection.reply(milliseconds(2000));
      ASSERT_EQ(reply.find("HTTP/1.1 200 OK"), 0u) << reply;
    }
    EXPECT_NE(reply.find(std::string("Connection: ") + c.lastConnection + "\r\n"), std::string::npos) << reply;
    const auto replied = Clock::now();
    EXPECT_TRUE(connection.closedWithin(milliseconds(4000)));
    const auto open = Clock::now() - replied;
    if (c.closedAtOnce) {
      EXPECT_LT(open, milliseconds(500));
    } else {
      EXPECT_GT(open, milliseconds(1500));
    }
  }
  // SOAP calls on a kept connection, as a client with keep-alive sends them.
  RawConnection connection(server->port());
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(connection.send(soapPost(actionOf("login"), kLoginBody)));
    const std::string reply = connection.reply(milliseconds(2000));
    EXPECT_EQ(reply.find("HTTP/1.1 200 OK"), 0u) << reply;
    EXPECT_NE(reply.find("Connection: keep-alive"), std::string::npos) << reply;
  }
}

}  // namespace
}  // namespace talixdb_test
