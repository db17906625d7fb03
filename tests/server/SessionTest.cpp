// Login sessions as a client of the real server sees them.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ServiceClient.h"

namespace talixdb_test {
namespace {

class SessionTest : public ::testing::TestWithParam<Engine> {
 protected:
  static void TearDownTestSuite() { servers.clear(); }
  void SetUp() override { server = &servers.get(GetParam()); }
  static SuiteServers servers;
  TestServer* server = nullptr;
};
SuiteServers SessionTest::servers;

TEST_P(SessionTest, AdministratorLoginSucceedsAndIsReported) {
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  EXPECT_TRUE(client.isLoggedIn("root"));
  EXPECT_TRUE(client.exists("/Repository"));
  client.logout();
}

TEST_P(SessionTest, WrongPasswordIsAFaultReadAsCode12) {
  ServiceClient client(*server);
  CallResult outcome = client.login("root", "not-the-password");
  EXPECT_EQ(outcome.code, 12);
  EXPECT_NE(outcome.fault.find("wrong user name or password"), std::string::npos) << outcome.fault;
}

TEST_P(SessionTest, PlaceholderLoginOfTheReachabilityProbeIsRefused) {
  ServiceClient client(*server);
  EXPECT_EQ(client.login("username", "password").code, 12);
}

TEST_P(SessionTest, SessionIdIsEmptyWithoutLoginAndHexAfterIt) {
  ServiceClient client(*server);
  EXPECT_EQ(client.sessionId(), "");
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  std::string id = client.sessionId();
  EXPECT_EQ(id.size(), 32u);
  EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
  client.logout();
}

TEST_P(SessionTest, LogoutEndsTheSessionAndAnswersTrueEvenWithoutOne) {
  ServiceClient client(*server);
  EXPECT_TRUE(client.logout());
  ASSERT_TRUE(client.createUser("x", "y").code == 12);  // no session: refused
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(client.createUser("sessionuser", "pw")));
  ServiceClient user(*server);
  ASSERT_TRUE(Succeeds(user.login("sessionuser", "pw")));
  EXPECT_TRUE(client.isLoggedIn("sessionuser"));
  EXPECT_TRUE(user.logout());
  EXPECT_FALSE(client.isLoggedIn("sessionuser"));
  EXPECT_EQ(user.sessionId(), "");
  client.logout();
}

TEST_P(SessionTest, RepositoryOperationsNeedASession) {
  ServiceClient client(*server);
  ns2__SoapModelObject object;
  CallResult outcome = client.find("/Repository", object);
  EXPECT_EQ(outcome.code, 12);
  EXPECT_EQ(outcome.fault, "not logged in");
}

TEST_P(SessionTest, SecondLoginOnTheSameClientEndsTheFirstSession) {
  ServiceClient client(*server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  std::string first = client.sessionId();
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  std::string second = client.sessionId();
  EXPECT_NE(first, second);
  std::string owner;
  ASSERT_EQ(client.binding().authenticate(first, owner), 0);
  EXPECT_EQ(owner, "");
  ASSERT_EQ(client.binding().authenticate(second, owner), 0);
  EXPECT_EQ(owner, "root");
  client.logout();
}

TEST_P(SessionTest, InvalidateEndsAnotherSessionOfTheAdministrator) {
  ServiceClient admin(*server);
  ServiceClient other(*server);
  ASSERT_TRUE(Succeeds(other.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  bool ended = false;
  ASSERT_EQ(admin.binding().invalidate(other.sessionId(), ended), 0);
  EXPECT_TRUE(ended);
  EXPECT_EQ(other.sessionId(), "");
  ASSERT_EQ(admin.binding().invalidate("no-such-session", ended), 0);
  EXPECT_FALSE(ended);
  admin.logout();
}

INSTANTIATE_TEST_SUITE_P(Engines, SessionTest, kBothEngines, EngineParamName());

TEST(SessionExpiry, IdleSessionEndsAfterTheTimeout) {
  TestServer server({"--session-timeout", "1"});
  ServiceClient client(server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  EXPECT_TRUE(client.isLoggedIn("root"));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_FALSE(client.isLoggedIn("root"));
  EXPECT_EQ(client.sessionId(), "");
}

}  // namespace
}  // namespace talixdb_test
