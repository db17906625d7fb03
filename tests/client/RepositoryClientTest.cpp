// The repository client layer against the real server: properties as stored
// and read back, folders, deletion, users and permissions (and the handle's
// pool of CFD users among accounts made by hand), and the operations no
// library code calls yet.
#include <cstdlib>
#include <set>
#include <tuple>

#include "client/ClientTestSupport.h"

namespace talixdb_test {
namespace {

using VLT_121::CRepositoryObject;

using RepositoryClient = ClientTest;

// Values read back as texts, numbers and lists, whatever kind they were
// stored as; values another client stored URL-encoded decoded (the rules are
// the unit tests'); UTF-8 names and values byte for byte. A value or a
// declaration set again keeps its place and one item.
TEST_F(RepositoryClient, StoredValuesReadBackAsTextsNumbersAndLists) {
  const std::string cafe = "caf\xC3\xA9", duese = "D\xC3\xBCse 1", path = m_folder + "/" + duese;
  EXPECT_EQ(m_folder + "/" + cafe, client().createFolder(m_folder, cafe));
  // Every value declared, two set twice; m_szPath and m_aszPaths as another client encoded them.
  EXPECT_EQ(path, makeFolder(m_folder, duese,
                             {{"m_szName", {"first"}}, {"m_iNrPorts", {"42"}}, {"m_szName", {duese}},
                              {"m_iOffset", {"-7"}}, {"m_aszComponents", {"replaced"}},
                              {"m_aszComponents", {cafe, "ethanol", "carbon dioxide"}}, {"m_aszNone", {}},
                              {"m_iMixed", {"12abc"}}, {"m_szPath", {"a+b%2Fc%3d%41"}},
                              {"m_aszPaths", {"x%2Fy%20z", "k%3Dv"}}}));
  const Values declarations = stored(path, true);  // each once
  ASSERT_EQ(8u, declarations.size());
  EXPECT_EQ(std::make_pair(std::string("m_szName"), Names{"User Specified Properties"}), declarations[0]);
  Object pump = find(path);
  ASSERT_TRUE(pump);
  EXPECT_EQ((Names{cafe, duese}), children(m_folder));
  const std::pair<const char*, std::string> texts[] = {
      {"m_szName", duese}, {"m_aszComponents", cafe},  // a list reads as its first item
      {"m_szAbsent", ""},  {"m_aszNone", ""},    {"m_szPath", "a b/c="}};
  for (const auto& [name, text] : texts) EXPECT_EQ(text, pump->getProperty(name)) << name;
  const std::pair<const char*, int> numbers[] = {{"m_iNrPorts", 42}, {"m_iOffset", -7}, {"m_iMixed", 12}};
  for (const auto& [name, number] : numbers) EXPECT_EQ(number, pump->getIntProperty(name)) << name;
  const std::pair<const char*, Names> lists[] = {  // a single value reads as a list of one
      {"m_aszComponents", {cafe, "ethanol", "carbon dioxide"}}, {"m_szName", {duese}}, {"m_aszAbsent", {}},
      {"m_aszNone", {}}, {"m_aszPaths", {"x/yz", "k=v"}}};
  for (const auto& [name, items] : lists) EXPECT_EQ(items, pump->getListProperty(name)) << name;
  EXPECT_EQ((Names{"m_szName", "m_iNrPorts", "m_iOffset", "m_aszComponents", "m_aszNone", "m_iMixed", "m_szPath",
                   "m_aszPaths"}),
            pump->getPropertyNames());
  // The kinds written: a list set again is kind 0, a single value kind 5.
  CRepositoryObject object(&m_admin->binding);
  const auto only = [&] {
    const ns2__SoapVariant* v = object.object()->properties->item.at(0)->item;
    return std::make_tuple(object.object()->properties->item.size(), v->itemList, v->itemType, v->item);
  };
  object.setListProperty("m_aszItems", {"a", "b"});  // first kind 5 (client/WireTest)
  object.setListProperty("m_aszItems", {"c"});
  EXPECT_EQ(std::make_tuple(size_t{1}, true, 0, Names{"c"}), only());
  object.setProperty("m_aszItems", "single");
  EXPECT_EQ(std::make_tuple(size_t{1}, false, 5, Names{"single"}), only());
}

// Folders are made below existing ones only; what a deletion takes is the
// server's (tests/storage).
TEST_F(RepositoryClient, FoldersAreMadeBelowExistingOnesAndDeleted) {
  EXPECT_EQ(m_folder + "/one", client().createFolder(m_folder, "one"));
  size_t mark = logSize();
  EXPECT_EQ("", client().createFolder(m_folder + "/missing", "child"));
  EXPECT_EQ(Names{"findByPath root fault: no such object: " + m_folder + "/missing"}, requestsSince(mark));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ("", client().createFolder(m_folder, "one"));  // the fault report goes to standard error
  EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStderr().find(m_folder + "/one"));
  EXPECT_FALSE(exists(""));

  ASSERT_FALSE(client().uploadFile(m_folder + "/top/mid/f.txt", "f", 0).empty());
  EXPECT_TRUE(client().deleteObject((m_folder + "/top").c_str()));
  EXPECT_FALSE(client().deleteObject(nullptr));

  Connection anonymous(server());  // calls without a login fail quietly
  EXPECT_FALSE(anonymous.client.deleteObject((m_folder + "/one").c_str()));
  EXPECT_FALSE(anonymous.client.isVersioningSupported("/Repository"));
}

// Users made by hand, among them names the handle takes for its pool of CFD
// users (all starting with "cfduser"; the pool's own accounts are tested in
// tests/api); groups; permissions.
TEST_F(RepositoryClient, UsersGroupsAndPermissions) {
  for (const char* name : {"cfduserX", "cfduser", "cfduser_007", "cfdusr", "erin", "CFDUSER_001", "cfduserB"}) {
    char* answer = client().createUser(name, std::string(name) == "cfduserB" ? "another password" : name);
    EXPECT_TRUE(answer != nullptr && *answer != '\0') << name;
    std::free(answer);
  }
  EXPECT_EQ(nullptr, client().createUser("erin", "pw2"));  // a duplicate
  VLT_121::CVLTDatabase db;
  ASSERT_TRUE(db.open(address().c_str()));
  EXPECT_EQ(db.getNrCFDUsers(), 4);
  AttachedLogger logger(db);
  // Only users whose password is their name can be logged in and out.
  db.disconnectAllTalixUsers();
  EXPECT_TRUE(logger.contains("\nUser cfduserX has been disconnected\n"));
  EXPECT_FALSE(logger.contains("\nUser cfduserB has been disconnected\n"));
  db.deleteAllTalixUsers();
  EXPECT_EQ(db.getNrCFDUsers(), 0);
  for (const std::string kept : {"cfdusr", "erin", "CFDUSER_001"}) EXPECT_TRUE(exists("/System/Users/" + kept)) << kept;
  EXPECT_FALSE(exists("/System/Users/cfduserX"));

  Connection erin(server());
  ASSERT_TRUE(erin.login("erin", "erin"));
  EXPECT_TRUE(session().isInGroup("administrators", "root") && session().isInGroup("users", "erin"));
  EXPECT_FALSE(session().isInGroup("administrators", "erin") || session().isInGroup("users", "nobody-of-that-name"));
  EXPECT_EQ(nullptr, session().getGroups("nobody-of-that-name"));
  char** groups = session().getGroups("root");
  ASSERT_NE(nullptr, groups);
  std::set<std::string> names;
  for (char** g = groups; *g != nullptr; ++g) names.insert(std::unique_ptr<char[]>(*g).get());
  delete[] groups;
  EXPECT_EQ(1u, names.count("administrators"));

  // What a grant allows is the server's (tests/storage); here each call
  // reaches it with its arguments in place.
  EXPECT_FALSE(session().hasPermission(m_folder.c_str(), "write", "erin"));
  EXPECT_FALSE(session().addPermission(m_folder.c_str(), "everything", "erin"));
  ASSERT_TRUE(session().addPermission(m_folder.c_str(), "write", "erin"));
  EXPECT_TRUE(session().hasPermission(m_folder.c_str(), "write", "erin"));
  // An upload looks up every folder from the top: "/Repository" must be readable too.
  EXPECT_EQ("", erin.client.uploadFile(m_folder + "/erin.txt", "e", 0));
  ASSERT_TRUE(session().addPermission("/Repository", "read", "erin"));
  EXPECT_NE("", erin.client.uploadFile(m_folder + "/erin.txt", "e", 0));

  // A recursive grant gives every object below an entry of its own.
  ASSERT_FALSE(client().uploadFile(m_folder + "/x/y/deep.txt", "d", 0).empty());
  const Names tree = {m_folder, m_folder + "/erin.txt", m_folder + "/x", m_folder + "/x/y", m_folder + "/x/y/deep.txt"};
  const size_t mark = logSize();
  EXPECT_TRUE(session().addPermissionRecursive(&client(), m_folder.c_str(), "read", "cfdusr"));
  const Names requests = requestsSince(mark);
  EXPECT_EQ(requests.size(), 2 * tree.size());
  EXPECT_EQ(static_cast<size_t>(std::count(requests.begin(), requests.end(), "addPermission root ok")), tree.size());
  for (const std::string& path : tree) EXPECT_TRUE(session().removePermission(path.c_str(), "read", "cfdusr")) << path;
  EXPECT_FALSE(session().hasPermission(m_folder.c_str(), "read", "cfdusr"));
  EXPECT_FALSE(session().addPermissionRecursive(&client(), (m_folder + "/missing").c_str(), "read", "cfdusr"));
}

// What a query finds, a move does and checking out covers is the server's
// (tests/storage); here each call's answer is read back.
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
  char* moved = client().move((m_folder + "/sub").c_str(), (m_folder + "/dst").c_str());
  EXPECT_EQ(m_folder + "/dst", std::string(moved != nullptr ? moved : "(null)"));
  std::free(moved);
  EXPECT_EQ(nullptr, client().move((m_folder + "/dst").c_str(), (m_folder + "/qzx-alpha").c_str()));  // taken
  const std::string folder = m_folder + "/dst", file = folder + "/beta-qzx.txt";
  EXPECT_TRUE(client().checkout(folder.c_str(), true));  // with what is below
  EXPECT_TRUE(client().isCheckedOut(file.c_str()) && client().isCheckinEnabled(file.c_str()));
  EXPECT_TRUE(client().checkin(folder.c_str(), "reviewed", true));
  EXPECT_FALSE(client().isCheckedOut(folder.c_str()) || client().isCheckedOut(file.c_str()));
  EXPECT_TRUE(client().isVersioningSupported("/Repository"));
  EXPECT_TRUE(client().setCheckinPolicy(m_folder.c_str(), "comment-required", true));
  const std::string missing = m_folder + "/missing";
  EXPECT_FALSE(client().checkout(missing.c_str(), true) || client().checkin(missing.c_str(), "c", true) ||
               client().isCheckedOut(missing.c_str()) || client().isCheckinEnabled(missing.c_str()) ||
               client().setCheckinPolicy(missing.c_str(), "any", false));
}

}  // namespace
}  // namespace talixdb_test
