// The pool of CFD users and the register of simulation servers through the
// public handle against the real server.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "api/AdminTestSupport.h"
#include "api/RequestCount.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using talixdb_test::AdminSession;
using talixdb_test::RecordingLogger;
using talixdb_test::requestCount;
using talixdb_test::ScopedEnv;
using talixdb_test::TestServer;
using talixdb_test::textsOfType;
using VLT_121::CVLTDatabase;
using Texts = std::vector<std::string>;
namespace rc = VLT_121::ResultCode;

const std::string kRoot = "/Repository/talixdb";
const std::string kRegister = "/Repository/TalixRegisteredServers/SimulationServers";

// ---- the pool of CFD users: every case needs a server without a database ---

class PoolUsers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_db.open(m_server.address().c_str()));
    m_db.setLoggingObject(&m_logger);
  }

  // Removes the database root again, so that instantiateCFDUsers runs anew.
  void dropDatabase() {
    AdminSession admin(m_server);
    ASSERT_TRUE(admin.open);
    ASSERT_TRUE(admin.db.deleteItem(kRoot.c_str()));
  }

  ScopedEnv m_password{"VLT_ADMIN_PASSWORD", talixdb_test::kAdminPassword};
  TestServer m_server;
  RecordingLogger m_logger;
  CVLTDatabase m_db;
};

TEST_F(PoolUsers, InstantiateMakesTheDatabaseAndTheUsersOnce) {
  EXPECT_EQ(m_db.instantiateCFDUsers(3), 3);
  EXPECT_FALSE(m_db.isLoggedIn());
  EXPECT_EQ(textsOfType(m_logger, 1),
            (Texts{"\nUser cfduser_000 has been created\n", "\nUser cfduser_001 has been created\n",
                   "\nUser cfduser_002 has been created\n"}));
  EXPECT_EQ(m_db.getNrCFDUsers(), 3);
  ASSERT_TRUE(m_db.login("root", talixdb_test::kAdminPassword, "Default", 0));
  EXPECT_TRUE(m_db.isTalixDatabaseInstantiated());
  m_db.logout();

  // The database exists now: nothing is touched.
  m_logger.messages.clear();
  const int logins = requestCount(m_server, "login");
  EXPECT_EQ(m_db.instantiateCFDUsers(5), rc::kRootFolderNotMade);
  EXPECT_TRUE(textsOfType(m_logger, 1).empty());
  EXPECT_EQ(requestCount(m_server, "createUser"), 3);
  EXPECT_EQ(requestCount(m_server, "login"), logins + 1);
  EXPECT_EQ(m_db.getNrCFDUsers(), 3);
}

TEST_F(PoolUsers, PoolAccountsMayWriteBelowTheRepository) {
  ASSERT_EQ(m_db.instantiateCFDUsers(2), 2);
  CVLTDatabase user;
  ASSERT_TRUE(user.open(m_server.address().c_str()));
  // A name starting "cfduser" always asks for a pool account: without a pool
  // size there is none to take.
  EXPECT_FALSE(user.login("cfduser_001", "cfduser_001", "Default", 0));
  ASSERT_TRUE(user.login("cfduser_001", "cfduser_001", "Default", 2));
  EXPECT_EQ(user.addCategory("FromPool"), 0);
  EXPECT_EQ(user.addType("Made", "FromPool"), 0);
}

TEST_F(PoolUsers, PoolLoginTakesAFreeAccountUntilNoneIsLeft) {
  ASSERT_EQ(m_db.instantiateCFDUsers(3), 3);
  std::vector<std::unique_ptr<CVLTDatabase>> hosts;
  for (int i = 0; i < 3; ++i) {
    hosts.push_back(std::make_unique<CVLTDatabase>());
    ASSERT_TRUE(hosts.back()->open(m_server.address().c_str()));
    EXPECT_TRUE(hosts.back()->login("cfduser", "ignored", "Default", 3)) << i;
  }
  // Each took another account: all three are in use now.
  CVLTDatabase fourth;
  ASSERT_TRUE(fourth.open(m_server.address().c_str()));
  EXPECT_FALSE(fourth.login("cfduser", "ignored", "Default", 3));
  hosts[1]->logout();
  EXPECT_TRUE(fourth.login("cfduser", "ignored", "Default", 3));
  // Without a pool size there is nothing to choose from.
  CVLTDatabase fifth;
  ASSERT_TRUE(fifth.open(m_server.address().c_str()));
  EXPECT_FALSE(fifth.login("cfduser", "ignored", "Default", 0));
}

TEST_F(PoolUsers, DisconnectLogsEveryPoolUserInAndOut) {
  ASSERT_EQ(m_db.instantiateCFDUsers(2), 2);
  m_logger.messages.clear();
  ASSERT_TRUE(m_db.login("root", talixdb_test::kAdminPassword, "Default", 0));
  m_db.disconnectAllTalixUsers();
  EXPECT_FALSE(m_db.isLoggedIn());
  EXPECT_EQ(textsOfType(m_logger, 1),
            (Texts{"\nUser cfduser_000 has been disconnected\n", "\nUser cfduser_001 has been disconnected\n"}));
  EXPECT_EQ(m_db.getNrCFDUsers(), 2);
}

TEST_F(PoolUsers, DeleteAllRemovesEveryPoolUser) {
  ASSERT_EQ(m_db.instantiateCFDUsers(2), 2);
  m_logger.messages.clear();
  m_db.deleteAllTalixUsers();
  EXPECT_FALSE(m_db.isLoggedIn());
  EXPECT_EQ(textsOfType(m_logger, 1),
            (Texts{"\nUser cfduser_000 has been deleted", "\nUser cfduser_001 has been deleted"}));
  EXPECT_EQ(m_db.getNrCFDUsers(), 0);
  CVLTDatabase user;
  ASSERT_TRUE(user.open(m_server.address().c_str()));
  EXPECT_FALSE(user.login("cfduser_000", "cfduser_000", "Default", 0));
}

TEST_F(PoolUsers, InstantiateReplacesTheWholePool) {
  ASSERT_EQ(m_db.instantiateCFDUsers(3), 3);
  dropDatabase();
  m_logger.messages.clear();
  EXPECT_EQ(m_db.instantiateCFDUsers(1), 1);
  EXPECT_EQ(textsOfType(m_logger, 1),
            (Texts{"\nUser cfduser_000 has been disconnected\n", "\nUser cfduser_001 has been disconnected\n",
                   "\nUser cfduser_002 has been disconnected\n", "\nUser cfduser_000 has been deleted",
                   "\nUser cfduser_001 has been deleted", "\nUser cfduser_002 has been deleted",
                   "\nUser cfduser_000 has been created\n"}));
  EXPECT_EQ(m_db.getNrCFDUsers(), 1);
}

TEST_F(PoolUsers, ZeroOrNegativeCountEmptiesThePoolAndIsReturned) {
  ASSERT_EQ(m_db.instantiateCFDUsers(2), 2);
  dropDatabase();
  EXPECT_EQ(m_db.instantiateCFDUsers(0), 0);
  EXPECT_FALSE(m_db.isLoggedIn());
  EXPECT_EQ(m_db.getNrCFDUsers(), 0);
  dropDatabase();
  EXPECT_EQ(m_db.instantiateCFDUsers(-4), -4);
  EXPECT_FALSE(m_db.isLoggedIn());
  EXPECT_EQ(m_db.getNrCFDUsers(), 0);
}

TEST_F(PoolUsers, WrongAdministratorPasswordChangesNothing) {
  {
    ScopedEnv wrong("VLT_ADMIN_PASSWORD", "not the password");
    EXPECT_EQ(m_db.instantiateCFDUsers(3), rc::kRootFolderNotMade);
    EXPECT_EQ(m_db.getNrCFDUsers(), 0);
    m_db.disconnectAllTalixUsers();
    m_db.deleteAllTalixUsers();
    EXPECT_FALSE(m_db.isLoggedIn());
    EXPECT_TRUE(textsOfType(m_logger, 0).empty());
    EXPECT_TRUE(textsOfType(m_logger, 1).empty());
  }
  EXPECT_EQ(requestCount(m_server, "createUser"), 0);
  EXPECT_EQ(requestCount(m_server, "createModelObject"), 0);
  EXPECT_EQ(m_db.getNrCFDUsers(), 0);
}

TEST_F(PoolUsers, RegisterIsEmptyOnANewServer) {
  ASSERT_TRUE(m_db.login("root", talixdb_test::kAdminPassword, "Default", 0));
  EXPECT_EQ(m_db.downloadRegisteredSimulationServers(), 0);
  EXPECT_EQ(m_db.getNrRegisteredSimulationServers(), 0);
  EXPECT_EQ(m_db.getRegisteredSimulationServer(0), nullptr);
}

// ---- the register of simulation servers --------------------------------------

class SimulationServers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_server = new TestServer(); }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(m_admin.open); }

  CVLTDatabase& db() { return m_admin.db; }
  int changes() { return requestCount(*s_server, "createModelObject") + requestCount(*s_server, "deleteModelObject"); }
  Texts downloaded() {
    EXPECT_EQ(db().downloadRegisteredSimulationServers(), 0);
    Texts names;
    for (int i = 0; i < db().getNrRegisteredSimulationServers(); ++i) names.push_back(db().getRegisteredSimulationServer(i));
    return names;
  }

  static TestServer* s_server;
  AdminSession m_admin{*s_server};
};
TestServer* SimulationServers::s_server = nullptr;

TEST_F(SimulationServers, RegisteredServersAreListedInOrderAfterADownload) {
  EXPECT_EQ(db().getRegisteredSimulationServer(0), nullptr);
  EXPECT_TRUE(db().registerTALIXSimulationServer("node-1.example:9000", true));
  EXPECT_TRUE(db().registerTALIXSimulationServer("node 2", false));
  // The handle's copy changes only with a download.
  EXPECT_EQ(db().getNrRegisteredSimulationServers(), 0);
  EXPECT_EQ(downloaded(), (Texts{"node-1.example:9000", "node 2"}));
  EXPECT_EQ(db().getRegisteredSimulationServer(-1), nullptr);
  EXPECT_EQ(db().getRegisteredSimulationServer(2), nullptr);
  EXPECT_TRUE(db().registerTALIXSimulationServer("node-3", true));
  EXPECT_EQ(db().getNrRegisteredSimulationServers(), 2);
  EXPECT_EQ(downloaded().size(), 3u);
}

TEST_F(SimulationServers, KeepingAnExistingRegistrationChangesNothing) {
  ASSERT_TRUE(db().registerTALIXSimulationServer("steady", true));
  const int before = changes();
  EXPECT_TRUE(db().registerTALIXSimulationServer("steady", true));
  EXPECT_EQ(changes(), before);
}

TEST_F(SimulationServers, ReplacingWithALoggerDeletesAndRemakesTheFolder) {
  ASSERT_TRUE(db().registerTALIXSimulationServer("fresh", true));
  const int creates = requestCount(*s_server, "createModelObject");
  const int deletes = requestCount(*s_server, "deleteModelObject");
  m_admin.logger.messages.clear();
  EXPECT_TRUE(db().registerTALIXSimulationServer("fresh", false));
  EXPECT_EQ(requestCount(*s_server, "deleteModelObject"), deletes + 1);
  EXPECT_EQ(requestCount(*s_server, "createModelObject"), creates + 1);
  EXPECT_EQ(textsOfType(m_admin.logger, 0), (Texts{kRegister + "/fresh has  been deleted."}));
  Texts names = downloaded();
  EXPECT_EQ(std::count(names.begin(), names.end(), "fresh"), 1);
}

TEST_F(SimulationServers, ReplacingWithoutALoggerKeepsTheFolder) {
  db().setLoggingObject(nullptr);
  ASSERT_TRUE(db().registerTALIXSimulationServer("silent", true));
  const int before = changes();
  EXPECT_TRUE(db().registerTALIXSimulationServer("silent", false));
  EXPECT_EQ(changes(), before);
}

TEST_F(SimulationServers, RegistrationFailsWithoutASession) {
  CVLTDatabase loggedOut;
  ASSERT_TRUE(loggedOut.open(s_server->address().c_str()));
  EXPECT_FALSE(loggedOut.registerTALIXSimulationServer("nobody", true));
  EXPECT_EQ(loggedOut.downloadRegisteredSimulationServers(), 0);
  EXPECT_EQ(loggedOut.getNrRegisteredSimulationServers(), 0);
}

}  // namespace
