// The repository client layer against the real server: properties as stored
// and read back, folders, deletion, users and permissions, and the
// operations no library code calls yet.
#include <cstdlib>
#include <set>

#include "client/ClientTestSupport.h"

namespace talixdb_test {
namespace {

using VLT_121::CRepositoryObject;

class RepositoryClient : public ClientTest {
 protected:
  // A new folder below the test's folder, given its properties by `fill`.
  template <class Fill>
  Object storeFolder(const std::string& name, Fill fill) {
    CRepositoryObject object(&m_admin->binding);
    object.setName(name);
    object.setParent(m_folder);
    object.setTypeName("Folder");
    fill(object);
    EXPECT_EQ(m_folder + "/" + name, object.create());
    object.release();
    return find(m_folder + "/" + name);
  }
  // A user who may log in with `name` as password.
  std::unique_ptr<Connection> newUser(const std::string& name) {
    std::free(client().createUser(name.c_str(), name.c_str()));
    auto connection = std::make_unique<Connection>(server());
    EXPECT_TRUE(connection->login(name, name)) << name;
    return connection;
  }
};

TEST_F(RepositoryClient, StoredValuesReadBackAsTextsNumbersAndLists) {
  Object pump = storeFolder("pump", [](CRepositoryObject& o) {
    o.setProperty("m_szName", "Pump 1");
    o.setIntProperty("m_iNrPorts", 42);
    o.setIntProperty("m_iOffset", -7);
    o.setListProperty("m_aszComponents", {"water", "ethanol", "carbon dioxide"});
    o.setListProperty("m_aszNone", {});
    o.setProperty("m_iMixed", "12abc");
    o.setProperty("m_szPath", "a+b%2Fc%3d%41");  // stored encoded by another client
    o.setListProperty("m_aszPaths", {"x%2Fy%20z", "k%3Dv"});
  });
  ASSERT_TRUE(pump);
  EXPECT_EQ(Names({pump->getName(), pump->getParent(), pump->getPath(), pump->getTypeName()}),
            Names({"pump", m_folder, m_folder + "/pump", "Folder"}));
  EXPECT_EQ("Pump 1", pump->getProperty("m_szName"));
  EXPECT_EQ(42, pump->getIntProperty("m_iNrPorts"));
  EXPECT_EQ("42", pump->getProperty("m_iNrPorts"));
  EXPECT_EQ(-7, pump->getIntProperty("m_iOffset"));
  EXPECT_EQ((Names{"water", "ethanol", "carbon dioxide"}), pump->getListProperty("m_aszComponents"));
  EXPECT_EQ(Names{"Pump 1"}, pump->getListProperty("m_szName"));  // a single value reads as a list
  EXPECT_EQ("water", pump->getProperty("m_aszComponents"));       // and a list as its first item
  EXPECT_EQ(12, pump->getIntProperty("m_iMixed"));
  EXPECT_EQ(0, pump->getIntProperty("m_szName"));
  EXPECT_EQ(0, pump->getIntProperty("m_iAbsent"));
  EXPECT_EQ("", pump->getProperty("m_szAbsent"));
  EXPECT_EQ(Names{}, pump->getListProperty("m_aszAbsent"));
  EXPECT_EQ("", pump->getProperty("m_aszNone"));
  EXPECT_EQ(Names{}, pump->getListProperty("m_aszNone"));
  EXPECT_EQ(0, pump->getIntProperty("m_aszNone"));
  EXPECT_EQ("a b/c=", pump->getProperty("m_szPath"));
  EXPECT_EQ((Names{"x/yz", "k=v"}), pump->getListProperty("m_aszPaths"));
  EXPECT_EQ((Names{"m_szName", "m_iNrPorts", "m_iOffset", "m_aszComponents", "m_aszNone", "m_iMixed", "m_szPath",
                   "m_aszPaths"}),
            pump->getPropertyNames());
}

TEST_F(RepositoryClient, ReplacedValuesAndDeclarationsKeepOneItemEach) {
  CRepositoryObject object(&m_admin->binding);
  object.setListProperty("m_aszItems", {"a", "b"});
  const ns2__SoapVariant* variant = object.object()->properties->item.at(0)->item;
  EXPECT_EQ(std::make_pair(true, 5), std::make_pair(variant->itemList, variant->itemType));
  object.setListProperty("m_aszItems", {"c"});
  EXPECT_EQ(std::make_pair(true, 0), std::make_pair(variant->itemList, variant->itemType));
  EXPECT_EQ(Names{"c"}, variant->item);
  object.setProperty("m_aszItems", "single");
  EXPECT_EQ(std::make_pair(false, 5), std::make_pair(variant->itemList, variant->itemType));
  EXPECT_EQ(Names{"single"}, variant->item);
  EXPECT_EQ(1u, object.object()->properties->item.size());

  storeFolder("declared", [](CRepositoryObject& o) {
    o.setUserSpecifiedProperties("m_szName");
    o.setUserSpecifiedProperties("m_szName");
    o.setProperty("m_szName", "first");
    o.setProperty("m_szName", "Valve");
    o.setUserSpecifiedProperties("m_iNrPorts");
    o.setIntProperty("m_iNrPorts", 2);
  });
  const std::string path = m_folder + "/declared";
  EXPECT_EQ((Names{"m_szName", "m_iNrPorts"}), propertyNames(path, true));
  EXPECT_EQ(Names{"User Specified Properties"}, value(path, "m_szName", true));
  EXPECT_EQ(Names{"User Specified Properties"}, value(path, "m_iNrPorts", true));
  EXPECT_EQ((Names{"m_szName", "m_iNrPorts"}), propertyNames(path));
  EXPECT_EQ(Names{"Valve"}, value(path, "m_szName"));
}

TEST_F(RepositoryClient, Utf8NamesAndValuesRoundTripByteForByte) {
  const std::string cafe = "caf\xC3\xA9", duese = "D\xC3\xBCse 1";
  EXPECT_EQ(m_folder + "/" + cafe, client().createFolder(m_folder, cafe));
  Object object = storeFolder(duese, [&](CRepositoryObject& o) {
    o.setProperty("m_szName", duese);
    o.setListProperty("m_aszComponents", {cafe, "\xC3\x96l"});
  });
  ASSERT_TRUE(object);
  EXPECT_EQ(duese, object->getName());
  EXPECT_EQ(duese, object->getProperty("m_szName"));
  EXPECT_EQ((Names{cafe, "\xC3\x96l"}), object->getListProperty("m_aszComponents"));
  EXPECT_EQ((Names{cafe, duese}), children(m_folder));
  EXPECT_EQ(cafe, find(m_folder + "/" + cafe)->getName());
}

TEST_F(RepositoryClient, FoldersAreMadeInOrderAndDeletedWithEverythingBelow) {
  EXPECT_EQ(m_folder + "/one", client().createFolder(m_folder, "one"));
  EXPECT_EQ(m_folder + "/two", client().createFolder(m_folder, "two"));
  EXPECT_EQ("Folder", typeName(m_folder + "/one"));
  EXPECT_EQ((Names{"one", "two"}), children(m_folder));
  size_t mark = logSize();
  EXPECT_EQ("", client().createFolder(m_folder + "/missing", "child"));
  EXPECT_EQ(Names{"findByPath fault " + m_folder + "/missing"}, clientRequestsSince(mark));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ("", client().createFolder(m_folder, "one"));  // the fault report goes to standard error
  EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStderr().find(m_folder + "/one"));
  EXPECT_FALSE(exists(m_folder + "/nothing"));
  EXPECT_FALSE(exists(""));

  ASSERT_FALSE(client().uploadFile(m_folder + "/top/mid/low/f.txt", "f", 0).empty());
  ASSERT_FALSE(client().uploadFile(m_folder + "/top/g.txt", "g", 0).empty());
  EXPECT_TRUE(client().deleteObject((m_folder + "/top").c_str()));
  for (const char* below : {"/top", "/top/mid", "/top/mid/low", "/top/mid/low/f.txt", "/top/g.txt"})
    EXPECT_FALSE(exists(m_folder + below)) << below;
  EXPECT_FALSE(client().deleteObject((m_folder + "/top").c_str()));
  EXPECT_FALSE(client().deleteObject(nullptr));

  Connection anonymous(server());  // calls without a login fail quietly
  EXPECT_EQ(nullptr, anonymous.client.findByPath(m_folder));
  EXPECT_EQ("", anonymous.client.createFolder(m_folder, "x"));
  EXPECT_EQ("", anonymous.client.uploadFile(m_folder + "/x.txt", "x", 0));
  EXPECT_FALSE(anonymous.client.deleteObject((m_folder + "/one").c_str()));
  EXPECT_FALSE(anonymous.client.isVersioningSupported("/Repository"));
  EXPECT_TRUE(exists(m_folder + "/one"));
  EXPECT_FALSE(exists(m_folder + "/x"));
}

TEST_F(RepositoryClient, UsersGroupsAndPermissions) {
  char* carol = client().createUser("carol", "pw1");
  ASSERT_NE(nullptr, carol);
  EXPECT_STRNE("", carol);
  std::free(carol);
  EXPECT_EQ(nullptr, client().createUser("carol", "pw2"));  // a duplicate
  std::unique_ptr<Connection> erin = newUser("erin");
  EXPECT_EQ(nullptr, erin->client.createUser("mallory", "pw"));  // only the administrator makes users
  EXPECT_FALSE(Connection(server()).login("mallory", "pw"));
  EXPECT_TRUE(session().isInGroup("administrators", "root"));
  EXPECT_FALSE(session().isInGroup("administrators", "erin"));
  EXPECT_TRUE(session().isInGroup("users", "erin"));
  EXPECT_FALSE(session().isInGroup("users", "nobody-of-that-name"));
  EXPECT_EQ(nullptr, session().getGroups("nobody-of-that-name"));
  char** groups = session().getGroups("root");
  ASSERT_NE(nullptr, groups);
  std::set<std::string> names;
  for (char** g = groups; *g != nullptr; ++g) {
    names.insert(*g);
    delete[] * g;
  }
  delete[] groups;
  EXPECT_EQ(1u, names.count("administrators"));

  ASSERT_FALSE(client().uploadFile(m_folder + "/shared.txt", "shared", 0).empty());
  VLT_121::CRepositoryClient& asErin = erin->client;
  char* data = nullptr;
  int size = 0;
  EXPECT_EQ(nullptr, asErin.findByPath(m_folder));
  EXPECT_EQ("", asErin.createFolder(m_folder, "mine"));
  EXPECT_FALSE(asErin.deleteObject((m_folder + "/shared.txt").c_str()));
  EXPECT_EQ("", asErin.downloadFileToMemory(m_folder + "/shared.txt", &data, &size));
  EXPECT_FALSE(session().hasPermission(m_folder.c_str(), "write", "erin"));
  EXPECT_FALSE(session().addPermission(m_folder.c_str(), "everything", "erin"));
  ASSERT_TRUE(session().addPermission(m_folder.c_str(), "write", "erin"));
  EXPECT_TRUE(session().hasPermission(m_folder.c_str(), "write", "erin"));
  EXPECT_TRUE(Object(asErin.findByPath(m_folder)) != nullptr);
  EXPECT_EQ(m_folder + "/mine", asErin.createFolder(m_folder, "mine"));
  EXPECT_NE("", asErin.downloadFileToMemory(m_folder + "/shared.txt", &data, &size));
  delete[] data;
  EXPECT_TRUE(asErin.deleteObject((m_folder + "/shared.txt").c_str()));
  // An upload looks up every folder from the top: "/Repository" must be readable too.
  EXPECT_EQ("", asErin.uploadFile(m_folder + "/erin.txt", "e", 0));
  ASSERT_TRUE(session().addPermission("/Repository", "read", "erin"));
  EXPECT_NE("", asErin.uploadFile(m_folder + "/erin.txt", "e", 0));
  EXPECT_EQ("", asErin.createFolder("/Repository", "erin-elsewhere"));  // the grant covers its folder only

  // A recursive grant gives every object below an entry of its own.
  ASSERT_FALSE(client().uploadFile(m_folder + "/x/y/deep.txt", "d", 0).empty());
  const Names tree = {m_folder,        m_folder + "/erin.txt", m_folder + "/mine",
                      m_folder + "/x", m_folder + "/x/y",      m_folder + "/x/y/deep.txt"};
  std::free(client().createUser("dora", "dora"));
  const size_t mark = logSize();
  EXPECT_TRUE(session().addPermissionRecursive(&client(), m_folder.c_str(), "read", "dora"));
  const Names requests = clientRequestsSince(mark);
  EXPECT_EQ(requests.size(), 2 * tree.size());
  EXPECT_EQ(static_cast<size_t>(std::count(requests.begin(), requests.end(), "addPermission ok")), tree.size());
  for (const std::string& path : tree) EXPECT_TRUE(session().removePermission(path.c_str(), "read", "dora")) << path;
  EXPECT_FALSE(session().hasPermission(m_folder.c_str(), "read", "dora"));
  EXPECT_FALSE(session().addPermissionRecursive(&client(), (m_folder + "/missing").c_str(), "read", "dora"));
}

TEST_F(RepositoryClient, QueryMoveAndVersioning) {
  ASSERT_NE("", client().createFolder(m_folder, "qzx-alpha"));
  ASSERT_FALSE(client().uploadFile(m_folder + "/sub/beta-qzx.txt", "b", 0).empty());
  int count = -1;
  CRepositoryObject** found = client().query("qzx", &count);
  ASSERT_NE(nullptr, found);
  std::set<std::string> paths;
  for (int i = 0; i < count; ++i) paths.insert(Object(found[i])->getPath());
  delete[] found;
  EXPECT_EQ((std::set<std::string>{m_folder + "/qzx-alpha", m_folder + "/sub/beta-qzx.txt"}), paths);
  found = client().query("no-object-is-named-like-this", &count);
  ASSERT_NE(nullptr, found);
  EXPECT_EQ(0, count);
  delete[] found;

  char* moved = client().move((m_folder + "/sub").c_str(), (m_folder + "/dst").c_str());
  ASSERT_NE(nullptr, moved);
  EXPECT_EQ(m_folder + "/dst", std::string(moved));
  std::free(moved);
  EXPECT_FALSE(exists(m_folder + "/sub"));
  EXPECT_TRUE(exists(m_folder + "/dst/beta-qzx.txt"));
  EXPECT_EQ(nullptr, client().move((m_folder + "/dst").c_str(), (m_folder + "/qzx-alpha").c_str()));  // taken
  EXPECT_EQ(nullptr, client().move((m_folder + "/missing").c_str(), (m_folder + "/elsewhere").c_str()));

  const std::string folder = m_folder + "/dst", file = folder + "/beta-qzx.txt";
  EXPECT_FALSE(client().isCheckedOut(file.c_str()));
  EXPECT_TRUE(client().checkout(folder.c_str(), true));
  EXPECT_TRUE(client().isCheckedOut(folder.c_str()));
  EXPECT_TRUE(client().isCheckedOut(file.c_str()));
  EXPECT_TRUE(client().isCheckinEnabled(file.c_str()));
  EXPECT_TRUE(client().checkin(folder.c_str(), "reviewed", true));
  EXPECT_FALSE(client().isCheckedOut(folder.c_str()) || client().isCheckedOut(file.c_str()));
  EXPECT_TRUE(client().checkout(folder.c_str(), false));
  EXPECT_TRUE(client().isCheckedOut(folder.c_str()));
  EXPECT_FALSE(client().isCheckedOut(file.c_str()));
  EXPECT_TRUE(client().isVersioningSupported("/Repository"));
  EXPECT_TRUE(client().setCheckinPolicy(m_folder.c_str(), "comment-required", true));
  const std::string missing = m_folder + "/missing";
  EXPECT_FALSE(client().checkout(missing.c_str(), true) || client().checkin(missing.c_str(), "c", true) ||
               client().isCheckedOut(missing.c_str()) || client().isCheckinEnabled(missing.c_str()) ||
               client().setCheckinPolicy(missing.c_str(), "any", false));
}

}  // namespace
}  // namespace talixdb_test
