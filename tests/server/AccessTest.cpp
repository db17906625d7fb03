// Users and access rights over the wire.
#include <gtest/gtest.h>

#include "ServiceClient.h"

namespace talixdb_test {
namespace {

class AccessTest : public ::testing::TestWithParam<Engine> {
 protected:
  static void TearDownTestSuite() { servers.clear(); }
  void SetUp() override {
    server = &servers.get(GetParam(), {}, [](TestServer& fresh) {
      ServiceClient admin(fresh);
      ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
      ASSERT_TRUE(Succeeds(admin.createUser("alice", "alice-pw")));
      ASSERT_TRUE(Succeeds(admin.createUser("bob", "bob-pw")));
      ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "shared")));
      ASSERT_TRUE(Succeeds(admin.createFolder("/Repository/shared", "inner")));
      admin.logout();
    });
    admin = std::make_unique<ServiceClient>(*server);
    ASSERT_TRUE(Succeeds(admin->loginAsAdmin()));
  }
  void TearDown() override { admin->logout(); }
  static SuiteServers servers;
  TestServer* server = nullptr;
  std::unique_ptr<ServiceClient> admin;
};
SuiteServers AccessTest::servers;

TEST_P(AccessTest, UsersAppearBelowSystemUsersInCreationOrder) {
  EXPECT_EQ(admin->childNames("/System/Users"), (std::vector<std::string>{"root", "alice", "bob"}));
  ns2__SoapModelObject alice;
  ASSERT_TRUE(Succeeds(admin->find("/System/Users/alice", alice)));
  EXPECT_EQ(alice.typeName, "User");
}

TEST_P(AccessTest, DuplicateOrEmptyUserNamesAreRefused) {
  EXPECT_EQ(admin->createUser("alice", "again").code, 12);
  EXPECT_EQ(admin->createUser("", "pw").code, 12);
}

TEST_P(AccessTest, OnlyTheAdministratorCreatesUsers) {
  ServiceClient alice(*server);
  ASSERT_TRUE(Succeeds(alice.login("alice", "alice-pw")));
  EXPECT_EQ(alice.createUser("mallory", "pw").code, 12);
  alice.logout();
}

TEST_P(AccessTest, NewUserMayDoNothingUntilGranted) {
  ServiceClient bob(*server);
  ASSERT_TRUE(Succeeds(bob.login("bob", "bob-pw")));
  ns2__SoapModelObject object;
  CallResult outcome = bob.find("/Repository/shared", object);
  EXPECT_EQ(outcome.code, 12);
  EXPECT_NE(outcome.fault.find("permission denied"), std::string::npos) << outcome.fault;
  EXPECT_EQ(bob.createFolder("/Repository/shared", "x").code, 12);
  bob.logout();
}

TEST_P(AccessTest, GrantOnAFolderIsInheritedBelowIt) {
  ASSERT_TRUE(Succeeds(admin->addPermission("/Repository/shared", "write", "alice")));
  EXPECT_TRUE(admin->hasPermission("/Repository/shared/inner", "read", "alice"));
  EXPECT_TRUE(admin->hasPermission("/Repository/shared/inner", "write", "alice"));
  EXPECT_FALSE(admin->hasPermission("/Repository/shared/inner", "fullControl", "alice"));
  ServiceClient alice(*server);
  ASSERT_TRUE(Succeeds(alice.login("alice", "alice-pw")));
  EXPECT_TRUE(Succeeds(alice.createFolder("/Repository/shared/inner", "by-alice")));
  EXPECT_EQ(alice.addPermission("/Repository/shared", "read", "bob").code, 12);  // needs fullControl
  alice.logout();
  ASSERT_TRUE(Succeeds(admin->removePermission("/Repository/shared", "write", "alice")));
  EXPECT_FALSE(admin->hasPermission("/Repository/shared/inner", "read", "alice"));
}



TEST_P(AccessTest, DeletingAUserEndsItsSessions) {
  ASSERT_TRUE(Succeeds(admin->createUser("temporary", "pw")));
  ServiceClient temporary(*server);
  ASSERT_TRUE(Succeeds(temporary.login("temporary", "pw")));
  EXPECT_TRUE(admin->isLoggedIn("temporary"));
  EXPECT_TRUE(admin->remove("/System/Users/temporary"));
  EXPECT_FALSE(admin->isLoggedIn("temporary"));
  EXPECT_EQ(temporary.sessionId(), "");
  EXPECT_EQ(temporary.login("temporary", "pw").code, 12);
}


INSTANTIATE_TEST_SUITE_P(Engines, AccessTest, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
