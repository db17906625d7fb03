// Throughput benchmark: calls per second of several clients at once, for
// small reads (findByPath of a folder) and small writes (createFolder), on
// SQLite, on PostgreSQL with one server, and on PostgreSQL with two servers
// on one database (the clients spread over both). PostgreSQL runs in a
// throw-away cluster with its durability settings on, as SQLite has its own.
// Beside the rate, the longest single call of each phase, the transactions
// run again after losing to a concurrent one (per call) and the share of calls
// that ran alone, as the servers' request lines count them; then the rates of
// PostgreSQL over SQLite and of two servers over one. With
// TALIXDB_KEEPALIVE=1 each client keeps its connection as the library does.
//
//   throughput_bench [seconds per phase] [clients] [sqlite|postgresql]
//
// Defaults: 5 seconds, 8 clients, every deployment.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
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
  double alone = 0;       // share of calls that ran a transaction alone
};

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
  const auto started = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
  Figures figures;
  if (!failed) figures.rate = static_cast<double>(calls) / elapsed;
  figures.worstMs = *std::max_element(worst.begin(), worst.end());
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int clients = argc > 2 ? std::atoi(argv[2]) : 8;
  const std::string only = argc > 3 ? argv[3] : "";
  setenv("TALIXDB_TEST_PG_DURABLE", "1", 1);
  const Deployment deployments[] = {{"SQLite, one server", Engine::Sqlite, 1},
                                    {"PostgreSQL, one server", Engine::Postgres, 1},
                                    {"PostgreSQL, two servers", Engine::Postgres, 2}};
  std::printf("%d clients, %.1f s per phase; calls per second, retries per call, share of calls run alone\n",
              clients, seconds);
  std::printf("%-26s %11s %11s %9s %9s %8s %8s %7s %7s\n", "deployment", "small reads", "small writes",
              "worst r ms", "worst w ms", "retry r", "retry w", "alone r", "alone w");
  std::map<std::string, Figures> readsOf, writesOf;
  int status = 0;
  try {
    for (const Deployment& deployment : deployments) {
      if (!only.empty() && only != (deployment.engine == Engine::Sqlite ? "sqlite" : "postgresql")) continue;
      const std::vector<std::string> options = {"--threads", std::to_string(clients)};
      std::vector<std::unique_ptr<TestServer>> servers;
      servers.push_back(std::make_unique<TestServer>(options, "", deployment.engine));
      for (int more = 1; more < deployment.servers; ++more)
        servers.push_back(std::make_unique<TestServer>(options, servers[0]->storeUri(), deployment.engine));
      {
        ServiceClient admin(*servers[0]);
        if (!admin.loginAsAdmin().ok() || !admin.createFolder("/Repository", "bench").ok()) throw std::runtime_error("setup");
        for (int index = 0; index < clients; ++index)
          if (!admin.createFolder("/Repository/bench", "c" + std::to_string(index)).ok()) throw std::runtime_error("setup");
      }
      std::vector<std::size_t> logged;
      for (const auto& server : servers) logged.push_back(server->log().size());
      Figures reads = measure(servers, clients, seconds, [](ServiceClient& client, int index, long) {
        ns2__SoapModelObject object;
        return client.find("/Repository/bench/c" + std::to_string(index), object).ok();
      });
      countContention(servers, logged, reads);
      Figures writes = measure(servers, clients, seconds, [](ServiceClient& client, int index, long n) {
        return client.createFolder("/Repository/bench/c" + std::to_string(index), "n" + std::to_string(n)).ok();
      });
      countContention(servers, logged, writes);
      std::printf("%-26s %11.0f %11.0f %9.1f %9.1f %8.3f %8.3f %6.2f%% %6.2f%%\n", deployment.name, reads.rate,
                  writes.rate, reads.worstMs, writes.worstMs, reads.retries, writes.retries, 100 * reads.alone,
                  100 * writes.alone);
      readsOf[deployment.name] = reads;
      writesOf[deployment.name] = writes;
      std::fflush(stdout);
      if (reads.rate < 0 || writes.rate < 0) status = 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "throughput_bench: %s\n", error.what());
    return 1;
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
