// Idle, trickling and slow-reading clients against a stand-in server with
// its default limits, with health probes meanwhile; then the time SIGTERM
// takes with one idle connection open.
//
// Usage: talixdb_connection_bench [idle|trickle|download|stop ...] [--scale S]
// --scale divides every duration and size (e.g. 10 for a quick look).
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "ServiceUris.h"

namespace {

using namespace talixdb_test;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;
using Connections = std::vector<std::unique_ptr<RawConnection>>;

const std::string kHealth = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
const std::string kTrickle = "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 400\r\n\r\n";

struct Probes {
  int sent = 0;
  int answered = 0;  // within 1 s
  milliseconds worst{0};
};

// Probes GET /health every `every` for `span` from a thread of their own,
// while `tick` runs every 100 ms on this one.
Probes probeDuring(const TestServer& server, Clock::duration span, Clock::duration every,
                   const std::function<void()>& tick) {
  Probes probes;
  const auto end = Clock::now() + span;
  std::thread prober([&] {
    for (auto next = Clock::now(); next < end; next += every) {
      std::this_thread::sleep_until(next);
      const auto sent = Clock::now();
      const std::string reply = exchange(server.port(), kHealth, Ending::KeepOpen, seconds(30));
      const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
      ++probes.sent;
      if (reply.find("HTTP/1.1 200 OK") == 0 && took < seconds(1)) ++probes.answered;
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

void report(const char* name, const Probes& probes, const std::string& more) {
  std::printf("%-9s probes answered within 1 s: %2d of %2d, worst %6lld ms; %s\n", name, probes.answered, probes.sent,
              static_cast<long long>(probes.worst.count()), more.c_str());
  std::fflush(stdout);
}

Connections connect(const TestServer& server, int count, int receiveBuffer = 0) {
  Connections connections;
  for (int i = 0; i < count; ++i) connections.push_back(std::make_unique<RawConnection>(server.port(), receiveBuffer));
  return connections;
}

// 200 idle sockets; each one the server closes is opened again.
void idle(int scale) {
  TestServer server;
  Connections sockets = connect(server, 200);
  int reopened = 0;
  Probes probes = probeDuring(server, milliseconds(30000) / scale, seconds(1), [&] {
    for (auto& socket : sockets) {
      if (!socket->closedWithin(milliseconds(0))) continue;
      socket = std::make_unique<RawConnection>(server.port());
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
  Probes probes = probeDuring(server, milliseconds(90000) / scale, milliseconds(5000) / scale, [&] {
    if (Clock::now() < nextByte) return;
    nextByte += milliseconds(10000) / scale;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      if (sockets[i]->closedWithin(milliseconds(0)) || !sockets[i]->send(kTrickle.substr(sent[i] % kTrickle.size(), 1))) {
        sockets[i] = std::make_unique<RawConnection>(server.port());
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
    std::printf("download  cannot upload the file\n");
    return;
  }
  const auto uploaded = std::chrono::duration_cast<milliseconds>(Clock::now() - uploading);
  const std::string request = soapPost(
      actionOf("downloadFiles"),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:ns1=\"" TALIXDB_NS1_URI
      "\"><SOAP-ENV:Body><ns1:DownloadFilesRequestElement><ns1:PathElement>/Repository/big</ns1:PathElement>"
      "</ns1:DownloadFilesRequestElement></SOAP-ENV:Body></SOAP-ENV:Envelope>",
      "Cookie: TALIXSESSION=" + client.sessionId() + "\r\n");
  Connections readers = connect(server, 8, 4096);
  for (auto& reader : readers) reader->send(request);
  std::size_t received = 0;
  auto nextRead = Clock::now();
  Probes probes = probeDuring(server, milliseconds(60000) / scale, milliseconds(5000) / scale, [&] {
    if (Clock::now() < nextRead) return;
    nextRead += seconds(1);
    for (auto& reader : readers) received += reader->read(4096, milliseconds(0)).size();
  });
  report("download", probes, "8 downloads of " + std::to_string(size >> 20) + " MiB read at 4 KiB/s for " +
                                 std::to_string(60 / scale) + " s (" + std::to_string(received >> 10) +
                                 " KiB read in all; upload took " + std::to_string(uploaded.count()) + " ms)");
}

void stop() {
  TestServer server;
  RawConnection idle(server.port());
  std::this_thread::sleep_for(milliseconds(300));
  const auto stopping = Clock::now();
  const int status = server.stop(SIGTERM);
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - stopping);
  std::printf("stop      SIGTERM with one idle connection: exit status %d after %lld ms\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, static_cast<long long>(took.count()));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> cases;
  int scale = 1;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--scale" && i + 1 < argc) {
      scale = std::max(1, std::atoi(argv[++i]));
    } else {
      cases.push_back(argument);
    }
  }
  if (cases.empty()) cases = {"idle", "trickle", "download", "stop"};
  for (const std::string& name : cases) {
    if (name == "idle") idle(scale);
    else if (name == "trickle") trickle(scale);
    else if (name == "download") download(scale);
    else if (name == "stop") stop();
    else {
      std::fprintf(stderr, "usage: talixdb_connection_bench [idle|trickle|download|stop ...] [--scale S]\n");
      return 2;
    }
  }
  return 0;
}
