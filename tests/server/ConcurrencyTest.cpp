// Several clients at once: nothing is lost and the tree stays consistent,
// with one server on SQLite and with two servers on one PostgreSQL database
// (the clients spread over both).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "ServiceClient.h"

namespace talixdb_test {
namespace {

constexpr int kClients = 8;
constexpr int kCallsPerClient = 200;

// One client's share: folders, files and reads in its own folder, with some
// deletions; records what must exist at the end.
struct ClientRun {
  std::vector<std::string> expectedChildren;
  int failures = 0;
  int calls = 0;
};

void runClient(const TestServer& server, int index, ClientRun& run) {
  ServiceClient client(server);
  const std::string folder = "/Repository/load/c" + std::to_string(index);
  auto count = [&](bool ok) {
    ++run.calls;
    if (!ok) ++run.failures;
  };
  count(client.loginAsAdmin().ok());
  count(client.createFolder("/Repository/load", "c" + std::to_string(index)).ok());
  int item = 0;
  while (run.calls < kCallsPerClient) {
    std::string name = "n" + std::to_string(item++);
    switch (item % 5) {
      case 0: {
        std::string bytes(1000 + item, static_cast<char>('a' + index));
        count(client.upload(folder, name, bytes).ok());
        std::string back;
        count(client.download(folder + "/" + name, back).ok() && back == bytes);
        run.expectedChildren.push_back(name);
        break;
      }
      case 3:
        count(client.createFolder(folder, name).ok());
        count(client.remove(folder + "/" + name));
        break;
      default:
        count(client.createFolder(folder, name).ok());
        count(client.exists(folder + "/" + name));
        run.expectedChildren.push_back(name);
    }
    if (item % 20 == 0) client.clear();
  }
}

class Concurrency : public ::testing::TestWithParam<Engine> {};

TEST_P(Concurrency, EightClientsLoseNothingAndSeeAConsistentTree) {
  const std::vector<std::string> options = {"--quiet", "--threads", "8"};
  std::vector<std::unique_ptr<TestServer>> servers;
  servers.push_back(std::make_unique<TestServer>(options, "", GetParam()));
  if (GetParam() == Engine::Postgres)
    servers.push_back(std::make_unique<TestServer>(options, servers[0]->storeUri(), Engine::Postgres));
  {
    ServiceClient admin(*servers[0]);
    ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
    ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "load")));
  }
  std::vector<ClientRun> runs(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i)
    threads.emplace_back(runClient, std::cref(*servers[i % servers.size()]), i, std::ref(runs[i]));
  for (std::thread& thread : threads) thread.join();

  ServiceClient admin(*servers.back());
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  std::vector<std::string> clients = admin.childNames("/Repository/load");
  EXPECT_EQ(clients.size(), static_cast<std::size_t>(kClients));
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(runs[i].failures, 0) << "client " << i;
    EXPECT_GE(runs[i].calls, kCallsPerClient);
    EXPECT_EQ(admin.childNames("/Repository/load/c" + std::to_string(i)), runs[i].expectedChildren) << "client " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Concurrency, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
