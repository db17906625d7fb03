// Handle operations meeting accounts made by hand with the repository client:
// pool users of any "cfduser" name, and a user who may only read.
#include <cstdlib>

#include "client/ClientTestSupport.h"

namespace talixdb_test {
namespace {

using VLT_121::CVLTDatabase;

using Accounts = ClientTest;

TEST_F(Accounts, EveryNameStartingWithCfduserIsAPoolUser) {
  for (const char* name : {"cfduserX", "cfduser", "cfduser_007", "cfdusr", "alice", "CFDUSER_001", "cfduserB"}) {
    char* answer = client().createUser(name, std::string(name) == "cfduserB" ? "another password" : name);
    EXPECT_NE(nullptr, answer) << name;
    std::free(answer);
  }
  CVLTDatabase db;
  ASSERT_TRUE(db.open(address().c_str()));
  EXPECT_EQ(db.getNrCFDUsers(), 4);
  AttachedLogger logger(db);
  // Only users whose password is their name can be logged in and out.
  db.disconnectAllTalixUsers();
  EXPECT_TRUE(logger.contains("\nUser cfduserX has been disconnected\n"));
  EXPECT_FALSE(logger.contains("\nUser cfduserB has been disconnected\n"));
  EXPECT_FALSE(db.isLoggedIn());
  db.deleteAllTalixUsers();
  EXPECT_EQ(db.getNrCFDUsers(), 0);
  EXPECT_TRUE(logger.contains("\nUser cfduserX has been deleted"));
  for (const char* kept : {"cfdusr", "alice", "CFDUSER_001"}) EXPECT_TRUE(exists(std::string("/System/Users/") + kept)) << kept;
  EXPECT_FALSE(exists("/System/Users/cfduserX"));
}

TEST_F(Accounts, ReportFromAUserWhoMayOnlyReadIsNotStored) {
  const std::string model = "/Repository/talixdb/Flow/Ducts/" + testName();
  const std::string bytes = surfaceReport("2\n1.2\n1.6\n"), other = surfaceReport("2\n0\n1\n");
  ASSERT_EQ(m_db.uploadSurface(model.c_str(), "S", "wall", 1, bytes.data(), static_cast<long>(bytes.size())), 0);
  std::free(client().createUser("reader", "reader"));
  ASSERT_TRUE(session().addPermission("/Repository", "read", "reader"));
  CVLTDatabase reader;
  ASSERT_TRUE(reader.open(address().c_str()));
  ASSERT_TRUE(reader.login("reader", "reader", "Default", 0));
  EXPECT_TRUE(reader.isSurfaceUploaded(model.c_str(), "S", 1, "wall"));
  for (const auto& [number, report] : {std::make_pair(2, bytes), std::make_pair(1, other)})
    EXPECT_EQ(reader.uploadSurface(model.c_str(), "S", "wall", number, report.data(), static_cast<long>(report.size())),
              VLT_121::ResultCode::kFileNotUploaded);
  EXPECT_FALSE(reader.isSurfaceUploaded(model.c_str(), "S", 2, "wall"));
  // Neither the report nor the modes changed.
  EXPECT_EQ(reader.getNrPcaModes(model.c_str(), "S", "wall"), 1);
  char* data = nullptr;
  const long size = reader.downloadSurface(model.c_str(), "S", 1, "wall", data);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(std::string(data, static_cast<size_t>(size)) == bytes);
  reader.releaseMemory(data);
  reader.logout();
}

}  // namespace
}  // namespace talixdb_test
