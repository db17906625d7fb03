// Two servers on one PostgreSQL database serve one repository: a session
// made through either is valid on both, a name taken through both at the
// same moment is made once, a server killed during an upload leaves the
// file absent or whole while the other serves on, and a lost database
// connection fails only the request in flight.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "ServiceClient.h"
#include "support/PostgresCluster.h"

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

  std::unique_ptr<TestServer> first;
  std::unique_ptr<TestServer> second;
  std::unique_ptr<PostgresSession> database;
};

TEST_F(TwoServers, ASessionMadeThroughOneIsValidOnBoth) {
  ServiceClient client(*first);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  const std::string id = client.sessionId();
  ASSERT_EQ(id.size(), 32u);
  client.retarget(*second);
  EXPECT_EQ(client.sessionId(), id);
  EXPECT_TRUE(Succeeds(client.createFolder("/Repository", "made-through-second")));
  // What the library's "logged in elsewhere" check asks, asked of the other server.
  ServiceClient observer(*first);
  EXPECT_TRUE(observer.isLoggedIn("root"));
  EXPECT_TRUE(client.logout());
  client.retarget(*first);
  EXPECT_EQ(client.sessionId(), "");
  EXPECT_FALSE(observer.isLoggedIn("root"));
}

TEST_F(TwoServers, TheSameNameCreatedThroughBothAtOnceIsMadeOnce) {
  ServiceClient a(*first);
  ServiceClient b(*second);
  ASSERT_TRUE(Succeeds(a.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(b.loginAsAdmin()));
  constexpr int kRounds = 100;
  for (int round = 0; round < kRounds; ++round) {
    const std::string name = "race" + std::to_string(round);
    CallResult results[2];
    std::atomic<int> ready{0};
    auto create = [&](ServiceClient& client, CallResult& result) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      result = client.createFolder("/Repository", name);
    };
    std::thread one(create, std::ref(a), std::ref(results[0]));
    std::thread other(create, std::ref(b), std::ref(results[1]));
    one.join();
    other.join();
    ASSERT_EQ(results[0].ok() + results[1].ok(), 1) << name << ": " << results[0].fault << results[1].fault;
    const CallResult& refused = results[0].ok() ? results[1] : results[0];
    EXPECT_EQ(refused.code, 12);
    EXPECT_NE(refused.fault.find("object exists already: /Repository/" + name), std::string::npos) << refused.fault;
    if (round % 20 == 19) {
      a.clear();
      b.clear();
    }
  }
  EXPECT_EQ(database->run("SELECT count(*) FROM objects WHERE name LIKE 'race%'"), std::to_string(kRounds));
}

TEST_F(TwoServers, KillingOneDuringAnUploadLeavesTheFileAbsentOrWholeAndTheOtherServes) {
  std::string bytes(64 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 4093) & 0xff);
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

TEST_F(TwoServers, ALostDatabaseConnectionFailsOnlyTheRequestInFlight) {
  ServiceClient client(*first);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
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
}

}  // namespace
}  // namespace talixdb_test
