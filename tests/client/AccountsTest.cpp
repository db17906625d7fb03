// The pool of CFD users as the handle sees accounts made by hand with the
// repository client: every name starting with "cfduser" (the pool's own
// accounts are tested through the handle in tests/api).
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

}  // namespace
}  // namespace talixdb_test
