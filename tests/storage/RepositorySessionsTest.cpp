// Login sessions and their expiry, with a clock moved by hand.
#include "RepositoryFixture.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

using RepositorySessions = RepositoryFixture;

TEST_P(RepositorySessions, WrongCredentialsAreRefused) {
  Caller caller;
  EXPECT_THROW(repository->login(caller, "root", "wrong"), Refusal);
  EXPECT_THROW(repository->login(caller, "nobody", "admin-pw"), Refusal);
  EXPECT_EQ(caller.session, "");
}

// So that the time of a refusal does not tell whether the user exists.
TEST_P(RepositorySessions, UnknownUserCostsTheSamePasswordCheckAsAWrongPassword) {
  std::vector<std::string> checked;
  Repository counting(*storage, kTimeout, [this] { return now; },
                      [&checked](const std::string& password, const std::string& hash) {
                        checked.push_back(hash);
                        return verifyPassword(password, hash);
                      });
  Caller caller;
  EXPECT_THROW(counting.login(caller, "root", "wrong"), Refusal);
  EXPECT_THROW(counting.login(caller, "nobody", "wrong"), Refusal);
  ASSERT_EQ(checked.size(), 2u);
  EXPECT_EQ(checked[1].rfind("$6$", 0), 0u);  // a SHA-512 crypt hash of the same cost
  EXPECT_EQ(checked[1].size(), checked[0].size());
}

// A use is stored only when the stored one is older than the refresh
// interval, so a session may outlive its timeout by that much.
TEST_P(RepositorySessions, IdleSessionExpiresAfterTheTimeout) {
  Caller caller = loggedIn("sam");
  now += kTimeout + sessionRefreshInterval(kTimeout);
  EXPECT_TRUE(repository->isLoggedIn("sam"));
  now += 1;
  EXPECT_FALSE(repository->isLoggedIn("sam"));
  EXPECT_THROW(repository->requireSession(caller), Refusal);
  EXPECT_EQ(repository->sessionId(caller), "");
}

TEST_P(RepositorySessions, EachRequestRefreshesTheSession) {
  Caller caller = loggedIn("sam");
  for (int i = 0; i < 5; ++i) {
    now += kTimeout - 1;
    repository->requireSession(caller);
  }
  EXPECT_TRUE(repository->isLoggedIn("sam"));
}

TEST_P(RepositorySessions, AnUnstoredUseStillKeepsTheSessionForTheTimeout) {
  const std::int64_t interval = sessionRefreshInterval(kTimeout);
  ASSERT_GT(interval, 1);
  Caller caller = loggedIn("sam");
  now += interval - 1;
  repository->requireSession(caller);
  now += kTimeout;
  EXPECT_TRUE(repository->isLoggedIn("sam"));
  now += interval + 1;
  EXPECT_FALSE(repository->isLoggedIn("sam"));
}

// With its session stored recently, a reading request writes nothing: it
// is served while another transaction holds the store for writing.
TEST_P(RepositorySessions, ReadingRequestsDoNotWaitForAWriter) {
  std::unique_ptr<Storage> other = store->connect();
  StorageTransaction writing(*other);
  other->addObject(other->rootId(), "pending", "Folder", false);
  now += 1;
  EXPECT_EQ(repository->find(admin, "/Repository").path, "/Repository");
  EXPECT_THROW(repository->find(admin, "/pending"), Refusal);
}

TEST_P(RepositorySessions, LoginEndsTheCallersPreviousSession) {
  Caller caller = loggedIn("sam");
  std::string first = caller.session;
  repository->login(caller, "root", "admin-pw");
  EXPECT_NE(caller.session, first);
  EXPECT_EQ(repository->authenticate(first), "");
  EXPECT_FALSE(repository->isLoggedIn("sam"));
  EXPECT_EQ(repository->authenticate(caller.session), "root");
}

TEST_P(RepositorySessions, SessionsOfOneUserAreIndependent) {
  Caller one = loggedIn("sam");
  Caller two;
  repository->login(two, "sam", "sam-pw");
  repository->logout(one);
  EXPECT_TRUE(repository->isLoggedIn("sam"));
  repository->logout(two);
  EXPECT_FALSE(repository->isLoggedIn("sam"));
}

TEST_P(RepositorySessions, InvalidateNeedsOwnershipOrTheAdministrator) {
  Caller sam = loggedIn("sam");
  Caller tom = loggedIn("tom");
  EXPECT_FALSE(repository->invalidate(tom, sam.session));
  EXPECT_TRUE(repository->isLoggedIn("sam"));
  EXPECT_TRUE(repository->invalidate(admin, sam.session));
  EXPECT_FALSE(repository->isLoggedIn("sam"));
  EXPECT_TRUE(repository->invalidate(tom, tom.session));
}

TEST_P(RepositorySessions, SessionIdsAreLongAndDistinct) {
  Caller a = loggedIn("sam");
  Caller b;
  repository->login(b, "sam", "sam-pw");
  EXPECT_EQ(a.session.size(), 32u);
  EXPECT_NE(a.session, b.session);
}

INSTANTIATE_TEST_SUITE_P(Engines, RepositorySessions, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
