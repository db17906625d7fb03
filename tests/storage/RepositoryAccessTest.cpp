// Access rights and users, checked in process against a real store.
#include "RepositoryFixture.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

class RepositoryAccess : public RepositoryFixture {
 protected:
  void SetUp() override {
    RepositoryFixture::SetUp();
    for (const char* path : {"/Repository/a", "/Repository/a/b", "/Repository/a/b/c"}) {
      std::string text = path;
      NewObject object;
      object.parentPath = text.substr(0, text.rfind('/'));
      object.name = text.substr(text.rfind('/') + 1);
      repository->create(admin, object);
    }
    user = loggedIn("ann");
  }
  Caller user;
};

TEST_P(RepositoryAccess, WithoutAnyEntryAUserMayNotRead) {
  EXPECT_THROW(repository->find(user, "/Repository/a"), Refusal);
  EXPECT_FALSE(repository->hasPermission(admin, "/Repository/a", "read", "ann"));
}

TEST_P(RepositoryAccess, EntryIsInheritedByEverythingBelow) {
  repository->addPermission(admin, "/Repository/a", "read", "ann");
  EXPECT_TRUE(repository->hasPermission(admin, "/Repository/a/b/c", "read", "ann"));
  EXPECT_FALSE(repository->hasPermission(admin, "/Repository/a/b/c", "write", "ann"));
  EXPECT_EQ(repository->find(user, "/Repository/a/b/c").allowedActions, std::vector<std::string>{"read"});
  EXPECT_THROW(repository->create(user, NewObject{"x", "/Repository/a/b", "Folder", {}, {}}), Refusal);
}

TEST_P(RepositoryAccess, NearestAncestorWithAnEntryDecides) {
  repository->addPermission(admin, "/Repository/a", "fullControl", "ann");
  repository->addPermission(admin, "/Repository/a/b", "read", "ann");
  EXPECT_TRUE(repository->hasPermission(admin, "/Repository/a", "fullControl", "ann"));
  EXPECT_FALSE(repository->hasPermission(admin, "/Repository/a/b/c", "write", "ann"));
  repository->removePermission(admin, "/Repository/a/b", "read", "ann");
  EXPECT_TRUE(repository->hasPermission(admin, "/Repository/a/b/c", "write", "ann"));
}

TEST_P(RepositoryAccess, WriteImpliesReadAndAllowsCreatingAndDeleting) {
  repository->addPermission(admin, "/Repository/a", "write", "ann");
  EXPECT_EQ(repository->find(user, "/Repository/a/b").allowedActions,
            (std::vector<std::string>{"read", "write", "delete"}));
  EXPECT_EQ(repository->create(user, NewObject{"mine", "/Repository/a", "Folder", {}, {}}), "/Repository/a/mine");
  EXPECT_TRUE(repository->remove(user, "/Repository/a/b"));
  EXPECT_THROW(repository->remove(user, "/Repository/a"), Refusal);  // needs write on /Repository
}

TEST_P(RepositoryAccess, GrantingNeedsFullControl) {
  repository->addPermission(admin, "/Repository/a", "write", "ann");
  EXPECT_THROW(repository->addPermission(user, "/Repository/a", "read", "bob"), Refusal);
  repository->addPermission(admin, "/Repository/a", "fullControl", "ann");
  loggedIn("bob");
  EXPECT_TRUE(repository->addPermission(user, "/Repository/a/b", "read", "bob"));
}

// An entry for a name that is no user would pass to a user made later under it.
TEST_P(RepositoryAccess, EntriesNameAUserOrAGroup) {
  EXPECT_THROW(repository->addPermission(admin, "/Repository/a", "read", "ghost"), Refusal);
  EXPECT_TRUE(repository->addPermission(admin, "/Repository/a", "read", "users"));
  EXPECT_TRUE(repository->addPermission(admin, "/Repository/a", "read", "administrators"));
  EXPECT_THROW(repository->createUser(admin, "users", "pw"), Refusal);
  Caller ghost = loggedIn("ghost");
  EXPECT_THROW(repository->find(ghost, "/Repository/a"), Refusal);
}

TEST_P(RepositoryAccess, AdministratorIsAlwaysAllowed) {
  EXPECT_TRUE(repository->hasPermission(admin, "/Repository/a/b/c", "fullControl", "root"));
  repository->addPermission(admin, "/Repository/a", "read", "root");
  EXPECT_TRUE(repository->hasPermission(admin, "/Repository/a/b/c", "fullControl", "root"));
}

TEST_P(RepositoryAccess, UnknownPermissionIsRefused) {
  EXPECT_THROW(repository->addPermission(admin, "/Repository/a", "Read", "ann"), Refusal);
}

TEST_P(RepositoryAccess, OnlyTheAdministratorManagesUsers) {
  EXPECT_THROW(repository->createUser(user, "other", "pw"), Refusal);
  EXPECT_THROW(repository->remove(user, "/System/Users/ann"), Refusal);
  EXPECT_THROW(repository->createUser(admin, "ann", "again"), Refusal);
  EXPECT_THROW(repository->createUser(admin, "", "pw"), Refusal);
}

TEST_P(RepositoryAccess, DeletedUserLosesSessionsAndEntries) {
  repository->addPermission(admin, "/Repository/a", "read", "ann");
  EXPECT_TRUE(repository->remove(admin, "/System/Users/ann"));
  EXPECT_FALSE(repository->isLoggedIn("ann"));
  EXPECT_THROW(repository->find(user, "/Repository/a"), Refusal);
  Caller again = loggedIn("ann");  // a new user of the same name starts without rights
  EXPECT_THROW(repository->find(again, "/Repository/a"), Refusal);
}

TEST_P(RepositoryAccess, GroupsOfTheAdministratorAndOfOthers) {
  EXPECT_EQ(repository->groups(user, "root"), (std::vector<std::string>{"administrators", "users"}));
  EXPECT_EQ(repository->groups(user, "ann"), std::vector<std::string>{"users"});
  EXPECT_THROW(repository->groups(user, "nobody"), Refusal);
}

INSTANTIATE_TEST_SUITE_P(Engines, RepositoryAccess, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
