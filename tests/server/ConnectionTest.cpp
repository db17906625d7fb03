// Idle, slow and kept-alive clients: they cost no worker while they send
// nothing, are cut or closed after their limits, never keep other clients'
// small calls waiting, and never hold up a stop. With --tls-cert and
// --tls-key: refused starts, HTTPS only from TLS 1.2 on, and handshakes that
// run in the workers.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "client/RepositorySession.h"
#include "support/ServerLog.h"
#include "support/TestCertificates.h"

namespace talixdb_test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kProbeLimit{1000};
const std::string kHealth = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
// The start of a request that never completes.
const std::string kTrickle = "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\n";

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
      EXPECT_LT(took, kProbeLimit) << "probe " << probes++;
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

TEST_F(ConnectionTest, IdleConnectionsCostNoWorkerAreClosedAfterTheIdleLimitAndNeverHoldUpAStop) {
  auto idle = connect(200);
  probeDuring(milliseconds(1500), milliseconds(250));
  for (auto& connection : idle) EXPECT_TRUE(connection->closedWithin(milliseconds(3000)));

  // A stop ends within seconds whatever clients do, and the store reopens.
  idle = connect(20);
  auto tricklers = connect(4);
  for (auto& trickler : tricklers) trickler->send(kTrickle.substr(0, 10));
  std::this_thread::sleep_for(milliseconds(300));
  const auto stopped = Clock::now();
  const int status = server->stop(SIGTERM);
  EXPECT_LT(Clock::now() - stopped, milliseconds(3000));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  server->restart();
  EXPECT_TRUE(Succeeds(ServiceClient(*server).loginAsAdmin()));
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

// Of the 4 transfer places one user holds 2 and one address 3; a reader that
// stops reading is cut once its reply falls behind --min-rate, whatever size
// the reply declares, and its place is free again.
TEST_F(ConnectionTest, SlowReadersOfDownloadsAreCutAndHoldNoMoreThanTheirShareOfTransfers) {
  server = std::make_unique<TestServer>(std::vector<std::string>{
      "--threads", "2", "--max-threads", "16", "--max-transfers", "4", "--request-timeout", "2",
      "--min-rate", "8388608"});
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(client.createUser("other", "other-password")));
  ASSERT_TRUE(Succeeds(client.addPermission("/Repository", "read", "other")));
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "big", std::string(64 << 20, 'b'))));
  ServiceClient other(*server);
  ASSERT_TRUE(Succeeds(other.login("other", "other-password")));
  auto request = [](const std::string& session) {
    return soapPost(actionOf("downloadFiles"),
                    soapEnvelope("<ns1:DownloadFilesRequestElement><ns1:PathElement>/Repository/big"
                                 "</ns1:PathElement></ns1:DownloadFilesRequestElement>"),
                    "Cookie: TALIXSESSION=" + session + "\r\n");
  };
  const std::string sessions[] = {client.sessionId(), client.sessionId(), other.sessionId()};
  auto readers = connect(3, 16384);
  for (std::size_t i = 0; i < readers.size(); ++i) {
    readers[i]->send(request(sessions[i]));
    EXPECT_EQ(readers[i]->read(16384, milliseconds(3000)).find("HTTP/1.1 200 OK"), 0u) << i;
  }
  const std::pair<std::string, const char*> refusals[] = {
      {client.sessionId(), "2 transfers of this user are in progress"},
      {other.sessionId(), "3 transfers from this address are in progress"},
  };
  for (const auto& [session, why] : refusals) {
    const std::string refused = exchange(server->port(), request(session), Ending::KeepOpen, milliseconds(3000));
    EXPECT_NE(refused.find(why), std::string::npos) << refused;
    EXPECT_NE(refused.find("SOAP-ENV:Server"), std::string::npos) << refused;
  }
  probeDuring(milliseconds(1000), milliseconds(250));
  // At the request timeout and what their socket buffers took at the minimum
  // rate: far less than the 8 s the 64 MiB the reply declares would get.
  for (auto& reader : readers) EXPECT_TRUE(reader->closedWithin(milliseconds(20000)));
  EXPECT_NE(server->log().find("fault: the reply was not taken within 2."), std::string::npos) << server->log();
  std::string bytes;
  EXPECT_TRUE(Succeeds(client.download("/Repository/big", bytes)));
  EXPECT_EQ(bytes.size(), std::size_t(64) << 20);
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
    const auto open = std::chrono::duration_cast<milliseconds>(Clock::now() - replied);
    EXPECT_TRUE(c.closedAtOnce ? open < milliseconds(500) : open > milliseconds(1500)) << open.count() << " ms";
  }
  // SOAP calls keep their connection too (the cookie they set: storage/ServerTextsTest).
  RawConnection connection(server->port());
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(connection.send(soapPost(actionOf("login"), loginEnvelope())));
    const std::string reply = connection.reply(milliseconds(2000));
    EXPECT_EQ(reply.find("HTTP/1.1 200 OK"), 0u) << reply;
    EXPECT_NE(reply.find("Connection: keep-alive"), std::string::npos) << reply;
  }
}

// The protocol a client offering only `version` agrees on, or "refused".
std::string handshakeAt(int port, int version) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_security_level(context, 0);  // so that this client offers old versions at all
  SSL_CTX_set_min_proto_version(context, version);
  SSL_CTX_set_max_proto_version(context, version);
  SSL* ssl = SSL_new(context);
  const int fd = connectTo(port);
  SSL_set_fd(ssl, fd);
  std::string agreed = SSL_connect(ssl) == 1 ? SSL_get_version(ssl) : "refused";
  SSL_free(ssl);
  SSL_CTX_free(context);
  ::close(fd);
  return agreed;
}

// Starts are refused when a certificate or key cannot be used; a server
// serves HTTPS only, from TLS 1.2 on, and handshakes in its workers.
TEST(TlsServer, RefusesUnusableCertificatesAndServesHttpsOnlyFromTls12On) {
  TestCertificates certificates;
  TempDir dir;
  const std::string missing = dir.path() + "/missing.pem";
  struct Case {
    std::string certificate, key, message;
  };
  const Case cases[] = {
      {missing, certificates.serverKey(), "cannot read the TLS certificate " + missing + ": No such file or directory"},
      {certificates.server(), missing, "cannot read the TLS key " + missing + ": No such file or directory"},
      {certificates.serverKey(), certificates.serverKey(),
       "the TLS certificate " + certificates.serverKey() + " holds no certificate OpenSSL can read (OpenSSL: no "
       "start line)"},
      {certificates.server(), certificates.server(),
       "the TLS key " + certificates.server() + " holds no unencrypted private key OpenSSL can read (OpenSSL: "
       "unsupported)"},
      {certificates.server(), certificates.otherKey(),
       "the TLS key " + certificates.otherKey() + " does not belong to the certificate " + certificates.server()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ProgramResult result = runServerProgram(
        {"--data", dir.path() + "/store", "--port", "0", "--tls-cert", c.certificate, "--tls-key", c.key});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(contains(result.err, " error " + c.message + "\n")) << result.err;
    EXPECT_FALSE(contains(result.err, "started")) << result.err;
  }
  EXPECT_EQ(access((dir.path() + "/store").c_str(), F_OK), -1);  // and no store was made

  TestServer server({"--threads", "2", "--tls-cert", certificates.server(), "--tls-key", certificates.serverKey()});
  // A client that connects and never starts its handshake holds one worker,
  // not the accepting thread: a TLS call still gets through at once.
  const int silent = connectTo(server.port());
  ASSERT_GE(silent, 0);
  QuillonBinding binding;
  ASSERT_EQ(binding.setEndpoint("https" + server.endpoint().substr(4), certificates.authority()), "");
  VLT_121::CRepositorySession session(&binding);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(session.login("root", kAdminPassword, "Default", 0, 0, true));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
  ::close(silent);

  EXPECT_EQ(handshakeAt(server.port(), TLS1_1_VERSION), "refused");
  EXPECT_EQ(handshakeAt(server.port(), TLS1_2_VERSION), "TLSv1.2");
  EXPECT_EQ(handshakeAt(server.port(), TLS1_3_VERSION), "TLSv1.3");
  const std::string plain = exchange(server.port(), soapPost(actionOf("login"), "<x/>"));
  EXPECT_EQ(plain.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << plain;
  EXPECT_TRUE(contains(plain, "\r\n\r\nThis server speaks HTTPS only: use https://\n")) << plain;

  server.stop();
  const std::string log = server.log();
  EXPECT_TRUE(contains(log, " info started talixdb-server " TALIXDB_VERSION " on " + server.address() +
                                " (TLS), store "))
      << log;
  std::vector<std::string> failures;
  for (const LoggedRequest& request : loggedRequests(log))
    if (request.operation == "-") failures.push_back(request.level + " " + request.outcome);
  std::sort(failures.begin(), failures.end());  // two workers log them, in either order
  EXPECT_EQ(failures, (std::vector<std::string>{"warning fault: TLS handshake failed: http request",
                                                "warning fault: TLS handshake failed: unsupported protocol"}))
      << log;
}

}  // namespace
}  // namespace talixdb_test
