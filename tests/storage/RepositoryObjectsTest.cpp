// Rules of the object tree, checked in process against a real store.
#include "RepositoryFixture.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

NewObject folder(const std::string& parent, const std::string& name) {
  NewObject object;
  object.parentPath = parent;
  object.name = name;
  object.typeName = "Folder";
  return object;
}

using RepositoryObjects = RepositoryFixture;

TEST_P(RepositoryObjects, FirstStartMakesTheFixedFoldersAndTheAdministrator) {
  EXPECT_EQ(repository->find(admin, "/").childNames, (std::vector<std::string>{"Repository", "System"}));
  EXPECT_EQ(repository->find(admin, "/System/Users").childNames, std::vector<std::string>{"root"});
  repository->bootstrap("other");  // a second start changes nothing
  EXPECT_EQ(repository->find(admin, "/System/Users").childNames, std::vector<std::string>{"root"});
}

TEST_P(RepositoryObjects, DuplicateEmptyAndSlashedNamesAreRefused) {
  repository->create(admin, folder("/Repository", "a"));
  EXPECT_THROW(repository->create(admin, folder("/Repository", "a")), Refusal);
  EXPECT_THROW(repository->create(admin, folder("/Repository", "")), Refusal);
  EXPECT_THROW(repository->create(admin, folder("/Repository", "x/y")), Refusal);
  EXPECT_EQ(repository->find(admin, "/Repository").childNames, std::vector<std::string>{"a"});
}

TEST_P(RepositoryObjects, NothingIsMadeBelowAFileOrTheUserList) {
  auto bytes = staged("x");
  repository->store(admin, "/Repository", {{"f", "File", 1, {}, bytes.get()}});
  EXPECT_THROW(repository->create(admin, folder("/Repository/f", "child")), Refusal);
  EXPECT_THROW(repository->create(admin, folder("/System/Users", "eve")), Refusal);
  EXPECT_THROW(repository->create(admin, folder("/Repository/missing", "child")), Refusal);
}

TEST_P(RepositoryObjects, PathsAreLenientInAndCanonicalOut) {
  EXPECT_EQ(repository->create(admin, folder("//Repository/", "a")), "/Repository/a");
  EXPECT_EQ(repository->find(admin, "Repository//a/").path, "/Repository/a");
  EXPECT_EQ(repository->create(admin, folder("", "top")), "/top");
}

TEST_P(RepositoryObjects, RemoveTakesTheWholeSubtreeWithContents) {
  repository->create(admin, folder("/Repository", "a"));
  repository->create(admin, folder("/Repository/a", "b"));
  auto bytes = staged("payload");
  repository->store(admin, "/Repository/a/b", {{"f", "File", 7, {}, bytes.get()}});
  EXPECT_TRUE(repository->remove(admin, "/Repository/a"));
  EXPECT_THROW(repository->find(admin, "/Repository/a/b/f"), Refusal);
  EXPECT_TRUE(repository->find(admin, "/Repository").childNames.empty());
  EXPECT_FALSE(repository->remove(admin, "/Repository/a"));
  // A new object of the same name starts empty.
  repository->create(admin, folder("/Repository", "a"));
  EXPECT_TRUE(repository->find(admin, "/Repository/a").childNames.empty());
}

TEST_P(RepositoryObjects, FixedObjectsAndTheAdministratorAreNotRemoved) {
  for (const char* path : {"/", "/Repository", "/System", "/System/Users", "/System/Users/root"})
    EXPECT_FALSE(repository->remove(admin, path)) << path;
}

TEST_P(RepositoryObjects, PropertiesAreStoredExactlyIncludingMissingKeysAndValues) {
  NewObject object = folder("/Repository", "p");
  object.values = {{std::string("b"), Variant{5, false, {"2"}}},
                   {std::nullopt, Variant{0, true, {"x", "", "y"}}},
                   {std::string("a"), std::nullopt}};
  object.declarations = {{std::string("b"), Variant{5, false, {"User Specified Properties"}}}};
  repository->create(admin, object);
  ObjectView view = repository->find(admin, "/Repository/p");
  ASSERT_EQ(view.values.size(), 3u);
  EXPECT_EQ(view.values[0].key, std::optional<std::string>("b"));
  EXPECT_FALSE(view.values[1].key.has_value());
  EXPECT_EQ(view.values[1].value->items, (std::vector<std::string>{"x", "", "y"}));
  EXPECT_TRUE(view.values[1].value->itemList);
  EXPECT_EQ(view.values[1].value->itemType, 0);
  EXPECT_FALSE(view.values[2].value.has_value());
  ASSERT_EQ(view.declarations.size(), 1u);
}

TEST_P(RepositoryObjects, UpdateReplacesOnlyTheMapsGiven) {
  NewObject object = folder("/Repository", "u");
  object.values = {{std::string("old"), Variant{5, false, {"1"}}}};
  object.declarations = {{std::string("old"), Variant{5, false, {"User Specified Properties"}}}};
  repository->create(admin, object);
  PropertyList replacement = {{std::string("new"), Variant{5, false, {"2"}}}};
  ObjectView view = repository->update(admin, "/Repository/u", replacement, std::nullopt);
  ASSERT_EQ(view.values.size(), 1u);
  EXPECT_EQ(*view.values[0].key, "new");
  EXPECT_EQ(*view.declarations.at(0).key, "old");
}

TEST_P(RepositoryObjects, MoveKeepsTheSubtreeAndRefusesCyclesAndTakenNames) {
  repository->create(admin, folder("/Repository", "a"));
  repository->create(admin, folder("/Repository/a", "inner"));
  repository->create(admin, folder("/Repository", "b"));
  EXPECT_THROW(repository->move(admin, "/Repository/a", "/Repository/a/inner/a"), Refusal);
  EXPECT_THROW(repository->move(admin, "/Repository/a", "/Repository/b"), Refusal);
  EXPECT_THROW(repository->move(admin, "/Repository", "/Elsewhere"), Refusal);
  EXPECT_EQ(repository->move(admin, "/Repository/a", "/Repository/b/moved"), "/Repository/b/moved");
  EXPECT_EQ(repository->find(admin, "/Repository/b/moved").childNames, std::vector<std::string>{"inner"});
  EXPECT_EQ(repository->find(admin, "/Repository").childNames, std::vector<std::string>{"b"});
}

TEST_P(RepositoryObjects, QueryFindsReadableNamesContainingTheText) {
  repository->create(admin, folder("/Repository", "pump-1"));
  repository->create(admin, folder("/Repository", "valve"));
  repository->create(admin, folder("/Repository/valve", "pump-2"));
  std::vector<ObjectView> found = repository->query(admin, "pump");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path, "/Repository/pump-1");
  EXPECT_EQ(found[1].path, "/Repository/valve/pump-2");
  Caller user = loggedIn("reader");
  EXPECT_TRUE(repository->query(user, "pump").empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, RepositoryObjects, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
