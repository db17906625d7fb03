// The handle's life: opening, logging in and out, closing, copying, the
// address from the environment, logging and the memory registry.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>

#include "api/ApiTestSupport.h"
#include "support/CannedServer.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;

namespace {

class Handle : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_server = new TestServer(); }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  static std::string address() { return s_server->address(); }
  static TestServer* s_server;
};
TestServer* Handle::s_server = nullptr;

TEST_F(Handle, NewHandleIsClosedAndLoggedOut) {
  CVLTDatabase db;
  EXPECT_FALSE(db.isOpen());
  EXPECT_FALSE(db.isLoggedIn());
  EXPECT_TRUE(db.logout());  // nothing to end, contacts nobody
}

TEST_F(Handle, OpenLoginLogoutClose) {
  CVLTDatabase db;
  ASSERT_TRUE(db.open(address().c_str()));
  EXPECT_TRUE(db.isOpen());
  EXPECT_FALSE(db.isLoggedIn());
  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  EXPECT_TRUE(db.isLoggedIn());
  EXPECT_TRUE(db.logout());
  EXPECT_FALSE(db.isLoggedIn());
  db.close();
  EXPECT_FALSE(db.isOpen());
}

TEST_F(Handle, OpenOnAnOpenHandleKeepsTheConnection) {
  CVLTDatabase db;
  ASSERT_TRUE(db.open(address().c_str()));
  EXPECT_TRUE(db.open("127.0.0.1:1"));  // ignored: already open
  EXPECT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  db.logout();
}

// TALIXDB_KEEPALIVE=1 keeps a connection across calls; a server that closes
// it after a reply gets a new one for the next call.
TEST_F(Handle, SessionOfCallsWithKeepAlive) {
  ScopedEnv keepAlive("TALIXDB_KEEPALIVE", "1");
  CVLTDatabase db;
  ASSERT_TRUE(db.open(address().c_str()));
  ASSERT_EQ(0, db.createTalixDb());
  ASSERT_TRUE(db.isLoggedIn());
  EXPECT_EQ(0, db.addCategory("KeptConnectionCategory"));
  EXPECT_TRUE(db.checkCategory("KeptConnectionCategory"));
  EXPECT_EQ(0, db.addType("KeptConnectionType", "KeptConnectionCategory"));
  EXPECT_TRUE(db.checkType("KeptConnectionType", "KeptConnectionCategory"));
  EXPECT_TRUE(db.logout());
}

TEST_F(Handle, OpenFailsOnEmptyOrUnreachableAddress) {
  CVLTDatabase db;
  EXPECT_FALSE(db.open(""));
  EXPECT_FALSE(db.open("127.0.0.1:1"));
  EXPECT_FALSE(db.isOpen());
  // A failed open leaves a handle that a later open can still use.
  EXPECT_TRUE(db.open(address().c_str()));
}

TEST_F(Handle, RefusedLoginLeavesTheHandleLoggedOut) {
  CVLTDatabase db;
  ASSERT_TRUE(db.open(address().c_str()));
  EXPECT_FALSE(db.login("root", "wrong password", "Default", 0));
  EXPECT_FALSE(db.isLoggedIn());
  EXPECT_FALSE(db.login("nobody", "x", "Default", 0));
}

TEST_F(Handle, SecondLoginKeepsTheFirst) {
  CVLTDatabase db;
  ASSERT_TRUE(db.open(address().c_str()));
  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  EXPECT_TRUE(db.login("someone", "else", "Default", 0));
  db.logout();
}

TEST_F(Handle, LoginOnAClosedHandleFailsAndContactsNobody) {
  CVLTDatabase db;
  EXPECT_FALSE(db.login("root", kAdminPassword, "Default", 0));
  ASSERT_TRUE(db.open(address().c_str()));
  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  ASSERT_TRUE(db.logout());
  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  db.close();
  // The login flag is left as it was, but nothing reaches the closed proxy.
  EXPECT_TRUE(db.isLoggedIn());
  EXPECT_FALSE(db.login("root", kAdminPassword, "Default", 0));
  EXPECT_FALSE(db.isTalixDatabaseInstantiated());
  EXPECT_EQ(2, db.addCategory("x"));
  EXPECT_EQ(nullptr, db.downloadModel("a", "b", "c"));
  EXPECT_TRUE(db.logout());
}

TEST_F(Handle, ALoginLeftBehindBlocksTheSameUserElsewhere) {
  TestServer server;  // its own store: no session left by other tests
  CVLTDatabase first;
  ASSERT_TRUE(first.open(server.address().c_str()));
  ASSERT_TRUE(first.login("root", kAdminPassword, "Default", 0));
  CVLTDatabase second;
  ASSERT_TRUE(second.open(server.address().c_str()));
  EXPECT_FALSE(second.login("root", kAdminPassword, "Default", 0));
  first.logout();
  EXPECT_TRUE(second.login("root", kAdminPassword, "Default", 0));
  second.logout();
}

TEST_F(Handle, CopyAssignmentGivesAnIndependentHandleOnTheSameSession) {
  auto first = std::make_unique<CVLTDatabase>();
  ASSERT_TRUE(first->open(address().c_str()));
  first->createTalixDb();  // logs in as administrator, makes the root if missing
  ASSERT_TRUE(first->isLoggedIn());
  CVLTDatabase second;
  second = *first;
  EXPECT_TRUE(second.isOpen());
  EXPECT_TRUE(second.isLoggedIn());
  first.reset();  // the copy keeps working on its own proxy, in the same session
  EXPECT_EQ(0, second.addCategory("CopiedHandleCategory"));
  EXPECT_TRUE(second.checkCategory("CopiedHandleCategory"));
  CVLTDatabase& alias = second;
  second = alias;  // self-assignment is harmless
  EXPECT_TRUE(second.isOpen());
  second.logout();
}

TEST_F(Handle, CopyConstructedHandleOutlivesItsSource) {
  auto source = std::make_unique<CVLTDatabase>();
  ASSERT_TRUE(source->open(address().c_str()));
  source->createTalixDb();
  ASSERT_TRUE(source->isLoggedIn());
  CVLTDatabase copy(*source);
  source.reset();
  EXPECT_TRUE(copy.isOpen());
  EXPECT_TRUE(copy.isLoggedIn());
  EXPECT_EQ(0, copy.addCategory("CopyConstructedCategory"));
  EXPECT_TRUE(copy.checkCategory("CopyConstructedCategory"));
  copy.logout();
}

TEST_F(Handle, CopiesOfNeverOpenedAndClosedHandlesAreClosedAndUsable) {
  TestServer server;  // its own store: no root session left by other tests
  CVLTDatabase never;
  CVLTDatabase closed;
  ASSERT_TRUE(closed.open(server.address().c_str()));
  closed.close();
  for (CVLTDatabase* source : {&never, &closed}) {
    CVLTDatabase copy(*source);
    CVLTDatabase& alias = copy;
    copy = alias;
    EXPECT_FALSE(copy.isOpen());
    EXPECT_FALSE(copy.isTalixDatabaseInstantiated());
    ASSERT_TRUE(copy.open(server.address().c_str()));
    EXPECT_TRUE(copy.login("root", kAdminPassword, "Default", 0));
    copy.logout();
    EXPECT_FALSE(source->isOpen());
  }
}

TEST_F(Handle, CopyAssignmentDoesNotReleaseTheLoggerTwice) {
  RecordingLogger logger;
  {
    CVLTDatabase a;
    a.setLoggingObject(&logger);
    CVLTDatabase b;
    b = a;
  }
  EXPECT_EQ(1, logger.releases);
}

// A server that never answers trips the time-out of each receive; one that
// sends a byte every 2 s never does, but trips the overall limit of a request.
TEST_F(Handle, ServerThatStallsOrTricklesDoesNotHangTheHost) {
  struct Case {
    CannedServer::Manner manner;
    const char* limit;
  };
  for (const Case& c : {Case{CannedServer::kSilent, "TALIXDB_IO_TIMEOUT"},
                        Case{CannedServer::kTrickle, "TALIXDB_CALL_TIMEOUT"}}) {
    SCOPED_TRACE(c.limit);
    ScopedEnv limit(c.limit, "2");
    CannedServer server("", c.manner);
    CVLTDatabase db;
    auto start = std::chrono::steady_clock::now();
    db.open(server.address().c_str());  // reachable: it accepted the connection
    EXPECT_FALSE(db.login("root", kAdminPassword, "Default", 0));
    auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 15);  // a few requests of 2 s each; without the limit, a minute each or more
  }
}

TEST_F(Handle, PoolLoginTakesAFreeAccountAndRefusesWhenNoneIsLeft) {
  TestServer server;
  CVLTDatabase admin;
  ASSERT_TRUE(admin.open(server.address().c_str()));
  ASSERT_EQ(3, admin.instantiateCFDUsers(3));
  std::vector<std::unique_ptr<CVLTDatabase>> hosts;
  for (int i = 0; i < 3; ++i) {
    hosts.push_back(std::make_unique<CVLTDatabase>());
    ASSERT_TRUE(hosts.back()->open(server.address().c_str()));
    EXPECT_TRUE(hosts.back()->login("cfduser", "ignored", "Default", 3)) << "pool login " << i;
  }
  CVLTDatabase fourth;
  ASSERT_TRUE(fourth.open(server.address().c_str()));
  EXPECT_FALSE(fourth.login("cfduser", "ignored", "Default", 3));
  CVLTDatabase none;
  ASSERT_TRUE(none.open(server.address().c_str()));
  EXPECT_FALSE(none.login("cfduser", "ignored", "Default", 0));
  for (auto& host : hosts) host->logout();
}

TEST(Logging, AttachingDeliversOneSessionMessage) {
  RecordingLogger logger;
  CVLTDatabase db;
  EXPECT_EQ(0, db.setLoggingObject(&logger));
  ASSERT_EQ(1u, logger.messages.size());
  EXPECT_EQ(3, logger.messages[0].first);
  EXPECT_EQ("TALIXDBAPI 1.2.1:\tLogging object attached", logger.messages[0].second);
}

TEST(Logging, LoginAnnouncesItselfBeforeAnyServerCall) {
  RecordingLogger logger;
  CVLTDatabase db;
  db.setLoggingObject(&logger);
  EXPECT_FALSE(db.login("u", "p", "d", 0));
  ASSERT_EQ(2u, logger.messages.size());
  EXPECT_EQ(3, logger.messages[1].first);
  EXPECT_EQ("TALIXDBAPI 1.2.1:\tLogging into VLT.", logger.messages[1].second);
}

TEST(Logging, DetachedLoggerHearsNothingAndIsNotReleased) {
  RecordingLogger logger;
  {
    CVLTDatabase db;
    db.setLoggingObject(&logger);
    EXPECT_EQ(0, db.setLoggingObject(nullptr));
    db.login("u", "p", "d", 0);
  }
  EXPECT_EQ(1u, logger.messages.size());
  EXPECT_EQ(0, logger.releases);
}

TEST(Logging, DestructorReleasesTheAttachedLoggerOnce) {
  RecordingLogger logger;
  { CVLTDatabase db; db.setLoggingObject(&logger); }
  EXPECT_EQ(1, logger.releases);
}

TEST(Memory, ReleaseRefusesPointersItDidNotHandOut) {
  CVLTDatabase db;
  int local = 0;
  EXPECT_FALSE(db.releaseMemory(&local));
  EXPECT_FALSE(db.releaseMemory(nullptr));
  EXPECT_FALSE(db.registerTALIXDatabaseServer("server", true));
}

class Address : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(Address, UnsetVariableGivesNull) {
  ScopedEnv env("MODELDATABASE_HOME", nullptr);
  EXPECT_EQ(nullptr, ExposedDatabase::getURL());
}

TEST_F(Address, FullEndpointGivesTheHostPart) {
  ScopedEnv env("MODELDATABASE_HOME", "http://db.example:8080/vlt/services/QuillonBinding");
  ASSERT_NE(nullptr, ExposedDatabase::getURL());
  EXPECT_STREQ("db.example:8080", ExposedDatabase::getURL());
}

TEST_F(Address, TrailingSlashOrMissingSchemeGivesNull) {
  {
    ScopedEnv env("MODELDATABASE_HOME", "http://db.example:8080/vlt/services/QuillonBinding/");
    EXPECT_EQ(nullptr, ExposedDatabase::getURL());
  }
  {
    ScopedEnv env("MODELDATABASE_HOME", "db.example:8080/vlt/services/QuillonBinding");
    EXPECT_EQ(nullptr, ExposedDatabase::getURL());  // taken as a file name that does not exist
  }
}

TEST_F(Address, FileWhoseFirstWordIsTheEndpoint) {
  std::string file = dir.path() + "/address.txt";
  std::ofstream(file) << "  http://host:99/vlt/services/QuillonBinding more words\nsecond line\n";
  ScopedEnv env("MODELDATABASE_HOME", file.c_str());
  ASSERT_NE(nullptr, ExposedDatabase::getURL());
  EXPECT_STREQ("host:99", ExposedDatabase::getURL());
}

TEST_F(Address, EmptyFileOrAnotherSchemeGivesNull) {
  std::string empty = dir.path() + "/empty.txt";
  std::ofstream(empty).flush();
  {
    ScopedEnv env("MODELDATABASE_HOME", empty.c_str());
    EXPECT_EQ(nullptr, ExposedDatabase::getURL());
  }
  std::string ftp = dir.path() + "/ftp.txt";
  std::ofstream(ftp) << "ftp://host/vlt/services/QuillonBinding";
  ScopedEnv env("MODELDATABASE_HOME", ftp.c_str());
  EXPECT_EQ(nullptr, ExposedDatabase::getURL());
}

TEST_F(Address, ValueLongerThanTheBufferGivesNull) {
  std::string value = "http://" + std::string(1100, 'h') + "/vlt/services/QuillonBinding";
  ScopedEnv env("MODELDATABASE_HOME", value.c_str());
  EXPECT_EQ(nullptr, ExposedDatabase::getURL());
}

TEST_F(Handle, OpenWithoutAnAddressUsesTheEnvironment) {
  ScopedEnv env("MODELDATABASE_HOME", s_server->endpoint().c_str());
  CVLTDatabase db;
  EXPECT_TRUE(db.open(nullptr));
  ScopedEnv unset("MODELDATABASE_HOME", nullptr);
  CVLTDatabase other;
  EXPECT_FALSE(other.open(nullptr));
}

}  // namespace
