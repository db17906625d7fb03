// Several clients and servers at once. Two servers on one PostgreSQL database
// serve one repository: a session is valid on both, a name taken through both
// at once is made once, a server killed during an upload leaves the file absent
// or whole while the other serves on, a lost database connection fails only the
// request in flight, and every path opens again a connection ended while idle.
// While the database ends connections during commits, every fault tells the
// truth. Eight clients lose nothing and see a consistent tree, on SQLite and
// on two servers on PostgreSQL.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "support/PostgresCluster.h"
#include "support/ProgramRun.h"

namespace talixdb_test {
namespace {

class TwoServers : public ::testing::Test {
 protected:
  void SetUp() override {
    first = std::make_unique<TestServer>(std::vector<std::string>{"--quiet"}, "", Engine::Postgres);
    second = std::make_unique<TestServer>(std::vector<std::string>{"--quiet"}, first->storeUri(), Engine::Postgres);
    database = std::make_unique<PostgresSession>(first->storeUri());
  }

  // Polls `sql` until it answers `expected` (at most 20 s); returns the last answer.
  std::string waitFor(const std::string& sql, const std::string& expected) {
    std::string answer;
    for (int attempt = 0; attempt < 2000 && (answer = database->run(sql)) != expected; ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return answer;
  }

  // Ends every connection of the servers.
  void endConnections() {
    database->run("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                  "WHERE application_name = 'talixdb-server'");
  }

  std::unique_ptr<TestServer> first, second;
  std::unique_ptr<PostgresSession> database;
};

TEST_F(TwoServers, TheSameNameCreatedThroughBothAtOnceIsMadeOnce) {
  constexpr int kRounds = 100;
  ServiceClient a(*first), b(*second);
  ASSERT_TRUE(Succeeds(a.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(b.loginAsAdmin()));
  std::atomic<int> arrived{0}, made{0};
  auto create = [&](ServiceClient* client) {
    for (int round = 0; round < kRounds; ++round) {
      const std::string name = "race" + std::to_string(round);
      for (++arrived; arrived < 2 * (round + 1);) std::this_thread::yield();  // both start each round together
      const CallResult result = client->createFolder("/Repository", name);
      made += result.ok() ? 1 : 0;
      EXPECT_TRUE(result.ok() || result.fault.find("object exists already: /Repository/" + name) != std::string::npos)
          << result.fault;
      if (round % 20 == 19) client->clear();
    }
  };
  std::thread one(create, &a), other(create, &b);
  one.join();
  other.join();
  EXPECT_EQ(made, kRounds);
  EXPECT_EQ(database->run("SELECT count(*) FROM objects WHERE name LIKE 'race%'"), std::to_string(kRounds));
}

TEST_F(TwoServers, KillingOneDuringAnUploadLeavesTheFileAbsentOrWholeAndTheOtherServes) {
  const std::string bytes = patterned(64 << 20);
  std::thread uploader([&] {
    ServiceClient client(*first);
    if (client.loginAsAdmin().ok()) client.upload("/Repository", "victim.bin", bytes);
  });
  // Kill once the first chunks have landed.
  EXPECT_EQ(waitFor("SELECT count(*) > 0 FROM chunks", "t"), "t");
  first->stop(SIGKILL);
  uploader.join();

  ServiceClient client(*second);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  EXPECT_TRUE(Succeeds(client.createFolder("/Repository", "still-serving")));
  std::string back;
  if (client.download("/Repository/victim.bin", back).ok())
    EXPECT_TRUE(back == bytes) << "size " << back.size();
  else
    EXPECT_FALSE(client.exists("/Repository/victim.bin"));

  // Once the killed server's connections are gone, the next start removes what it staged.
  EXPECT_EQ(waitFor("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory'", "0"), "0");
  first->restart();
  EXPECT_EQ(database->run("SELECT count(*) FROM staging"), "0");
  EXPECT_EQ(database->run("SELECT count(*) FROM chunks WHERE content NOT IN (SELECT content FROM versions)"), "0");
}

TEST_F(TwoServers, ASessionIsValidOnBothAndALostDatabaseConnectionFailsOnlyTheRequestInFlight) {
  ServiceClient client(*first);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  const std::string id = client.sessionId();
  client.retarget(*second);
  EXPECT_EQ(client.sessionId(), id);
  EXPECT_TRUE(Succeeds(client.createFolder("/Repository", "made-through-second")));
  // What the library's "logged in elsewhere" check asks, asked of the other server.
  ServiceClient observer(*first);
  EXPECT_TRUE(observer.isLoggedIn("root"));
  client.retarget(*first);
  const std::string servers = "FROM pg_stat_activity WHERE application_name = 'talixdb-server'";

  // Connections ended while idle are opened again without a failure.
  database->run("SELECT count(pg_terminate_backend(pid)) " + servers);
  EXPECT_TRUE(Succeeds(client.createFolder("/Repository", "after-idle-loss")));

  // A request waiting on the database when its connection ends gets a server fault.
  PostgresSession locker(first->storeUri());
  locker.run("BEGIN");
  locker.run("LOCK TABLE objects IN ACCESS EXCLUSIVE MODE");
  CallResult inFlight;
  std::thread request([&] { inFlight = client.createFolder("/Repository", "in-flight"); });
  EXPECT_EQ(waitFor("SELECT count(*) > 0 " + servers + " AND wait_event_type = 'Lock'", "t"), "t");
  database->run("SELECT count(pg_terminate_backend(pid)) " + servers + " AND wait_event_type = 'Lock'");
  request.join();
  locker.run("ROLLBACK");
  EXPECT_EQ(inFlight.code, 12);
  EXPECT_NE(inFlight.fault.find("lost the connection to the database"), std::string::npos) << inFlight.fault;
  // The next request is served.
  EXPECT_TRUE(Succeeds(client.createFolder("/Repository", "after-loss")));
  EXPECT_FALSE(client.exists("/Repository/in-flight"));

  // A logout through one server ends the session on both.
  client.retarget(*second);
  bool out = false;
  EXPECT_TRUE(client.binding().logout(0, out) == 0 && out);
  client.retarget(*first);
  EXPECT_EQ(client.sessionId(), "");
  EXPECT_FALSE(observer.isLoggedIn("root"));
}

TEST_F(TwoServers, EveryPathOpensAgainAConnectionTheDatabaseEndedWhileIdle) {
  ServiceClient client(*first);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  const std::string large = patterned((2 << 20) + 5);  // read through a connection of its own
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "large.bin", large)));
  const std::string health = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  for (int round = 0; round < 3; ++round) {
    endConnections();
    EXPECT_TRUE(Succeeds(client.upload("/Repository", "small" + std::to_string(round), "bytes")));
    endConnections();
    std::string back;
    EXPECT_TRUE(Succeeds(client.download("/Repository/large.bin", back)) && back == large);
    endConnections();
    EXPECT_NE(exchange(first->port(), health).find("200 OK"), std::string::npos);
  }
  // The database's last word reaches the log as a line of its own.
  EXPECT_NE(first->log().find(" warning database connection: FATAL:  terminating connection due to administrator "
                              "command"),
            std::string::npos);
}

// Creates and deletes while the database ends the servers' connections every
// few milliseconds: one that succeeded happened, one that failed did not,
// unless its fault says the outcome is unknown.
TEST_F(TwoServers, FaultsTellTheTruthWhileConnectionsEndDuringCommits) {
  ServiceClient client(*first);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  std::atomic<bool> stop{false};
  std::thread ender([&] {
    PostgresSession own(first->storeUri());
    std::minstd_rand random(24);
    while (!stop) {
      own.run("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE application_name = 'talixdb-server'");
      std::this_thread::sleep_for(std::chrono::milliseconds(1 + random() % 15));
    }
  });
  struct Outcome {
    std::string name;
    CallResult created, removed;
  };
  std::vector<Outcome> outcomes;
  for (int i = 0; i < 150; ++i) {
    Outcome outcome{"t" + std::to_string(i), {}, {-1, ""}};
    outcome.created = client.createFolder("/Repository", outcome.name);
    if (i % 2 == 1 && outcome.created.ok()) {
      bool answer = false;
      outcome.removed = client.result(client.binding().deleteModelObject("/Repository/" + outcome.name, answer));
    }
    outcomes.push_back(outcome);
  }
  stop = true;
  ender.join();
  int failed = 0, unknown = 0;
  for (const Outcome& outcome : outcomes) {
    const bool exists = database->run("SELECT count(*) FROM objects WHERE name = '" + outcome.name + "'") == "1";
    for (const CallResult* call : {&outcome.created, &outcome.removed}) {
      failed += call->code > 0 ? 1 : 0;
      unknown += contains(call->fault, "outcome unknown") ? 1 : 0;
    }
    if (contains(outcome.created.fault, "outcome unknown") || contains(outcome.removed.fault, "outcome unknown"))
      continue;
    const bool removed = outcome.removed.ok();
    EXPECT_EQ(exists, outcome.created.ok() && !removed) << outcome.name << ": " << outcome.created.fault << " / "
                                                        << outcome.removed.fault;
  }
  EXPECT_GT(failed, 0);  // connections did end during calls
  EXPECT_LT(unknown, 3);
}

TEST_F(TwoServers, AHeldTableLockMakesTheHealthCheckFailSoonInsteadOfHanging) {
  PostgresSession locker(first->storeUri());
  locker.run("BEGIN");
  locker.run("LOCK TABLE objects IN ACCESS EXCLUSIVE MODE");
  const std::string reply = exchange(first->port(), "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  locker.run("ROLLBACK");
  EXPECT_NE(reply.find(" 503 "), std::string::npos) << reply;
}

// A server opens at most --max-db-connections connections, however many
// calls arrive; a database that refuses one more is named in the fault. Its
// figures add up the reruns its request lines show, and count round trips.
TEST(PostgresConnections, AServerKeepsToItsLimitAndSaysSoWhenTheDatabaseRefusesOne) {
  const std::string uri = PostgresCluster::shared().createDatabase();
  PostgresSession database(uri);
  const std::string name = database.run("SELECT current_database()"), role = name + "_limited";
  database.run("CREATE ROLE " + role + " LOGIN CONNECTION LIMIT 2");
  database.run("ALTER DATABASE " + name + " OWNER TO " + role);
  std::string limited = uri;
  limited.replace(limited.find("user=postgres"), 13, "user=" + role);
  TestServer server({"--threads", "6", "--max-db-connections", "2", "--metrics-from", "127.0.0.1"}, limited,
                    Engine::Postgres);
  std::atomic<bool> stop{false};
  std::atomic<int> most{0};
  std::thread watcher([&] {
    PostgresSession watching(uri);
    while (!stop) {
      const int open =
          std::stoi(watching.run("SELECT count(*) FROM pg_stat_activity WHERE usename = '" + role + "'"));
      most = std::max(most.load(), open);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::vector<std::thread> clients;
  std::atomic<int> failures{0};
  for (int i = 0; i < 6; ++i) {
    clients.emplace_back([&, i] {
      ServiceClient client(server);
      failures += client.loginAsAdmin().ok() ? 0 : 1;
      for (int n = 0; n < 15; ++n)
        failures += client.createFolder("/Repository", "c" + std::to_string(i) + "-" + std::to_string(n)).ok() ? 0 : 1;
    });
  }
  for (std::thread& client : clients) client.join();
  stop = true;
  watcher.join();
  EXPECT_EQ(failures, 0);
  EXPECT_LE(most, 2);
  const std::string page = exchange(server.port(), "GET /metrics HTTP/1.0\r\n\r\n");
  auto figure = [&](const std::string& series) {
    const std::size_t at = page.find("\n" + series + " ");
    return at == std::string::npos ? -1.0 : std::stod(page.substr(at + series.size() + 2));
  };
  const std::string log = server.log();
  double logged = 0;  // "(2 retries)", "(1 retry)"
  for (std::size_t at = log.find(" retr"); at != std::string::npos; at = log.find(" retr", at + 1))
    logged += std::stod(log.substr(log.rfind('(', at) + 1));
  EXPECT_EQ(figure("talixdb_transaction_retries_total"), logged);
  EXPECT_GE(figure("talixdb_transactions_total"), 6 * 16);
  EXPECT_GT(figure("talixdb_database_round_trips_total"), 6 * 16);
  // The database allows the role no connection now.
  ServiceClient client(server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  database.run("ALTER ROLE " + role + " CONNECTION LIMIT 0");
  database.run("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE usename = '" + role + "'");
  const CallResult refused = client.createFolder("/Repository", "refused");
  EXPECT_TRUE(contains(refused.fault, "the database refuses more connections")) << refused.fault;
}

// A port no one listens on now.
int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Two servers behind HAProxy with the example configuration, each started
// (and restarted) by a shell command as an operator's would be; clients
// call through HAProxy all along.
class Balanced : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string uri = PostgresCluster::shared().createDatabase();
    { TestServer setup({"--quiet"}, uri, Engine::Postgres); }  // the schema and the administrator
    for (int& port : ports) port = freePort();
    std::ofstream(dir.path() + "/node.sh")
        << "pidfile=" << dir.path() << "/node$1.pid\n"
        << "if [ -f $pidfile ]; then pid=$(cat $pidfile); kill $pid; "
           "while kill -0 $pid 2>/dev/null; do sleep 0.05; done; fi\n"
        << TALIXDB_SERVER_PATH << " --store '" << uri << "' --port $2 --quiet </dev/null >>" << dir.path()
        << "/node$1.log 2>&1 &\necho $! > $pidfile\n";
    for (int node = 1; node <= 2; ++node) {
      ASSERT_EQ(shell(restart(node)), 0);
      ASSERT_TRUE(answers(ports[node])) << "node " << node << " did not start";
    }
    std::ifstream example(TALIXDB_EXAMPLES_DIR "/haproxy.cfg");
    std::string config((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
    for (auto [from, to] : {std::pair<std::string, std::string>{"127.0.0.1:8080", address(ports[0])},
                            {"192.0.2.11:8080", address(ports[1])},
                            {"192.0.2.12:8080", address(ports[2])},
                            {"/run/haproxy/talixdb.sock", socket()}}) {
      ASSERT_NE(config.find(from), std::string::npos) << from;
      config.replace(config.find(from), from.size(), to);
    }
    std::ofstream(dir.path() + "/haproxy.cfg") << config;
    ProgramRun haproxy;
    haproxy.args = {"-f", dir.path() + "/haproxy.cfg", "-D", "-p", dir.path() + "/haproxy.pid"};
    const ProgramResult started = runProgram("/usr/sbin/haproxy", haproxy);
    ASSERT_EQ(started.exitCode, 0) << "HAProxy cannot be started for the test: " << started.err;
    ASSERT_TRUE(answers(ports[0]));
  }

  void TearDown() override {
    shell("for f in " + dir.path() + "/*.pid; do kill -9 $(cat $f); done");
  }

  static std::string address(int port) { return "127.0.0.1:" + std::to_string(port); }
  std::string socket() const { return dir.path() + "/haproxy.sock"; }
  std::string restart(int node) const {
    return "sh " + dir.path() + "/node.sh " + std::to_string(node) + " " + std::to_string(ports[node]);
  }
  static int shell(const std::string& command, std::string* out = nullptr) {
    ProgramRun run;
    run.args = {"-c", command};
    ProgramResult result = runProgram("/bin/sh", run);
    if (out != nullptr) *out = result.out + result.err;
    return result.exitCode;
  }
  // Waits until GET /health answers 200 on `port` (at most 20 s).
  static bool answers(int port) {
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (exchange(port, "GET /health HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n").find(" 200 ") !=
          std::string::npos)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // Runs `during` while four clients call through HAProxy, and a while
  // after; returns the faults they got.
  template <class During>
  std::vector<std::string> whileCalling(During during) {
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::vector<std::string> faults;
    std::mutex mutex;
    std::vector<std::thread> clients;
    for (int index = 0; index < 4; ++index) {
      clients.emplace_back([&, index] {
        ServiceClient client("http://" + address(ports[0]) + "/vlt/services/QuillonBinding");
        bool in = false;
        for (int n = 0; !stop; ++n, ++calls) {
          const CallResult result =
              in ? client.createFolder("/Repository", "f" + std::to_string(index) + "-" + std::to_string(n) + "-" +
                                                          std::to_string(rounds))
                 : client.loginAsAdmin();
          in = in || result.ok();
          if (!result.ok()) {
            std::lock_guard<std::mutex> lock(mutex);
            faults.push_back(result.fault.empty() ? "code " + std::to_string(result.code) : result.fault);
          }
          if (n % 20 == 19) client.clear();
          // A call a client every 10 ms: enough to meet every moment of a
          // restart, too few to use up the loopback's ports.
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      });
    }
    while (calls < 20) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    during();
    const int before = calls;
    while (calls < before + 20) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    for (std::thread& client : clients) client.join();
    ++rounds;
    return faults;
  }

  TempDir dir;
  int ports[3] = {0, 0, 0};  // HAProxy's, then the nodes'
  int rounds = 0;
};

TEST_F(Balanced, ARollingRestartFailsNoCallAndAKilledNodeOnlyThoseInFlight) {
  std::string said;
  std::vector<std::string> faults = whileCalling([&] {
    EXPECT_EQ(shell(TALIXDB_EXAMPLES_DIR "/rolling-restart.sh -s " + socket() + " first='" + restart(1) +
                        "' second='" + restart(2) + "'",
                    &said),
              0)
        << said;
  });
  EXPECT_TRUE(faults.empty()) << faults.size() << " faults, the first: " << faults.front();
  EXPECT_NE(said.find("second is back"), std::string::npos) << said;
  // Killed: only the calls it had in flight fail, at most one a client.
  faults = whileCalling([&] {
    shell("kill -9 $(cat " + dir.path() + "/node1.pid)");
    std::this_thread::sleep_for(std::chrono::seconds(3));  // until the checks have taken it out
  });
  EXPECT_LE(faults.size(), 4u) << faults.front();
}

constexpr int kClients = 8, kCallsPerClient = 200;

// One client's share: folders, files and reads in its own folder, with some
// deletions. Returns the failed calls; `children` gets what must exist at the end.
int runClient(const TestServer& server, int index, std::vector<std::string>& children) {
  ServiceClient client(server);
  const std::string folder = "/Repository/load/c" + std::to_string(index);
  int calls = 0, failures = 0;
  auto count = [&](bool ok) { ++calls; failures += ok ? 0 : 1; };
  count(client.loginAsAdmin().ok());
  count(client.createFolder("/Repository/load", "c" + std::to_string(index)).ok());
  for (int item = 1; calls < kCallsPerClient; ++item) {
    const std::string name = "n" + std::to_string(item);
    if (item % 5 == 0) {
      std::string bytes(1000 + item, static_cast<char>('a' + index)), back;
      count(client.upload(folder, name, bytes).ok());
      count(client.download(folder + "/" + name, back).ok() && back == bytes);
    } else {
      count(client.createFolder(folder, name).ok());
      count(item % 5 == 3 ? client.remove(folder + "/" + name) : client.exists(folder + "/" + name));
    }
    if (item % 5 != 3) children.push_back(name);
    if (item % 20 == 0) client.clear();
  }
  return failures;
}

class Concurrency : public ::testing::TestWithParam<Engine> {};

TEST_P(Concurrency, EightClientsLoseNothingAndSeeAConsistentTree) {
  const std::vector<std::string> options = {"--quiet", "--threads", "8"};
  std::vector<std::unique_ptr<TestServer>> servers;
  servers.push_back(std::make_unique<TestServer>(options, "", GetParam()));
  if (GetParam() == Engine::Postgres)
    servers.push_back(std::make_unique<TestServer>(options, servers[0]->storeUri(), Engine::Postgres));
  ServiceClient admin(*servers.back());
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "load")));
  std::vector<std::vector<std::string>> children(kClients);
  std::vector<int> failures(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i)
    threads.emplace_back([&, i] { failures[i] = runClient(*servers[i % servers.size()], i, children[i]); });
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(admin.childNames("/Repository/load").size(), static_cast<std::size_t>(kClients));
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(failures[i], 0) << "client " << i;
    EXPECT_EQ(admin.childNames("/Repository/load/c" + std::to_string(i)), children[i]) << "client " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Concurrency, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
