// The repository client layer against the real server: properties as stored
// and read back, folders, deletion, users and permissions, and the
// operations no library code calls yet.
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "RepositoryClientFixture.h"

namespace talixdb_test {
namespace {

using VLT_121::CRepositoryObject;

class RepositoryClient : public RepositoryFixture {
 protected:
  // A new folder below the test's folder, made through CRepositoryObject so
  // that `fill` can give it properties first.
  template <class Fill>
  Handle storeFolder(const std::string& name, Fill fill) {
    CRepositoryObject object(&m_admin->binding);
    object.setName(name);
    object.setParent(m_folder);
    object.setTypeName("Folder");
    fill(object);
    std::string path = object.create();
    object.release();
    EXPECT_EQ(m_folder + "/" + name, path);
    return find(m_folder + "/" + name);
  }

  // A user who may log in with `name` as password.
  std::unique_ptr<Connection> connectAsNewUser(const std::string& name) {
    char* answer = client().createUser(name.c_str(), name.c_str());
    EXPECT_NE(nullptr, answer) << name;
    std::free(answer);
    auto connection = std::make_unique<Connection>(*s_server);
    EXPECT_TRUE(connection->login(name, name)) << name;
    return connection;
  }
};

const ns2__SoapVariant* valueOf(const ns2__SoapVariantMap* map, const std::string& key) {
  if (map == nullptr) return nullptr;
  for (const ns2__SoapVariantMapItem* item : map->item)
    if (item != nullptr && item->key != nullptr && *item->key == key) return item->item;
  return nullptr;
}

size_t countOf(const std::vector<std::string>& requests, const std::string& request) {
  size_t n = 0;
  for (const std::string& r : requests) n += r == request ? 1 : 0;
  return n;
}

// ---- properties ------------------------------------------------------------

TEST_F(RepositoryClient, StoredValuesOfEachKindReadBack) {
  Handle pump = storeFolder("pump", [](CRepositoryObject& o) {
    o.setProperty("m_szName", "Pump 1");
    o.setIntProperty("m_iNrPorts", 42);
    o.setIntProperty("m_iOffset", -7);
    o.setListProperty("m_aszComponents", {"water", "ethanol", "carbon dioxide"});
  });
  ASSERT_TRUE(pump);
  EXPECT_EQ("pump", pump->getName());
  EXPECT_EQ(m_folder, pump->getParent());
  EXPECT_EQ(m_folder + "/pump", pump->getPath());
  EXPECT_EQ("Folder", pump->getTypeName());
  EXPECT_EQ("Pump 1", pump->getProperty("m_szName"));
  EXPECT_EQ(42, pump->getIntProperty("m_iNrPorts"));
  EXPECT_EQ("42", pump->getProperty("m_iNrPorts"));
  EXPECT_EQ(-7, pump->getIntProperty("m_iOffset"));
  EXPECT_EQ((std::vector<std::string>{"water", "ethanol", "carbon dioxide"}),
            pump->getListProperty("m_aszComponents"));
  EXPECT_EQ((std::vector<std::string>{"m_szName", "m_iNrPorts", "m_iOffset", "m_aszComponents"}),
            pump->getPropertyNames());
}

TEST_F(RepositoryClient, SingleValueAndListReadEachOther) {
  Handle object = storeFolder("mixed", [](CRepositoryObject& o) {
    o.setProperty("m_szOne", "only");
    o.setListProperty("m_aszMany", {"first", "second"});
  });
  ASSERT_TRUE(object);
  EXPECT_EQ(std::vector<std::string>{"only"}, object->getListProperty("m_szOne"));
  EXPECT_EQ("first", object->getProperty("m_aszMany"));
}

TEST_F(RepositoryClient, ValuesStoredEncodedAreDecodedOnReading) {
  Handle object = storeFolder("encoded", [](CRepositoryObject& o) {
    o.setProperty("m_szPath", "a+b%2Fc%3d%41");
    o.setProperty("m_szSum", "1+1");
    o.setListProperty("m_aszPaths", {"x%2Fy%20z", "k%3Dv"});
  });
  ASSERT_TRUE(object);
  EXPECT_EQ("a b/c=", object->getProperty("m_szPath"));
  EXPECT_EQ("1 1", object->getProperty("m_szSum"));
  EXPECT_EQ((std::vector<std::string>{"x/yz", "k=v"}), object->getListProperty("m_aszPaths"));
}

TEST_F(RepositoryClient, IntegerOfTextReadsItsLeadingNumberAndOtherwiseZero) {
  Handle object = storeFolder("numbers", [](CRepositoryObject& o) {
    o.setProperty("m_iMixed", "12abc");
    o.setProperty("m_iWord", "abc");
  });
  ASSERT_TRUE(object);
  EXPECT_EQ(12, object->getIntProperty("m_iMixed"));
  EXPECT_EQ(0, object->getIntProperty("m_iWord"));
  EXPECT_EQ(0, object->getIntProperty("m_iAbsent"));
}

TEST_F(RepositoryClient, AbsentPropertyAndValueWithoutItemsReadEmpty) {
  Handle object = storeFolder("empty", [](CRepositoryObject& o) { o.setListProperty("m_aszNone", {}); });
  ASSERT_TRUE(object);
  EXPECT_EQ("", object->getProperty("m_szAbsent"));
  EXPECT_TRUE(object->getListProperty("m_aszAbsent").empty());
  EXPECT_EQ("", object->getProperty("m_aszNone"));
  EXPECT_TRUE(object->getListProperty("m_aszNone").empty());
  EXPECT_EQ(0, object->getIntProperty("m_aszNone"));
}

TEST_F(RepositoryClient, SettingAPropertyTwiceKeepsOneItemWithTheSecondValue) {
  CRepositoryObject object(&m_admin->binding);
  object.setProperty("m_szName", "first");
  object.setProperty("m_szName", "second");
  ASSERT_EQ(1u, object.object()->properties->item.size());
  const ns2__SoapVariant* value = valueOf(object.object()->properties, "m_szName");
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(std::vector<std::string>{"second"}, value->item);
  EXPECT_FALSE(value->itemList);
  EXPECT_EQ(5, value->itemType);

  Handle stored = storeFolder("twice", [](CRepositoryObject& o) {
    o.setProperty("m_szName", "first");
    o.setProperty("m_szName", "second");
  });
  ASSERT_TRUE(stored);
  EXPECT_EQ(std::vector<std::string>{"m_szName"}, stored->getPropertyNames());
  EXPECT_EQ("second", stored->getProperty("m_szName"));
}

TEST_F(RepositoryClient, ReplacingAValueSwitchesBetweenSingleAndList) {
  CRepositoryObject object(&m_admin->binding);
  object.setListProperty("m_aszItems", {"a", "b"});
  const ns2__SoapVariant* value = valueOf(object.object()->properties, "m_aszItems");
  ASSERT_NE(nullptr, value);
  EXPECT_TRUE(value->itemList);
  EXPECT_EQ(5, value->itemType);

  object.setListProperty("m_aszItems", {"c"});
  EXPECT_TRUE(value->itemList);
  EXPECT_EQ(0, value->itemType);
  EXPECT_EQ(std::vector<std::string>{"c"}, value->item);

  object.setProperty("m_aszItems", "single");
  EXPECT_FALSE(value->itemList);
  EXPECT_EQ(5, value->itemType);
  EXPECT_EQ(std::vector<std::string>{"single"}, value->item);
  EXPECT_EQ(1u, object.object()->properties->item.size());
}

TEST_F(RepositoryClient, DeclarationsTravelInDynPropertiesAsUserSpecifiedProperties) {
  Handle object = storeFolder("declared", [](CRepositoryObject& o) {
    o.setUserSpecifiedProperties("m_szName");
    o.setUserSpecifiedProperties("m_szName");
    o.setProperty("m_szName", "Valve");
    o.setUserSpecifiedProperties("m_iNrPorts");
    o.setIntProperty("m_iNrPorts", 2);
  });
  ASSERT_TRUE(object);
  const ns2__SoapVariantMap* declarations = object->object()->dynProperties;
  ASSERT_NE(nullptr, declarations);
  ASSERT_EQ(2u, declarations->item.size());
  for (const char* name : {"m_szName", "m_iNrPorts"}) {
    const ns2__SoapVariant* value = valueOf(declarations, name);
    ASSERT_NE(nullptr, value) << name;
    EXPECT_EQ(std::vector<std::string>{"User Specified Properties"}, value->item) << name;
  }
  EXPECT_EQ("Valve", object->getProperty("m_szName"));
  EXPECT_EQ((std::vector<std::string>{"m_szName", "m_iNrPorts"}), object->getPropertyNames());
}

TEST_F(RepositoryClient, Utf8NamesAndValuesRoundTripByteForByte) {
  const std::string cafe = "caf\xC3\xA9";
  const std::string duese = "D\xC3\xBCse 1";
  EXPECT_EQ(m_folder + "/" + cafe, client().createFolder(m_folder, cafe));
  Handle object = storeFolder(duese, [&](CRepositoryObject& o) {
    o.setProperty("m_szName", duese);
    o.setListProperty("m_aszComponents", {cafe, "\xC3\x96l"});
  });
  ASSERT_TRUE(object);
  EXPECT_EQ(duese, object->getName());
  EXPECT_EQ(duese, object->getProperty("m_szName"));
  EXPECT_EQ((std::vector<std::string>{cafe, "\xC3\x96l"}), object->getListProperty("m_aszComponents"));
  Handle folder = find(m_folder);
  ASSERT_TRUE(folder);
  EXPECT_EQ((std::vector<std::string>{cafe, duese}), folder->getChildNames());
  Handle byName = find(m_folder + "/" + cafe);
  ASSERT_TRUE(byName);
  EXPECT_EQ(cafe, byName->getName());
}

// ---- folders and deletion --------------------------------------------------

TEST_F(RepositoryClient, FolderIsCreatedWithTypeFolderAndListedInCreationOrder) {
  EXPECT_EQ(m_folder + "/one", client().createFolder(m_folder, "one"));
  EXPECT_EQ(m_folder + "/two", client().createFolder(m_folder, "two"));
  Handle one = find(m_folder + "/one");
  ASSERT_TRUE(one);
  EXPECT_EQ("Folder", one->getTypeName());
  Handle folder = find(m_folder);
  ASSERT_TRUE(folder);
  EXPECT_EQ((std::vector<std::string>{"one", "two"}), folder->getChildNames());
}

TEST_F(RepositoryClient, CreateFolderUnderAMissingParentReturnsEmptyAndCreatesNothing) {
  std::string mark = logMark();
  EXPECT_EQ("", client().createFolder(m_folder + "/missing", "child"));
  EXPECT_EQ(std::vector<std::string>{"findByPath fault " + m_folder + "/missing"}, requestsSince(mark));
  EXPECT_FALSE(exists(m_folder + "/missing"));
  EXPECT_FALSE(exists(m_folder + "/missing/child"));
}

TEST_F(RepositoryClient, FailedCreationReturnsEmptyAndWritesTheFaultReportToStandardError) {
  ASSERT_EQ(m_folder + "/dup", client().createFolder(m_folder, "dup"));
  ::testing::internal::CaptureStderr();
  std::string second = client().createFolder(m_folder, "dup");
  std::string report = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ("", second);
  EXPECT_NE(std::string::npos, report.find(m_folder + "/dup")) << report;
}

TEST_F(RepositoryClient, FindByPathOfAMissingObjectIsNull) {
  EXPECT_FALSE(exists(m_folder + "/nothing"));
  EXPECT_FALSE(exists(""));
}

TEST_F(RepositoryClient, DeletingAFolderRemovesEverythingBelowIt) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/top/mid/low/f.txt", "f", 0).empty());
  ASSERT_FALSE(client().uploadFile(m_folder + "/top/g.txt", "g", 0).empty());
  ASSERT_NE("", client().createFolder(m_folder + "/top", "side"));
  EXPECT_TRUE(client().deleteObject((m_folder + "/top").c_str()));
  for (const char* below : {"/top", "/top/mid", "/top/mid/low", "/top/mid/low/f.txt", "/top/g.txt", "/top/side"})
    EXPECT_FALSE(exists(m_folder + below)) << below;
  EXPECT_TRUE(exists(m_folder));
}

TEST_F(RepositoryClient, DeletingAMissingObjectIsFalse) {
  EXPECT_FALSE(client().deleteObject((m_folder + "/missing").c_str()));
  EXPECT_FALSE(client().deleteObject(nullptr));
}

TEST_F(RepositoryClient, CallsWithoutALoginFailQuietly) {
  Connection anonymous(*s_server);
  EXPECT_EQ(nullptr, anonymous.client.findByPath(m_folder));
  EXPECT_EQ("", anonymous.client.createFolder(m_folder, "x"));
  EXPECT_EQ("", anonymous.client.uploadFile(m_folder + "/x.txt", "x", 0));
  EXPECT_FALSE(anonymous.client.deleteObject(m_folder.c_str()));
  EXPECT_TRUE(exists(m_folder));
  EXPECT_FALSE(exists(m_folder + "/x"));
}

// ---- users and permissions -------------------------------------------------

TEST_F(RepositoryClient, CreateUserAnswersForANewNameAndNullForADuplicate) {
  char* first = client().createUser("carol", "pw1");
  ASSERT_NE(nullptr, first);
  EXPECT_STRNE("", first);
  std::free(first);
  EXPECT_EQ(nullptr, client().createUser("carol", "pw2"));
  Connection carol(*s_server);
  EXPECT_TRUE(carol.login("carol", "pw1"));
}

TEST_F(RepositoryClient, OnlyTheAdministratorCreatesUsers) {
  std::unique_ptr<Connection> erin = connectAsNewUser("erin");
  EXPECT_EQ(nullptr, erin->client.createUser("mallory", "pw"));
  Connection mallory(*s_server);
  EXPECT_FALSE(mallory.login("mallory", "pw"));
}

TEST_F(RepositoryClient, UserWithoutRightsIsRefusedAndAllowedAfterAGrant) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/shared.txt", "shared", 0).empty());
  std::unique_ptr<Connection> bob = connectAsNewUser("bob");
  VLT_121::CRepositoryClient& asBob = bob->client;

  EXPECT_EQ(nullptr, asBob.findByPath(m_folder));
  EXPECT_EQ("", asBob.createFolder(m_folder, "mine"));
  EXPECT_EQ("", asBob.uploadFile(m_folder + "/bob.txt", "b", 0));
  EXPECT_FALSE(asBob.deleteObject((m_folder + "/shared.txt").c_str()));
  char* data = nullptr;
  int size = 0;
  EXPECT_EQ("", asBob.downloadFileToMemory(m_folder + "/shared.txt", &data, &size));
  EXPECT_FALSE(session().hasPermission(m_folder.c_str(), "write", "bob"));

  ASSERT_TRUE(session().addPermission(m_folder.c_str(), "write", "bob"));
  EXPECT_TRUE(session().hasPermission(m_folder.c_str(), "write", "bob"));
  std::unique_ptr<CRepositoryObject, HandleDeleter> seen(asBob.findByPath(m_folder));
  EXPECT_NE(nullptr, seen);
  EXPECT_EQ(m_folder + "/mine", asBob.createFolder(m_folder, "mine"));
  EXPECT_NE("", asBob.downloadFileToMemory(m_folder + "/shared.txt", &data, &size));
  delete[] data;
  EXPECT_TRUE(asBob.deleteObject((m_folder + "/shared.txt").c_str()));
  // An upload looks up every folder from the top, so it also needs "/Repository" readable.
  EXPECT_EQ("", asBob.uploadFile(m_folder + "/bob.txt", "b", 0));
  ASSERT_TRUE(session().addPermission("/Repository", "read", "bob"));
  EXPECT_NE("", asBob.uploadFile(m_folder + "/bob.txt", "b", 0));
  // The grant covers that folder only.
  EXPECT_EQ("", asBob.createFolder("/Repository", "bob-elsewhere"));
}

TEST_F(RepositoryClient, RecursivePermissionGivesEveryObjectBelowItsOwnEntry) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/x/y/deep.txt", "d", 0).empty());
  ASSERT_FALSE(client().uploadFile(m_folder + "/x/f.txt", "f", 0).empty());
  ASSERT_NE("", client().createFolder(m_folder, "z"));
  const std::vector<std::string> tree = {m_folder,          m_folder + "/x",          m_folder + "/x/y",
                                         m_folder + "/x/y/deep.txt", m_folder + "/x/f.txt", m_folder + "/z"};
  char* answer = client().createUser("dora", "dora");
  std::free(answer);
  for (const std::string& path : tree) EXPECT_FALSE(session().hasPermission(path.c_str(), "read", "dora")) << path;

  std::string mark = logMark();
  EXPECT_TRUE(session().addPermissionRecursive(&client(), m_folder.c_str(), "read", "dora"));
  std::vector<std::string> requests = requestsSince(mark);
  EXPECT_EQ(tree.size(), countOf(requests, "addPermission ok"));
  EXPECT_EQ(requests.size(), 2 * tree.size());

  for (const std::string& path : tree) {
    EXPECT_TRUE(session().hasPermission(path.c_str(), "read", "dora")) << path;
    // Only an entry of the object's own can be removed from it.
    EXPECT_TRUE(session().removePermission(path.c_str(), "read", "dora")) << path;
  }
}

TEST_F(RepositoryClient, RecursivePermissionOnAMissingPathIsFalse) {
  char* answer = client().createUser("frank", "frank");
  std::free(answer);
  EXPECT_FALSE(session().addPermissionRecursive(&client(), (m_folder + "/missing").c_str(), "read", "frank"));
}

TEST_F(RepositoryClient, UnknownPermissionIsRefused) {
  char* answer = client().createUser("gina", "gina");
  std::free(answer);
  EXPECT_FALSE(session().addPermission(m_folder.c_str(), "everything", "gina"));
  EXPECT_FALSE(session().hasPermission(m_folder.c_str(), "read", "gina"));
}

TEST_F(RepositoryClient, GroupsNameTheAdministratorAndOrdinaryUsers) {
  char** groups = session().getGroups("root");
  ASSERT_NE(nullptr, groups);
  std::set<std::string> names;
  for (char** g = groups; *g != nullptr; ++g) {
    names.insert(*g);
    delete[] *g;
  }
  delete[] groups;
  EXPECT_EQ(1u, names.count("administrators"));

  char* answer = client().createUser("hank", "hank");
  std::free(answer);
  EXPECT_TRUE(session().isInGroup("administrators", "root"));
  EXPECT_FALSE(session().isInGroup("administrators", "hank"));
  EXPECT_TRUE(session().isInGroup("users", "hank"));
  EXPECT_EQ(nullptr, session().getGroups("nobody-of-that-name"));
  EXPECT_FALSE(session().isInGroup("users", "nobody-of-that-name"));
}

// ---- query, move and versioning --------------------------------------------

TEST_F(RepositoryClient, QueryFindsTheObjectsWhoseNameContainsTheText) {
  ASSERT_NE("", client().createFolder(m_folder, "qzx-alpha"));
  ASSERT_FALSE(client().uploadFile(m_folder + "/sub/beta-qzx.txt", "b", 0).empty());
  ASSERT_NE("", client().createFolder(m_folder, "other"));
  int count = -1;
  CRepositoryObject** found = client().query("qzx", &count);
  ASSERT_NE(nullptr, found);
  std::set<std::string> paths;
  for (int i = 0; i < count; ++i) {
    paths.insert(found[i]->getPath());
    found[i]->release();
    delete found[i];
  }
  delete[] found;
  EXPECT_EQ(2, count);
  EXPECT_EQ((std::set<std::string>{m_folder + "/qzx-alpha", m_folder + "/sub/beta-qzx.txt"}), paths);
}

TEST_F(RepositoryClient, QueryWithoutMatchesIsAnEmptyArray) {
  int count = -1;
  CRepositoryObject** found = client().query("no-object-is-named-like-this", &count);
  ASSERT_NE(nullptr, found);
  EXPECT_EQ(0, count);
  delete[] found;
}

TEST_F(RepositoryClient, MoveRenamesTheObjectWithItsContents) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/src/inner.txt", "i", 0).empty());
  ASSERT_NE("", client().createFolder(m_folder, "taken"));
  char* moved = client().move((m_folder + "/src").c_str(), (m_folder + "/dst").c_str());
  ASSERT_NE(nullptr, moved);
  EXPECT_EQ(m_folder + "/dst", std::string(moved));
  std::free(moved);
  EXPECT_FALSE(exists(m_folder + "/src"));
  EXPECT_TRUE(exists(m_folder + "/dst/inner.txt"));

  EXPECT_EQ(nullptr, client().move((m_folder + "/dst").c_str(), (m_folder + "/taken").c_str()));
  EXPECT_EQ(nullptr, client().move((m_folder + "/missing").c_str(), (m_folder + "/elsewhere").c_str()));
  EXPECT_TRUE(exists(m_folder + "/dst"));
}

TEST_F(RepositoryClient, CheckoutAndCheckinSetAndClearTheFlagBelowTheFolder) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/v/f.txt", "f", 0).empty());
  const std::string folder = m_folder + "/v";
  const std::string file = folder + "/f.txt";
  EXPECT_FALSE(client().isCheckedOut(file.c_str()));

  EXPECT_TRUE(client().checkout(folder.c_str(), true));
  EXPECT_TRUE(client().isCheckedOut(folder.c_str()));
  EXPECT_TRUE(client().isCheckedOut(file.c_str()));
  EXPECT_TRUE(client().isCheckinEnabled(file.c_str()));

  EXPECT_TRUE(client().checkin(folder.c_str(), "reviewed", true));
  EXPECT_FALSE(client().isCheckedOut(folder.c_str()));
  EXPECT_FALSE(client().isCheckedOut(file.c_str()));

  EXPECT_TRUE(client().checkout(folder.c_str(), false));
  EXPECT_TRUE(client().isCheckedOut(folder.c_str()));
  EXPECT_FALSE(client().isCheckedOut(file.c_str()));
}

TEST_F(RepositoryClient, VersioningOperationsOnAMissingPathAreFalse) {
  const std::string missing = m_folder + "/missing";
  EXPECT_FALSE(client().checkout(missing.c_str(), true));
  EXPECT_FALSE(client().checkin(missing.c_str(), "c", true));
  EXPECT_FALSE(client().isCheckedOut(missing.c_str()));
  EXPECT_FALSE(client().isCheckinEnabled(missing.c_str()));
  EXPECT_FALSE(client().setCheckinPolicy(missing.c_str(), "any", false));
}

TEST_F(RepositoryClient, VersioningIsSupportedAndAPolicyCanBeSet) {
  EXPECT_TRUE(client().isVersioningSupported("/Repository"));
  EXPECT_TRUE(client().setCheckinPolicy(m_folder.c_str(), "comment-required", true));
  Connection anonymous(*s_server);
  EXPECT_FALSE(anonymous.client.isVersioningSupported("/Repository"));
}

}  // namespace
}  // namespace talixdb_test
