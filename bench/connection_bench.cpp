// Clients that try to take a stand-in server down, one kind per try, while a
// legitimate client sends small calls (GET /health) every 250 ms and counts
// those answered within 1 s. The attackers connect from 127.0.0.2 and up, the
// legitimate client from 127.0.0.1.
//
//   idle        200 idle sockets, each closed one opened again
//   trickle     16 connections sending a byte of a request every 10 s
//   download    8 downloads of a 256 MiB file read at 4 KiB/s
//   stall       --threads 2 --max-threads 2: a download of 8 MiB and a 1.5 MiB
//               findByPath reply, neither read (a 4 KiB receive buffer)
//   descriptors the server's descriptor limit lowered to what it uses and 4 more,
//               new connections every 50 ms; probes on a kept-alive connection
//   threads     no address space left for a thread's stack, 5 slow requests
//   handshakes  TLS: N half-open ClientHellos, then a byte a second (N: --count, 64)
//   bodies      N complete heads whose 100000-byte body trickles (--count, 64)
//   control     N heads with a control byte, then a byte a second (--count, 64)
//   heads       1200 partial heads from 8 addresses, a byte a second each
//   storm       --max-connections 40: 80 idle connections opened again as they
//               close; the probes are the fresh requests
//   stop        the time SIGTERM takes with one idle connection open
//
// Usage: talixdb_connection_bench [TRY ...] [--scale S] [--count N]
// --scale divides every duration and size (e.g. 10 for a quick look).
#include <openssl/ssl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "ServiceUris.h"
#include "support/TestCertificates.h"

namespace {

using namespace talixdb_test;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;
using Connections = std::vector<std::unique_ptr<RawConnection>>;

const std::string kHealth = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
const std::string kTrickle = "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 400\r\n\r\n";
// The first 11 bytes of a ClientHello: its record and handshake headers.
const std::string kHelloStart("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11);

// A probe waits no longer than this: beyond 1 s it is not answered anyway.
constexpr auto kProbeWait = seconds(2);

struct Probes {
  int sent = 0;
  int answered = 0;  // within 1 s
  milliseconds worst{0};
};

// One small call of the legitimate client: true when it was answered.
using Probe = std::function<bool()>;

Probe plainProbe(const TestServer& server) {
  return [&server] {
    return exchange(server.port(), kHealth, Ending::KeepOpen, kProbeWait).rfind("HTTP/1.1 200 OK", 0) == 0;
  };
}

// Runs `probe` every `every` for `span` from a thread of its own, while
// `tick` runs every 100 ms on this one.
Probes probeDuring(const Probe& probe, Clock::duration span, Clock::duration every, const std::function<void()>& tick) {
  Probes probes;
  const auto end = Clock::now() + span;
  std::thread prober([&] {
    for (auto next = Clock::now(); next < end; next += every) {
      std::this_thread::sleep_until(next);
      const auto sent = Clock::now();
      const bool ok = probe();
      const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
      ++probes.sent;
      if (ok && took < seconds(1)) ++probes.answered;
      if (took > probes.worst) probes.worst = took;
    }
  });
  while (Clock::now() < end) {
    tick();
    std::this_thread::sleep_for(milliseconds(100));
  }
  prober.join();
  return probes;
}

// The 40 probes of a try: one every 250 ms for 10 s.
Probes forty(const Probe& probe, int scale, const std::function<void()>& tick) {
  return probeDuring(probe, milliseconds(10000) / scale, milliseconds(250) / scale, tick);
}

// CPU seconds the process has used so far.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string word;
  long long ticks = 0;
  for (int field = 1; in >> word && field <= 15; ++field)
    if (field >= 14) ticks += std::atoll(word.c_str());
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void report(const char* name, const Probes& probes, const std::string& more) {
  std::printf("%-11s probes answered within 1 s: %2d of %2d, worst %6lld ms; %s\n", name, probes.answered,
              probes.sent, static_cast<long long>(probes.worst.count()), more.c_str());
  std::fflush(stdout);
}

Connections connect(const TestServer& server, int count, int receiveBuffer = 0, const char* source = "127.0.0.2") {
  Connections connections;
  for (int i = 0; i < count; ++i)
    connections.push_back(std::make_unique<RawConnection>(server.port(), receiveBuffer, source));
  return connections;
}

std::string cookieOf(ServiceClient& client) { return "Cookie: TALIXSESSION=" + client.sessionId() + "\r\n"; }

std::string downloadRequest(const std::string& cookie, const std::string& path) {
  return soapPost(actionOf("downloadFiles"),
                  soapEnvelope("<ns1:DownloadFilesRequestElement><ns1:PathElement>" + path +
                               "</ns1:PathElement></ns1:DownloadFilesRequestElement>"),
                  cookie);
}

// 200 idle sockets; each one the server closes is opened again.
void idle(int scale) {
  TestServer server;
  Connections sockets = connect(server, 200);
  int reopened = 0;
  Probes probes = probeDuring(plainProbe(server), milliseconds(30000) / scale, seconds(1), [&] {
    for (auto& socket : sockets) {
      if (!socket->closedWithin(milliseconds(0))) continue;
      socket = std::make_unique<RawConnection>(server.port(), 0, "127.0.0.2");
      ++reopened;
    }
  });
  report("idle", probes, "200 idle sockets for " + std::to_string(30 / scale) + " s, " + std::to_string(reopened) +
                             " closed by the server and opened again");
}

// 16 connections sending one byte of a request every 10 s; each one cut is
// opened again.
void trickle(int scale) {
  TestServer server;
  Connections sockets = connect(server, 16);
  std::vector<std::size_t> sent(sockets.size(), 0);
  int cut = 0;
  auto nextByte = Clock::now();
  Probes probes = probeDuring(plainProbe(server), milliseconds(90000) / scale, milliseconds(5000) / scale, [&] {
    if (Clock::now() < nextByte) return;
    nextByte += milliseconds(10000) / scale;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      if (sockets[i]->closedWithin(milliseconds(0)) || !sockets[i]->send(kTrickle.substr(sent[i] % kTrickle.size(), 1))) {
        sockets[i] = std::make_unique<RawConnection>(server.port(), 0, "127.0.0.2");
        sent[i] = 0;
        ++cut;
        continue;
      }
      ++sent[i];
    }
  });
  report("trickle", probes, "16 connections sending a byte every " + std::to_string(10 / scale) + " s for " +
                                std::to_string(90 / scale) + " s, " + std::to_string(cut) + " cut by the server");
}

// 8 downloads of a 256 MiB file, each read at 4 KiB/s.
void download(int scale) {
  TestServer server;
  ServiceClient client(server);
  const std::size_t size = (std::size_t(256) << 20) / scale;
  const auto uploading = Clock::now();
  if (!client.loginAsAdmin().ok() || !client.upload("/Repository", "big", std::string(size, 'b')).ok()) {
    std::printf("download    cannot upload the file\n");
    return;
  }
  const auto uploaded = std::chrono::duration_cast<milliseconds>(Clock::now() - uploading);
  const std::string request = downloadRequest(cookieOf(client), "/Repository/big");
  Connections readers = connect(server, 8, 4096);
  for (auto& reader : readers) reader->send(request);
  std::size_t received = 0;
  auto nextRead = Clock::now();
  Probes probes = probeDuring(plainProbe(server), milliseconds(60000) / scale, milliseconds(5000) / scale, [&] {
    if (Clock::now() < nextRead) return;
    nextRead += seconds(1);
    for (auto& reader : readers) received += reader->read(4096, milliseconds(0)).size();
  });
  report("download", probes, "8 downloads of " + std::to_string(size >> 20) + " MiB read at 4 KiB/s for " +
                                 std::to_string(60 / scale) + " s (" + std::to_string(received >> 10) +
                                 " KiB read in all; upload took " + std::to_string(uploaded.count()) + " ms)");
}

// Two workers, two clients that never read their replies.
void stall(int scale) {
  TestServer server({"--threads", "2", "--max-threads", "2"});
  ServiceClient client(server);
  const std::string cookie = client.loginAsAdmin().ok() ? cookieOf(client) : std::string();
  const std::string wide = soapEnvelope(
      "<ns2:CreateModelObjectElement><name>wide</name><parent>/Repository</parent><typeName>Folder</typeName>"
      "<properties><item><key>m_szNote</key><item><itemType>5</itemType><itemList>false</itemList><item>" +
      std::string(3 << 19, 'w') + "</item></item></item></properties></ns2:CreateModelObjectElement>");
  if (!client.upload("/Repository", "big", std::string(8 << 20, 'b')).ok() ||
      exchange(server.port(), soapPost(actionOf("createModelObject"), wide, cookie)).find("/Repository/wide") ==
          std::string::npos) {
    std::printf("stall       cannot make the objects\n");
    return;
  }
  Connections readers = connect(server, 2, 4096);
  readers[0]->send(downloadRequest(cookie, "/Repository/big"));
  readers[1]->send(soapPost(actionOf("findByPath"),
                            soapEnvelope("<ns1:FindByPathRequestElement>/Repository/wide</ns1:FindByPathRequestElement>"),
                            cookie));
  Probes probes = forty(plainProbe(server), scale, [] {});
  report("stall", probes, "an 8 MiB download and a 1.5 MiB findByPath reply, neither read, with 2 workers");
}

// Short of descriptors, a flood of new connections; the legitimate client
// keeps its connection.
void descriptors(int scale) {
  TestServer server({"--idle-timeout", "30"});
  RawConnection kept(server.port());
  std::this_thread::sleep_for(milliseconds(200));
  const std::string fdDirectory = "/proc/" + std::to_string(server.pid()) + "/fd";
  rlim_t open = 0;
  for (const auto& entry : std::filesystem::directory_iterator(fdDirectory)) {
    (void)entry;
    ++open;
  }
  const rlimit limit{open + 4, open + 4};
  prlimit(server.pid(), RLIMIT_NOFILE, &limit, nullptr);
  const std::string request = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  const Probe probe = [&] { return kept.send(request) && kept.reply(kProbeWait).rfind("HTTP/1.1 200 OK", 0) == 0; };
  Connections flood;
  const double cpuBefore = cpuSeconds(server.pid());
  const auto began = Clock::now();
  Probes probes = forty(probe, scale, [&] {
    for (int i = 0; i < 5; ++i) flood.push_back(std::make_unique<RawConnection>(server.port(), 0, "127.0.0.2"));
  });
  const double cpu = cpuSeconds(server.pid()) - cpuBefore;
  const double span = std::chrono::duration<double>(Clock::now() - began).count();
  report("descriptors", probes, std::to_string(flood.size()) + " new connections while 4 descriptors were left; " +
                                    "the server used " + std::to_string(static_cast<int>(100 * cpu / span)) +
                                    " % of a CPU; probes on a kept-alive connection");
}

// No thread can start beyond the two ready, and five requests arrive slowly.
void threads(int scale, const std::string& slowStart) {
  TestServer server({"--threads", "2"});
  std::ifstream status("/proc/" + std::to_string(server.pid()) + "/status");
  long long size = 0;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmSize:", 0) == 0) size = std::atoll(line.c_str() + 7) * 1024;
  // Room for 6 MiB more, not for a thread's 8 MiB stack.
  const rlimit limit{static_cast<rlim_t>(size + (6 << 20)), static_cast<rlim_t>(size + (6 << 20))};
  prlimit(server.pid(), RLIMIT_AS, &limit, nullptr);
  Connections slow = connect(server, 5);
  for (auto& connection : slow) connection->send(slowStart);
  int tick = 0;
  Probes probes = forty(plainProbe(server), scale, [&] {
    if (++tick % 10 == 0)
      for (auto& connection : slow) connection->send("x");
  });
  const bool alive = kill(server.pid(), 0) == 0 && waitpid(server.pid(), nullptr, WNOHANG) == 0;
  report("threads", probes, std::string("no room for a thread's stack beyond 2 workers, 5 slow requests; the server ") +
                                (alive ? "is still running" : "has exited"));
}

// A TLS probe: handshake, GET /health, its reply.
bool tlsProbe(int port) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL* ssl = SSL_new(context);
  const int fd = connectTo(port);
  const timeval wait{kProbeWait.count(), 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
  SSL_set_fd(ssl, fd);
  bool ok = false;
  if (fd >= 0 && SSL_connect(ssl) == 1 && SSL_write(ssl, kHealth.data(), static_cast<int>(kHealth.size())) > 0) {
    char reply[15] = {};
    ok = SSL_read(ssl, reply, sizeof reply) == static_cast<int>(sizeof reply) &&
         std::string(reply, sizeof reply) == "HTTP/1.1 200 OK";
  }
  SSL_free(ssl);
  SSL_CTX_free(context);
  if (fd >= 0) ::close(fd);
  return ok;
}

// Connections that begin with `start` and then send `more` a byte a second;
// each one the server closes is opened again.
void trickling(const char* name, int count, int scale, const std::string& start, const std::string& more,
               bool tls = false) {
  TestCertificates certificates;
  std::vector<std::string> options;
  if (tls) options = {"--tls-cert", certificates.server(), "--tls-key", certificates.serverKey()};
  TestServer server(options);
  Connections attackers = connect(server, count);
  for (auto& attacker : attackers) attacker->send(start);
  int tick = 0;
  std::size_t sent = 0;
  const Probe probe = tls ? Probe([&server] { return tlsProbe(server.port()); }) : plainProbe(server);
  int reopened = 0;
  Probes probes = forty(probe, scale, [&] {
    for (auto& attacker : attackers) {
      if (!attacker->closedWithin(milliseconds(0))) continue;
      attacker = std::make_unique<RawConnection>(server.port(), 0, "127.0.0.2");
      attacker->send(start);
      ++reopened;
    }
    if (++tick % 10 != 0) return;
    for (auto& attacker : attackers) attacker->send(more.substr(sent % more.size(), 1));
    ++sent;
  });
  report(name, probes, std::to_string(count) + " connections, then a byte a second each; " +
                           std::to_string(reopened) + " closed by the server and opened again");
}

// 1200 partial heads from 8 addresses, a byte a second each.
void heads(int scale) {
  TestServer server;
  Connections attackers;
  for (int address = 2; address < 10; ++address) {
    const std::string source = "127.0.0." + std::to_string(address);
    for (int i = 0; i < 150; ++i) {
      attackers.push_back(std::make_unique<RawConnection>(server.port(), 0, source.c_str()));
      attackers.back()->send("P");
    }
  }
  int tick = 0;
  int reopened = 0;
  Probes probes = forty(plainProbe(server), scale, [&] {
    for (std::size_t i = 0; i < attackers.size(); ++i) {
      if (!attackers[i]->closedWithin(milliseconds(0))) continue;
      const std::string source = "127.0.0." + std::to_string(2 + i / 150);
      attackers[i] = std::make_unique<RawConnection>(server.port(), 0, source.c_str());
      attackers[i]->send("P");
      ++reopened;
    }
    if (++tick % 10 != 0) return;
    for (auto& attacker : attackers) attacker->send(kTrickle.substr(1 + tick / 10 % 20, 1));
  });
  report("heads", probes, "1200 partial heads from 8 addresses, a byte a second each (--max-connections 1000); " +
                              std::to_string(reopened) + " closed by the server and opened again");
}

// --max-connections 40 and 80 idle connections that come back as soon as
// they are closed.
void storm(int scale) {
  TestServer server({"--max-connections", "40"});
  std::atomic<bool> done{false};
  std::atomic<long> reopened{0};
  std::thread stormer([&] {
    Connections stormers = connect(server, 80);
    while (!done) {
      for (auto& connection : stormers) {
        if (!connection->closedWithin(milliseconds(0))) continue;
        connection = std::make_unique<RawConnection>(server.port(), 0, "127.0.0.2");
        ++reopened;
      }
      std::this_thread::sleep_for(milliseconds(1));
    }
  });
  Probes probes = forty(plainProbe(server), scale, [] {});
  done = true;
  stormer.join();
  report("storm", probes, "80 idle connections opened again as soon as they close (" +
                              std::to_string(reopened.load()) + " times), --max-connections 40");
}

void stop() {
  TestServer server;
  RawConnection idle(server.port());
  std::this_thread::sleep_for(milliseconds(300));
  const auto stopping = Clock::now();
  const int status = server.stop(SIGTERM);
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - stopping);
  std::printf("stop        SIGTERM with one idle connection: exit status %d after %lld ms\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, static_cast<long long>(took.count()));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> cases;
  int scale = 1;
  int count = 64;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--scale" && i + 1 < argc) {
      scale = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--count" && i + 1 < argc) {
      count = std::max(1, std::atoi(argv[++i]));
    } else {
      cases.push_back(argument);
    }
  }
  if (cases.empty()) cases = {"idle", "trickle", "download", "stop"};
  const std::string body = kTrickle.substr(0, kTrickle.find("Content-Length")) + "Content-Length: 100000\r\n\r\n<";
  for (const std::string& name : cases) {
    if (name == "idle") idle(scale);
    else if (name == "trickle") trickle(scale);
    else if (name == "download") download(scale);
    else if (name == "stall") stall(scale);
    else if (name == "descriptors") descriptors(scale);
    else if (name == "threads") threads(scale, body);
    else if (name == "handshakes") trickling("handshakes", count, scale, kHelloStart, std::string(500, '\x01'), true);
    else if (name == "bodies") trickling("bodies", count, scale, body, std::string(100000, 'b'));
    else if (name == "control") trickling("control", count, scale, "GET /health HTTP/1.1\r\nX: \x01", "abcdef");
    else if (name == "heads") heads(scale);
    else if (name == "storm") storm(scale);
    else if (name == "stop") stop();
    else {
      std::fprintf(stderr,
                   "usage: talixdb_connection_bench [idle|trickle|download|stall|descriptors|threads|handshakes|"
                   "bodies|control|heads|storm|stop ...] [--scale S] [--count N]\n");
      return 2;
    }
  }
  return 0;
}
