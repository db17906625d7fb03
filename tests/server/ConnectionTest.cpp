// Idle, slow, stalled, malformed and kept-alive clients, and a server short
// of descriptors or threads: no client costs a worker while its request
// arrives, each is cut or closed after its limits, none keeps other clients'
// small calls waiting, and none holds up a stop. Behind a balancer, the
// PROXY protocol names the clients. With --tls-cert and --tls-key: refused
// starts, HTTPS only from TLS 1.2 on, no renegotiation, and handshakes that
// cost no worker.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
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

// The request of a download of `path`, and of its object's description.
std::string downloadRequest(const std::string& cookie, const std::string& path) {
  return soapPost(actionOf("downloadFiles"),
                  soapEnvelope("<ns1:DownloadFilesRequestElement><ns1:PathElement>" + path +
                               "</ns1:PathElement></ns1:DownloadFilesRequestElement>"),
                  cookie);
}
std::string findRequest(const std::string& cookie, const std::string& path) {
  return soapPost(actionOf("findByPath"), soapEnvelope("<ns1:FindByPathRequestElement>" + path + "</ns1:FindByPathRequestElement>"), cookie);
}

// Reads one number from a file of /proc about `pid`: the `field`th blank-separated
// word after `key` (a line's start), or of the whole file when `key` is "".
long long procNumber(pid_t pid, const std::string& file, const std::string& key, int field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::istringstream words(line.substr(key.size()));
    std::string word;
    for (int i = 0; i < field && words >> word;) ++i;
    return std::atoll(word.c_str());
  }
  return -1;
}

// Lowers a limit of the running process `pid`.
void lowerLimit(pid_t pid, int resource, rlim_t value) {
  const rlimit limit{value, value};
  ASSERT_EQ(prlimit(pid, static_cast<__rlimit_resource>(resource), &limit, nullptr), 0) << std::strerror(errno);
}

int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { start({}); }

  // (Re)starts the server with the suite's options, then `extra` (which win).
  void start(const std::vector<std::string>& extra) {
    std::vector<std::string> args{"--threads",        "2", "--max-threads",         "16", "--max-transfers",
                                  "4",                "--request-timeout",          "2",  "--idle-timeout",
                                  "2",                "--keep-alive-requests",      "3",  "--stop-timeout",
                                  "1"};
    args.insert(args.end(), extra.begin(), extra.end());
    server.reset();
    server = std::make_unique<TestServer>(args);
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

  std::vector<std::unique_ptr<RawConnection>> connect(int count, int receiveBuffer = 0,
                                                      const char* source = nullptr) {
    std::vector<std::unique_ptr<RawConnection>> connections;
    for (int i = 0; i < count; ++i) {
      connections.push_back(std::make_unique<RawConnection>(server->port(), receiveBuffer, source));
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

// Heads and bodies that trickle wait in the event thread, not in a worker
// (two serve here), and are cut at the request timeout; a malformed head is
// answered there at once.
TEST_F(ConnectionTest, SlowAndMalformedRequestsCostNoWorkerAndAreCutAtTheRequestTimeout) {
  start({"--threads", "1", "--max-threads", "2"});
  auto tricklers = connect(16);
  for (std::size_t i = 8; i < tricklers.size(); ++i)
    tricklers[i]->send(kTrickle + "Content-Length: 100000\r\n\r\n<SOAP-ENV:Envelope");
  const std::string malformed = exchange(server->port(), "GET /health HTTP/1.1\r\nHost: \x01", Ending::KeepOpen, kProbeLimit);
  EXPECT_EQ(malformed.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << malformed;
  EXPECT_TRUE(contains(malformed, "\r\n\r\nthe request head holds the control character U+0001\n")) << malformed;
  std::size_t turn = 0;
  probeDuring(milliseconds(3500), milliseconds(250), [&] {
    // One byte every second to each.
    if (turn++ % 4 != 0) return;
    for (std::size_t i = 0; i < tricklers.size(); ++i) tricklers[i]->send(i < 8 ? kTrickle.substr(turn / 4, 1) : " ");
  });
  for (auto& trickler : tricklers) EXPECT_TRUE(trickler->closedWithin(milliseconds(1000)));
  const std::string log = server->log();
  EXPECT_EQ(countOf(log, "fault: the request did not arrive within 2."), 16) << log;
}

// A client that stops reading its reply holds no worker: a small call's
// reply (here 1 MiB, which no transfer limit covers) is held for it and its
// worker is free at once; a download keeps its worker, up to its deadline.
// Either is cut at the reply's deadline, and the cut is logged.
TEST_F(ConnectionTest, ReadersThatStallAreCutAtTheReplyDeadlineAndHoldNoWorker) {
  start({"--threads", "2", "--max-threads", "2", "--min-rate", "1048576"});
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "big", std::string(2 << 20, 'b'))));
  const std::string cookie = "Cookie: TALIXSESSION=" + client.sessionId() + "\r\n";
  const std::string wide = soapEnvelope(
      "<ns2:CreateModelObjectElement><name>wide</name><parent>/Repository</parent><typeName>Folder</typeName>"
      "<properties><item><key>m_szNote</key><item><itemType>5</itemType><itemList>false</itemList><item>" +
      std::string(1 << 20, 'w') + "</item></item></item></properties></ns2:CreateModelObjectElement>");
  ASSERT_TRUE(contains(exchange(server->port(), soapPost(actionOf("createModelObject"), wide, cookie)), "/Repository/wide"));
  auto readers = connect(3, 4096);
  readers[0]->send(downloadRequest(cookie, "/Repository/big"));
  for (std::size_t i = 1; i < readers.size(); ++i) readers[i]->send(findRequest(cookie, "/Repository/wide"));
  const auto sent = Clock::now();
  probeDuring(milliseconds(2000), milliseconds(250));
  // Their deadlines: 2 s, and a second more for each MiB.
  std::this_thread::sleep_until(sent + milliseconds(4500));
  for (auto& reader : readers) EXPECT_TRUE(reader->closedWithin(milliseconds(1000)));
  const std::string log = server->log();
  EXPECT_EQ(countOf(log, "fault: the reply was not taken within"), 3) << log;
}

// Of the 4 transfer places one user holds 2 and one address 3; a reader that
// stops reading is cut once its reply falls behind --min-rate, whatever size
// the reply declares, and its place is free again.
TEST_F(ConnectionTest, SlowReadersOfDownloadsAreCutAndHoldNoMoreThanTheirShareOfTransfers) {
  start({"--threads", "2", "--max-threads", "16", "--max-transfers", "4", "--request-timeout", "2",
         "--min-rate", "8388608"});
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(client.createUser("other", "other-password")));
  ASSERT_TRUE(Succeeds(client.addPermission("/Repository", "read", "other")));
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "big", std::string(64 << 20, 'b'))));
  ServiceClient other(*server);
  ASSERT_TRUE(Succeeds(other.login("other", "other-password")));
  auto request = [](const std::string& session) {
    return downloadRequest("Cookie: TALIXSESSION=" + session + "\r\n", "/Repository/big");
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


// When --max-connections is reached, the connection that has moved no byte
// for the longest makes room, so partial heads cannot fill it; one address
// gets no more than its share.
TEST_F(ConnectionTest, StalledConnectionsMakeRoomAndOneAddressHasItsShare) {
  start({"--max-connections", "40", "--max-connections-per-address", "30", "--request-timeout", "30",
         "--idle-timeout", "30"});
  auto stalled = connect(30, 0, "127.0.0.2");
  auto others = connect(10, 0, "127.0.0.3");
  for (auto* group : {&stalled, &others})
    for (auto& connection : *group) connection->send("P");
  auto beyondShare = connect(5, 0, "127.0.0.2");
  for (auto& connection : beyondShare) EXPECT_TRUE(connection->closedWithin(milliseconds(1000)));
  probeDuring(milliseconds(1500), milliseconds(100));
  int evicted = 0;
  for (auto* group : {&stalled, &others})
    for (auto& connection : *group) evicted += connection->closedWithin(milliseconds(0)) ? 1 : 0;
  EXPECT_GE(evicted, 1);
  EXPECT_TRUE(contains(server->log(), "refused a connection from 127.0.0.2: 30 connections from this address are open"));
}

// Out of descriptors, the newest connections are refused at once: the event
// thread neither spins on accept nor closes idle connections to make room,
// and serves again once descriptors are free.
TEST_F(ConnectionTest, OutOfDescriptorsTheNewestAreRefusedWithoutSpinningOrEvicting) {
  start({"--idle-timeout", "30"});
  // What the server opens on its first request and refusal (a store's
  // journal, the zone file of its log's clock) is open before the count.
  ASSERT_EQ(exchange(server->port(), kHealth, Ending::KeepOpen, kProbeLimit).rfind("HTTP/1.1 200 OK", 0), 0u);
  const pid_t pid = server->pid();
  long long open = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
    (void)entry;
    ++open;
  }
  // A few descriptors left: idle connections take them until one is refused.
  lowerLimit(pid, RLIMIT_NOFILE, static_cast<rlim_t>(open + 3));
  std::vector<std::unique_ptr<RawConnection>> idle;
  for (bool full = false; !full && idle.size() < 10;) {
    idle.push_back(std::make_unique<RawConnection>(server->port()));
    full = idle.back()->closedWithin(milliseconds(300));
  }
  ASSERT_LT(idle.size(), 10u);
  idle.pop_back();
  const long long cpuBefore = procNumber(pid, "stat", "", 14) + procNumber(pid, "stat", "", 15);
  auto refused = connect(20);
  ASSERT_FALSE(HasFailure()) << "the server stopped listening:\n" << server->log();
  for (auto& connection : refused) EXPECT_TRUE(connection->closedWithin(milliseconds(1500)));
  std::this_thread::sleep_for(milliseconds(1000));
  const long long ticks = procNumber(pid, "stat", "", 14) + procNumber(pid, "stat", "", 15) - cpuBefore;
  EXPECT_LT(ticks, sysconf(_SC_CLK_TCK) / 4) << "CPU ticks while refusing";
  for (auto& connection : idle) EXPECT_FALSE(connection->closedWithin(milliseconds(0)));
  EXPECT_TRUE(contains(server->log(), "cannot accept connections (Too many open files)")) << server->log();
  idle.clear();
  std::string reply;
  for (int attempt = 0; attempt < 30 && reply.rfind("HTTP/1.1 200 OK", 0) != 0; ++attempt) {
    reply = exchange(server->port(), kHealth, Ending::KeepOpen, kProbeLimit);
    if (reply.empty()) std::this_thread::sleep_for(milliseconds(100));
  }
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK", 0), 0u) << reply;
}

// A worker whose thread cannot start (no address space left for its stack)
// costs the requests the wait, not the server: the request beyond what the
// workers there can take soon is refused, the log says so, and the server
// goes on serving.
TEST_F(ConnectionTest, AWorkerThatCannotStartCostsTheWaitNotTheServer) {
  start({"--threads", "1", "--max-threads", "4", "--max-transfers", "3", "--request-timeout", "1", "--min-rate",
         "8388608"});
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "big", std::string(6 << 20, 'b'))));
  const std::string download = downloadRequest("Cookie: TALIXSESSION=" + client.sessionId() + "\r\n", "/Repository/big");
  const long long used = procNumber(server->pid(), "status", "VmSize:", 1) * 1024;
  lowerLimit(server->pid(), RLIMIT_AS, static_cast<rlim_t>(used + (6 << 20)));  // not 8 MiB for a stack
  auto readers = connect(2, 4096);
  for (auto& reader : readers) {  // the worker takes the first, the second waits for it
    reader->send(download);
    std::this_thread::sleep_for(milliseconds(300));
  }
  const std::string refused = exchange(server->port(), kHealth, Ending::KeepOpen, milliseconds(2000));
  const std::string log = server->log();
  EXPECT_EQ(refused, "") << log;
  EXPECT_TRUE(contains(log, "cannot start one more worker (Resource temporarily unavailable)")) << log;
  EXPECT_TRUE(contains(log, "refused a request from 127.0.0.1")) << log;
  // The one worker serves again once the stalled downloads are cut (1.75 s each).
  std::string later;
  for (const auto until = Clock::now() + milliseconds(10000); Clock::now() < until && later.empty();) {
    std::this_thread::sleep_for(milliseconds(500));
    later = exchange(server->port(), kHealth, Ending::KeepOpen, milliseconds(5000));
  }
  EXPECT_EQ(later.rfind("HTTP/1.1 200 OK", 0), 0u) << later;
  EXPECT_EQ(kill(server->pid(), 0), 0);
}

// Behind a balancer that speaks the PROXY protocol (version 1 or 2), log
// lines name the real client; a header from an address not listed is no header.
TEST_F(ConnectionTest, ProxyHeadersFromListedBalancersNameTheClient) {
  start({"--proxy-protocol", "127.0.0.1"});
  const std::string wrongLogin = soapPost(actionOf("login"), loginEnvelope("", "nobody"));
  const std::string v2 = std::string("\r\n\r\n\0\r\nQUIT\n\x21\x21\x00\x24", 16) + std::string(15, '\0') + "\x07" +
                         std::string(16, '\0') + "\x9c\x40\x1f\x90";  // ::7 to ::, port 40000 to 8080
  EXPECT_TRUE(contains(exchange(server->port(), "PROXY TCP4 198.51.100.7 127.0.0.1 40000 8080\r\n" + wrongLogin),
                       "wrong user name or password"));
  EXPECT_TRUE(contains(exchange(server->port(), v2 + wrongLogin), "wrong user name or password"));
  EXPECT_EQ(exchange(server->port(), kHealth).rfind("HTTP/1.1 200 OK", 0), 0u);  // the balancer's own check (not logged)
  RawConnection stranger(server->port(), 0, "127.0.0.2");
  stranger.send("PROXY TCP4 198.51.100.8 127.0.0.1 40000 8080\r\n" + kHealth);
  EXPECT_EQ(stranger.reply(milliseconds(2000)).rfind("HTTP/1.1 400 Bad Request", 0), 0u);
  std::vector<std::string> clients;
  for (const LoggedRequest& request : loggedRequests(server->log())) clients.push_back(request.client);
  EXPECT_EQ(clients, (std::vector<std::string>{"198.51.100.7", "::7", "127.0.0.2"}));
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

// The protocol a client offering only `version` agrees on, or "refused";
// then, when it asks to `renegotiate`, whether the server did.
std::string handshakeAt(int port, int version, bool renegotiate = false) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_security_level(context, 0);  // so that this client offers old versions at all
  SSL_CTX_set_min_proto_version(context, version);
  SSL_CTX_set_max_proto_version(context, version);
  SSL* ssl = SSL_new(context);
  const int fd = connectTo(port);
  const timeval wait{3, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  SSL_set_fd(ssl, fd);
  std::string agreed = SSL_connect(ssl) == 1 ? SSL_get_version(ssl) : "refused";
  if (renegotiate && agreed != "refused")
    agreed += SSL_renegotiate(ssl) == 1 && SSL_do_handshake(ssl) == 1 ? " renegotiated" : " kept";
  SSL_free(ssl);
  SSL_CTX_free(context);
  ::close(fd);
  return agreed;
}

// Starts are refused when a certificate or key cannot be used; a server
// serves HTTPS only, from TLS 1.2 on, without renegotiation, and its
// handshakes cost no worker.
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

  TestServer server({"--threads", "1", "--max-threads", "1", "--tls-cert", certificates.server(), "--tls-key",
                     certificates.serverKey()});
  // Clients that never start their handshake, or stop within their
  // ClientHello, hold no worker (there is one): a TLS call gets through at once.
  std::vector<std::unique_ptr<RawConnection>> stalled;
  for (int i = 0; i < 8; ++i) {
    stalled.push_back(std::make_unique<RawConnection>(server.port()));
    if (i % 2 == 1) stalled.back()->send(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11));
  }
  QuillonBinding binding;
  ASSERT_EQ(binding.setEndpoint("https" + server.endpoint().substr(4), certificates.authority()), "");
  VLT_121::CRepositorySession session(&binding);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(session.login("root", kAdminPassword, "Default", 0, 0, true));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  stalled.clear();

  EXPECT_EQ(handshakeAt(server.port(), TLS1_1_VERSION), "refused");
  EXPECT_EQ(handshakeAt(server.port(), TLS1_2_VERSION, true), "TLSv1.2 kept");
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
  std::sort(failures.begin(), failures.end());
  const std::string cut = "warning fault: TLS handshake failed: unexpected eof while reading";  // the half-open ones
  EXPECT_EQ(failures, (std::vector<std::string>{"warning fault: TLS handshake failed: http request", cut, cut, cut, cut,
                                                "warning fault: TLS handshake failed: unsupported protocol"}))
      << log;
}

}  // namespace
}  // namespace talixdb_test
