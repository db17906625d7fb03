// Handle operations meeting accounts made by hand with the repository client:
// pool users of any "cfduser" name, and a user who may only read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "QuillonBinding.h"
#include "api/ApiTestSupport.h"
#include "client/RepositoryClient.h"
#include "client/RepositorySession.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using talixdb_test::RecordingLogger;
using talixdb_test::TestServer;
using VLT_121::CRepositoryClient;
using VLT_121::CRepositoryObject;
using VLT_121::CRepositorySession;
using VLT_121::CVLTDatabase;

const std::string kModel = "/Repository/talixdb/Flow/Ducts/Duct";

// The repository client logged in as the administrator.
class AdminClient {
 public:
  explicit AdminClient(const TestServer& server) : m_endpoint(server.endpoint()), m_session(&m_binding),
                                                   m_client(&m_binding) {
    m_binding.endpoint = m_endpoint.c_str();
    loggedIn = m_session.login("root", talixdb_test::kAdminPassword, "Default", 0, 0, true);
  }
  ~AdminClient() { m_session.logout(); }

  bool createUser(const std::string& name, const std::string& password) {
    char* answer = m_client.createUser(name.c_str(), password.c_str());
    std::free(answer);
    return answer != nullptr;
  }
  bool exists(const std::string& path) {
    std::unique_ptr<CRepositoryObject> found(m_client.findByPath(path));
    if (!found) return false;
    found->release();
    return true;
  }
  CRepositorySession& session() { return m_session; }

  bool loggedIn = false;

 private:
  std::string m_endpoint;
  QuillonBinding m_binding;
  CRepositorySession m_session;
  CRepositoryClient m_client;
};

class Accounts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_admin.loggedIn);
    ASSERT_TRUE(m_db.open(m_server.address().c_str()));
  }

  talixdb_test::ScopedEnv m_password{"VLT_ADMIN_PASSWORD", talixdb_test::kAdminPassword};
  TestServer m_server;
  AdminClient m_admin{m_server};
  RecordingLogger m_logger;
  CVLTDatabase m_db;
};

TEST_F(Accounts, EveryNameStartingWithCfduserCountsAsAPoolUser) {
  for (const char* name : {"cfduserX", "cfduser", "cfduser_007", "cfdusr", "alice", "CFDUSER_001"})
    ASSERT_TRUE(m_admin.createUser(name, "pw")) << name;
  EXPECT_EQ(m_db.getNrCFDUsers(), 3);
  EXPECT_FALSE(m_db.isLoggedIn());

  m_db.setLoggingObject(&m_logger);
  m_db.deleteAllTalixUsers();
  EXPECT_EQ(m_db.getNrCFDUsers(), 0);
  EXPECT_FALSE(m_admin.exists("/System/Users/cfduserX"));
  EXPECT_TRUE(m_logger.contains("\nUser cfduserX has been deleted"));
  EXPECT_TRUE(m_admin.exists("/System/Users/alice"));
  EXPECT_TRUE(m_admin.exists("/System/Users/cfdusr"));
  EXPECT_TRUE(m_admin.exists("/System/Users/CFDUSER_001"));
}

TEST_F(Accounts, DisconnectPassesOverPoolUsersWhoseLoginFails) {
  // Only the user whose password is its name can be logged in and out.
  ASSERT_TRUE(m_admin.createUser("cfduserA", "cfduserA"));
  ASSERT_TRUE(m_admin.createUser("cfduserB", "another password"));
  m_db.setLoggingObject(&m_logger);
  m_db.disconnectAllTalixUsers();
  EXPECT_TRUE(m_logger.contains("\nUser cfduserA has been disconnected\n"));
  EXPECT_FALSE(m_logger.contains("\nUser cfduserB has been disconnected\n"));
  EXPECT_FALSE(m_db.isLoggedIn());
}

TEST_F(Accounts, ReportFromAUserWhoMayOnlyReadIsNotStored) {
  std::string bytes = "TALIX_Report_2";
  bytes.push_back('\0');
  bytes.append(25, '-');
  bytes += "2\n1.2\n1.6\n";
  ASSERT_EQ(m_db.createTalixDb(), 0);  // stays logged in as the administrator
  ASSERT_EQ(m_db.uploadSurface(kModel.c_str(), "S", "wall", 1, bytes.data(), static_cast<long>(bytes.size())), 0);
  m_db.logout();

  ASSERT_TRUE(m_admin.createUser("reader", "reader"));
  ASSERT_TRUE(m_admin.session().addPermission("/Repository", "read", "reader"));
  CVLTDatabase reader;
  ASSERT_TRUE(reader.open(m_server.address().c_str()));
  ASSERT_TRUE(reader.login("reader", "reader", "Default", 0));
  EXPECT_TRUE(reader.isSurfaceUploaded(kModel.c_str(), "S", 1, "wall"));
  EXPECT_EQ(reader.uploadSurface(kModel.c_str(), "S", "wall", 2, bytes.data(), static_cast<long>(bytes.size())),
            VLT_121::ResultCode::kFileNotUploaded);
  EXPECT_FALSE(reader.isSurfaceUploaded(kModel.c_str(), "S", 2, "wall"));
  const std::string other = bytes.substr(0, 40) + "2\n0\n1\n";
  EXPECT_EQ(reader.uploadSurface(kModel.c_str(), "S", "wall", 1, other.data(), static_cast<long>(other.size())),
            VLT_121::ResultCode::kFileNotUploaded);
  // Neither the report nor the modes changed.
  EXPECT_EQ(reader.getNrPcaModes(kModel.c_str(), "S", "wall"), 1);
  char* data = nullptr;
  long size = reader.downloadSurface(kModel.c_str(), "S", 1, "wall", data);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(std::string(data, static_cast<size_t>(size)) == bytes);
  reader.releaseMemory(data);
}

}  // namespace
