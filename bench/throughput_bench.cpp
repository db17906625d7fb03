// Throughput benchmark: calls per second of several clients at once, for
// small reads (findByPath of a folder), small writes (createFolder) and a mix
// (creates, uploads of new versions of a few small files, reads, downloads), on
// SQLite, on PostgreSQL with one server, and on PostgreSQL with two servers
// on one database (the clients spread over both). PostgreSQL runs in a
// throw-away cluster with its durability settings on, as SQLite has its own.
// Beside the rate, the longest single call of each phase, the transactions
// run again after losing to a concurrent one (per call) and the share of calls
// that ran alone, as the servers' request lines count them; then the rates of
// PostgreSQL over SQLite and of two servers over one. With
// TALIXDB_KEEPALIVE=1 each client keeps its connection as the library does.
//
//   throughput_bench [seconds per phase] [clients] [sqlite|postgresql|""] [rounds]
//
// Defaults: 5 seconds, 8 clients, every deployment, 3 rounds (each phase of
// each deployment in turn; the best rate counts).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ServiceClient.h"
#include "client/ClientContext.h"
#include "support/PostgresCluster.h"

namespace {

using talixdb_test::Engine;
using talixdb_test::ServiceClient;
using talixdb_test::TestServer;

struct Deployment {
  const char* name;
  Engine engine;
  int servers;
};

struct Figures {
  double rate = -1;       // calls per second, -1 when a call failed
  double worstMs = 0;     // the longest single call
  double retries = 0;     // transactions run again, per call
  double alone = 0;       // share of calls that ran alone
  double serverCpuMs = 0;    // processor time per call of the servers
  double databaseCpuMs = 0;  // and of the database's processes
};

// Processor seconds a process has used so far (0 when it is gone).
double cpuSeconds(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::size_t end = text.rfind(')');
  if (end == std::string::npos) return 0;
  std::istringstream fields(text.substr(end + 2));
  std::string field;
  double ticks = 0;
  for (int index = 3; fields >> field && index <= 15; ++index)
    if (index >= 14) ticks += std::atof(field.c_str());  // utime, stime
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Processor seconds of the servers and of every process of their database.
std::pair<double, double> cpuOf(const std::vector<std::unique_ptr<TestServer>>& servers) {
  double server = 0, database = 0;
  for (const auto& each : servers) server += cpuSeconds(each->pid());
  if (!servers[0]->storeUri().empty()) {
    talixdb_test::PostgresSession session(servers[0]->storeUri());
    for (int i = 0;; ++i) {
      std::string pid = session.run("SELECT pid FROM pg_stat_activity WHERE pid <> pg_backend_pid() ORDER BY pid "
                                    "OFFSET " + std::to_string(i) + " LIMIT 1");
      if (pid.empty()) break;
      database += cpuSeconds(std::atoi(pid.c_str()));
    }
  }
  return {server, database};
}

// Adds up the request lines the servers logged since `from` (their log
// sizes, updated): calls, retries and calls that ran alone.
void countContention(const std::vector<std::unique_ptr<TestServer>>& servers, std::vector<std::size_t>& from,
                     Figures& figures) {
  static const std::regex retried(R"(\((\d+) retr(?:y|ies)(?:, (\d+) alone)?\)$)");
  long calls = 0, retries = 0, alone = 0;
  for (std::size_t i = 0; i < servers.size(); ++i) {
    const std::string log = servers[i]->log();
    std::size_t line = from[i];
    for (std::size_t end; (end = log.find('\n', line)) != std::string::npos; line = end + 1) {
      const std::string text = log.substr(line, end - line);
      if (text.find(" request ") == std::string::npos) continue;
      ++calls;
      std::smatch match;
      if (!std::regex_search(text, match, retried)) continue;
      retries += std::stol(match[1]);
      alone += match[2].matched ? 1 : 0;
    }
    from[i] = line;
  }
  if (calls == 0) return;
  figures.retries = static_cast<double>(retries) / static_cast<double>(calls);
  figures.alone = static_cast<double>(alone) / static_cast<double>(calls);
}

// Runs `clients` threads for `seconds`, each calling `call` (with its index
// and a running number) through its own logged-in client.
template <class Call>
Figures measure(const std::vector<std::unique_ptr<TestServer>>& servers, int clients, double seconds, Call call) {
  using Clock = std::chrono::steady_clock;
  std::atomic<long> calls{0};
  std::atomic<bool> failed{false};
  std::atomic<bool> stop{false};
  std::vector<double> worst(static_cast<std::size_t>(clients), 0.0);
  std::vector<std::thread> threads;
  for (int index = 0; index < clients; ++index) {
    threads.emplace_back([&, index] {
      ServiceClient client(*servers[static_cast<std::size_t>(index) % servers.size()]);
      VLT_121::CClientContext::of(client.soap());  // the library's hooks, keep-alive when asked
      if (!client.loginAsAdmin().ok()) failed = true;
      double& longest = worst[static_cast<std::size_t>(index)];
      for (long n = 0; !stop && !failed; ++n) {
        const auto begun = Clock::now();
        if (!call(client, index, n)) failed = true;
        longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - begun).count());
        ++calls;
        if (n % 50 == 49) client.clear();
      }
    });
  }
  const auto used = cpuOf(servers);
  const long before = calls;
  const auto started = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const long counted = calls - before;
  const auto usedAfter = cpuOf(servers);
  stop = true;
  for (std::thread& thread : threads) thread.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
  Figures figures;
  if (!failed) figures.rate = static_cast<double>(calls) / elapsed;
  if (counted > 0) {
    figures.serverCpuMs = 1000 * (usedAfter.first - used.first) / static_cast<double>(counted);
    figures.databaseCpuMs = 1000 * (usedAfter.second - used.second) / static_cast<double>(counted);
  }
  figures.worstMs = *std::max_element(worst.begin(), worst.end());
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int clients = argc > 2 ? std::atoi(argv[2]) : 8;
  const std::string only = argc > 3 ? argv[3] : "";
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  setenv("TALIXDB_TEST_PG_DURABLE", "1", 1);
  const Deployment deployments[] = {{"SQLite, one server", Engine::Sqlite, 1},
                                    {"PostgreSQL, one server", Engine::Postgres, 1},
                                    {"PostgreSQL, two servers", Engine::Postgres, 2}};
  std::printf("%d clients, %.1f s per phase, best of %d rounds that take turns; calls per second, retries per "
              "call, share of calls run alone\n",
              clients, seconds, rounds);
  std::printf("%-26s %11s %11s %9s %9s %8s %8s %7s %7s\n", "deployment", "small reads", "small writes",
              "worst r ms", "worst w ms", "retry r", "retry w", "alone r", "alone w");
  struct Running {
    const Deployment* deployment;
    std::vector<std::unique_ptr<TestServer>> servers;
    std::vector<std::size_t> logged;  // log sizes counted so far
    Figures reads, writes, mixed;
  };
  // The best rate of the rounds, the worst call of all, the contention of all.
  auto keep = [](Figures& best, const Figures& round, double retries, double alone, int done) {
    best.rate = round.rate < 0 || best.rate < 0 ? (done == 0 ? round.rate : -1) : std::max(best.rate, round.rate);
    best.worstMs = std::max(best.worstMs, round.worstMs);
    best.retries = (best.retries * done + retries) / (done + 1);
    best.alone = (best.alone * done + alone) / (done + 1);
    best.serverCpuMs = (best.serverCpuMs * done + round.serverCpuMs) / (done + 1);
    best.databaseCpuMs = (best.databaseCpuMs * done + round.databaseCpuMs) / (done + 1);
  };
  std::vector<Running> running;
  int status = 0;
  try {
    // Every deployment first; then the rounds, each deployment in turn, so
    // that a change in the machine's load meets all alike.
    for (const Deployment& deployment : deployments) {
      if (!only.empty() && only != (deployment.engine == Engine::Sqlite ? "sqlite" : "postgresql")) continue;
      // Every client may transfer at once.
      const std::vector<std::string> options = {"--threads", std::to_string(clients), "--max-transfers",
                                                std::to_string(std::max(16, clients))};
      Running deployed{&deployment, {}, {}, {}, {}, {}};
      deployed.servers.push_back(std::make_unique<TestServer>(options, "", deployment.engine));
      for (int more = 1; more < deployment.servers; ++more)
        deployed.servers.push_back(
            std::make_unique<TestServer>(options, deployed.servers[0]->storeUri(), deployment.engine));
      ServiceClient admin(*deployed.servers[0]);
      if (!admin.loginAsAdmin().ok() || !admin.createFolder("/Repository", "bench").ok())
        throw std::runtime_error("setup");
      for (int index = 0; index < clients; ++index)
        if (!admin.createFolder("/Repository/bench", "c" + std::to_string(index)).ok())
          throw std::runtime_error("setup");
      for (const auto& server : deployed.servers) deployed.logged.push_back(server->log().size());
      running.push_back(std::move(deployed));
    }
    for (int round = 0; round < rounds; ++round) {
      for (Running& deployed : running) {
        Figures reads = measure(deployed.servers, clients, seconds, [](ServiceClient& client, int index, long) {
          ns2__SoapModelObject object;
          return client.find("/Repository/bench/c" + std::to_string(index), object).ok();
        });
        countContention(deployed.servers, deployed.logged, reads);
        keep(deployed.reads, reads, reads.retries, reads.alone, round);
      }
      for (Running& deployed : running) {
        const std::string prefix = "r" + std::to_string(round) + "n";
        Figures writes = measure(deployed.servers, clients, seconds, [&prefix](ServiceClient& client, int index, long n) {
          return client.createFolder("/Repository/bench/c" + std::to_string(index), prefix + std::to_string(n)).ok();
        });
        countContention(deployed.servers, deployed.logged, writes);
        keep(deployed.writes, writes, writes.retries, writes.alone, round);
      }
      for (Running& deployed : running) {
        const std::string prefix = "r" + std::to_string(round);
        Figures mixed = measure(deployed.servers, clients, seconds, [&prefix](ServiceClient& client, int index, long n) {
          const std::string folder = "/Repository/bench/c" + std::to_string(index);
          const std::string file = prefix + "f" + std::to_string(n / 4 % 8);  // new versions of a few files
          switch (n % 4) {
            case 0: return client.createFolder(folder, prefix + "m" + std::to_string(n)).ok();
            case 1: return client.upload(folder, file, std::string(1000, 'm')).ok();
            case 2: {
              ns2__SoapModelObject object;
              return client.find(folder + "/" + file, object).ok();
            }
            default: {
              std::string back;
              return client.download(folder + "/" + file, back).ok() && back.size() == 1000;
            }
          }
        });
        countContention(deployed.servers, deployed.logged, mixed);
        keep(deployed.mixed, mixed, mixed.retries, mixed.alone, round);
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "throughput_bench: %s\n", error.what());
    return 1;
  }
  std::map<std::string, Figures> readsOf, writesOf;
  for (const Running& deployed : running) {
    const Figures& reads = deployed.reads;
    const Figures& writes = deployed.writes;
    std::printf("%-26s %11.0f %11.0f %9.1f %9.1f %8.3f %8.3f %6.2f%% %6.2f%%\n", deployed.deployment->name,
                reads.rate, writes.rate, reads.worstMs, writes.worstMs, reads.retries, writes.retries,
                100 * reads.alone, 100 * writes.alone);
    std::printf("%-26s processor ms per call, server + database: reads %.3f + %.3f, writes %.3f + %.3f\n", "",
                reads.serverCpuMs, reads.databaseCpuMs, writes.serverCpuMs, writes.databaseCpuMs);
    const Figures& mixed = deployed.mixed;
    std::printf("%-26s mixed (create, upload, find, download): %.0f calls/s, %.3f retries per call, %.2f%% alone, "
                "worst %.1f ms\n",
                "", mixed.rate, mixed.retries, 100 * mixed.alone, mixed.worstMs);
    readsOf[deployed.deployment->name] = reads;
    writesOf[deployed.deployment->name] = writes;
    if (reads.rate < 0 || writes.rate < 0) status = 1;
  }
  // The ratios, where both sides of one were measured.
  auto ratio = [&](const char* over, const char* under) {
    if (readsOf.count(over) == 0 || readsOf.count(under) == 0) return;
    std::printf("%s / %s: reads %.2fx, writes %.2fx\n", over, under, readsOf[over].rate / readsOf[under].rate,
                writesOf[over].rate / writesOf[under].rate);
  };
  ratio(deployments[1].name, deployments[0].name);
  ratio(deployments[2].name, deployments[1].name);
  return status;
}
