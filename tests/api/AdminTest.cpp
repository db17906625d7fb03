// Administration through the public handle against the real server: the
// database root (made once, nothing below it while missing), the pool of CFD
// users, the register of simulation servers, and the messages and refusals of
// folder backup and restore (the object-by-object round trip: tests/client).
#include <sys/stat.h>

#include <set>

#include "api/ApiTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;
namespace rc = VLT_121::ResultCode;

namespace {

Names poolMessages(const std::string& what, std::initializer_list<int> users, const std::string& end) {
  Names texts;
  for (int user : users) texts.push_back("\nUser cfduser_00" + std::to_string(user) + " has been " + what + end);
  return texts;
}

// A server of its own: the pool needs a store without the database root.
// Nothing is made below a missing root; createTalixDb makes it once.
TEST(PoolUsers, InstantiateLoginDisconnectReplaceAndDelete) {
  TestServer server;
  const std::string address = server.address();
  CVLTDatabase db;
  ASSERT_TRUE(db.open(address.c_str()));
  AttachedLogger logger(db);
  auto requests = [&](const char* operation) { return loggedRequestCount(server, operation); };
  auto dropDatabase = [&] {
    // The root is there: logged in as administrator.
    ASSERT_TRUE(db.createTalixDb() == 1 && db.isLoggedIn() && db.isTalixDatabaseInstantiated());
    ASSERT_TRUE(db.deleteItem(kDatabaseRoot));  // deletes only with a logger
    db.logout();
    logger.messages.clear();
  };
  {
    ScopedEnv wrong("VLT_ADMIN_PASSWORD", "not the password");  // changes nothing
    EXPECT_EQ(db.createTalixDb(), 1);
    EXPECT_EQ(db.instantiateCFDUsers(3), rc::kRootFolderNotMade);
    db.disconnectAllTalixUsers();
    db.deleteAllTalixUsers();
    EXPECT_FALSE(db.isLoggedIn());
    EXPECT_EQ(logger.texts(0).size() + logger.texts(1).size(), 0u);
    EXPECT_EQ(requests("createUser") + requests("createModelObject"), 0);
  }
  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  EXPECT_FALSE(db.isTalixDatabaseInstantiated());
  EXPECT_EQ(2, db.addCategory("c"));
  EXPECT_EQ(3, db.addType("t", "c"));
  EXPECT_EQ(2, db.uploadModel("c", "t", ModelBuilder("m").build().get()));
  EXPECT_FALSE(db.checkCategory("c"));
  EXPECT_EQ(db.downloadRegisteredSimulationServers() + db.getNrRegisteredSimulationServers(), 0);
  EXPECT_EQ(db.getRegisteredSimulationServer(0), nullptr);
  db.logout();

  EXPECT_EQ(db.instantiateCFDUsers(3), 3);
  EXPECT_TRUE(!db.isLoggedIn() && db.getNrCFDUsers() == 3);
  EXPECT_EQ(logger.texts(1), poolMessages("created", {0, 1, 2}, "\n"));
  // The database exists now: nothing is touched.
  logger.messages.clear();
  const int logins = requests("login");
  EXPECT_EQ(db.instantiateCFDUsers(5), rc::kRootFolderNotMade);
  EXPECT_TRUE(logger.texts(1).empty());
  EXPECT_EQ(requests("createUser") + requests("login"), 3 + logins + 1);

  // A "cfduser" name always asks for a pool account; each host takes a free one.
  std::vector<CVLTDatabase> hosts(4);
  for (CVLTDatabase& host : hosts) ASSERT_TRUE(host.open(address.c_str()));
  EXPECT_FALSE(hosts[0].login("cfduser_001", "cfduser_001", "Default", 0));
  std::set<std::string> taken;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(hosts[i].login("cfduser", "ignored", "Default", 3)) << i;
    taken.insert(hosts[i].getLoginUser());  // the account the library took
  }
  EXPECT_EQ(taken, (std::set<std::string>{"cfduser_000", "cfduser_001", "cfduser_002"}));
  EXPECT_FALSE(hosts[3].login("cfduser", "ignored", "Default", 3));
  EXPECT_STREQ(hosts[3].getLastErrorText(), "no account of the pool is free: all 3 have a live session");
  EXPECT_EQ(hosts[1].addCategory("FromPool") + hosts[1].addType("Made", "FromPool"), 0);  // pool accounts may write
  hosts[1].logout();
  EXPECT_TRUE(hosts[3].login("cfduser", "ignored", "Default", 3));
  for (CVLTDatabase& host : hosts) host.logout();

  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  db.disconnectAllTalixUsers();
  EXPECT_FALSE(db.isLoggedIn());
  EXPECT_EQ(logger.texts(1), poolMessages("disconnected", {0, 1, 2}, "\n"));

  dropDatabase();
  EXPECT_EQ(db.instantiateCFDUsers(1), 1);  // replaces the whole pool
  Names replaced = poolMessages("disconnected", {0, 1, 2}, "\n");
  for (const Names& more : {poolMessages("deleted", {0, 1, 2}, ""), poolMessages("created", {0}, "\n")})
    replaced.insert(replaced.end(), more.begin(), more.end());
  EXPECT_EQ(logger.texts(1), replaced);
  EXPECT_EQ(db.getNrCFDUsers(), 1);

  logger.messages.clear();
  db.deleteAllTalixUsers();
  EXPECT_FALSE(db.isLoggedIn() || db.getNrCFDUsers() != 0);
  EXPECT_EQ(logger.texts(1), poolMessages("deleted", {0}, ""));

  for (int count : {0, -4}) {  // empties the pool and is returned
    dropDatabase();
    EXPECT_EQ(db.instantiateCFDUsers(count), count);
    EXPECT_FALSE(db.isLoggedIn() || db.getNrCFDUsers() != 0);
  }
}

using Admin = RootSession;

TEST_F(Admin, SimulationServersAreRegisteredListedAndReplaced) {
  const std::string folder = "/Repository/TalixRegisteredServers/SimulationServers/";
  auto downloaded = [&] {
    EXPECT_EQ(m_db.downloadRegisteredSimulationServers(), 0);
    return listOf(m_db, &CVLTDatabase::getNrRegisteredSimulationServers, &CVLTDatabase::getRegisteredSimulationServer);
  };
  auto changes = [&] { return requestCount("createModelObject") + requestCount("deleteModelObject"); };
  EXPECT_TRUE(m_db.registerTALIXSimulationServer("node-1.example:9000", true));
  EXPECT_TRUE(m_db.registerTALIXSimulationServer("node 2", false));
  EXPECT_EQ(m_db.getNrRegisteredSimulationServers(), 0);  // the handle's copy changes with a download
  EXPECT_EQ(downloaded(), (Names{"node-1.example:9000", "node 2"}));
  EXPECT_TRUE(m_db.getRegisteredSimulationServer(-1) == nullptr && m_db.getRegisteredSimulationServer(2) == nullptr);

  const int before = changes();
  EXPECT_TRUE(m_db.registerTALIXSimulationServer("node 2", true));   // kept as it is
  EXPECT_TRUE(m_db.registerTALIXSimulationServer("node 2", false));  // replaced, but without a logger kept
  EXPECT_EQ(changes(), before);
  {
    AttachedLogger logger(m_db);  // replaced with a logger: deleted and made again
    EXPECT_TRUE(m_db.registerTALIXSimulationServer("node 2", false));
    EXPECT_EQ(changes(), before + 2);
    EXPECT_EQ(logger.texts(0), Names{folder + "node 2 has  been deleted."});
  }
  EXPECT_EQ(downloaded(), (Names{"node-1.example:9000", "node 2"}));

  CVLTDatabase loggedOut;
  ASSERT_TRUE(loggedOut.open(address().c_str()));
  EXPECT_FALSE(loggedOut.registerTALIXSimulationServer("nobody", true));
  EXPECT_EQ(loggedOut.downloadRegisteredSimulationServers() + loggedOut.getNrRegisteredSimulationServers(), 0);
}


class Backup : public RootSession {
 protected:
  std::string remote(const std::string& below = "") { return std::string(kDatabaseRoot) + "/" + testName() + below; }
  // Stores `bytes` as report 1 of surface "surf" of solver S below remote(below).
  void store(const std::string& bytes, const std::string& below = "") {
    ASSERT_EQ(0,
              m_db.uploadSurface(remote(below).c_str(), "S", "surf", 1, bytes.data(), static_cast<long>(bytes.size())));
  }
  bool stored(const std::string& path) { return m_db.isSurfaceUploaded(path.c_str(), "S", 1, "surf"); }
  int backup(const std::string& path, const std::string& local) {
    logger.messages.clear();
    return m_db.backupTALIXFolder(path.c_str(), local.c_str());
  }
  int restore(const std::string& path, const std::string& local) {
    logger.messages.clear();
    return m_db.restoreTALIXFolder(path.c_str(), local.c_str());
  }
  static bool exists(const std::string& path) { return std::filesystem::exists(path); }

  const std::string m_properties = "/TALIX_BackedUp_Properties_EF64F6C7-2C4F-4559-9ADF-61B0C85169CF";
  TempDir m_local;
  AttachedLogger logger{m_db};
};

TEST_F(Backup, BackupAndRestoreReportEveryFolderInOrder) {
  store("plain bytes, not a report");
  const std::string folder = remote("/Solvers/S/Reports"), local = m_local.path() + "/copy";
  ASSERT_EQ(backup(folder, local), 0);
  EXPECT_EQ(logger.texts(1),
            (Names{"Start downloading " + folder + ".\n", "Destination folder:\n " + local + ".\n",
                   "Start downloading " + folder + "/000000001.\n", "Destination folder:\n " + local + "/000000001.\n",
                   "Succesful download of " + folder + "/000000001.\n", "Succesful download of " + folder + ".\n"}));
  EXPECT_TRUE(logger.texts(0).empty());
  ASSERT_EQ(restore(folder, local), 0);
  EXPECT_EQ(logger.texts(1),
            (Names{"Start Restoring " + folder + ".", "Start Restoring " + folder + "/000000001.",
                   "Uploading File:\n" + local + "/000000001/surf\n",
                   "Successful restoring of " + folder + "/000000001.", "Successful restoring of " + folder + "."}));
  EXPECT_TRUE(logger.texts(0).empty());
  // Restoring to a path without a slash is refused without a word.
  EXPECT_EQ(restore("talixdb", local), rc::kRestoreFailed);
  EXPECT_EQ(logger.texts(1), Names{"Start Restoring talixdb."});
  EXPECT_TRUE(logger.texts(0).empty());
}

// Backups go into an empty directory only, of existing names that stay in
// it; restores refuse a copy of another depth or without its properties
// files, and every refused restore deletes nothing.
TEST_F(Backup, RefusedBackupsAndRestores) {
  store("top");
  store("below", "/Sub");
  const std::string busy = m_local.path() + "/busy", local = m_local.path() + "/empty";
  ASSERT_EQ(::mkdir(busy.c_str(), 0755) + ::mkdir(local.c_str(), 0755), 0);
  std::ofstream(busy + "/keep.txt") << "mine";
  EXPECT_EQ(backup(remote(), busy), rc::kLocalNotMade);
  EXPECT_EQ(logger.texts(0),
            Names{"Error creating local folder:\n " + busy + ".\nPlease try to remove the folder manualy.\n"});
  EXPECT_TRUE(!exists(busy + m_properties) && exists(busy + "/keep.txt"));
  ASSERT_EQ(backup(remote(), local), 0);
  EXPECT_TRUE(exists(local + m_properties) && exists(local + "/Solvers/S/Reports/000000001/surf"));
  EXPECT_EQ(backup(remote("Missing"), m_local.path() + "/none"), rc::kNotFound);
  EXPECT_EQ(logger.texts(0), Names{"Error accessing " + remote("Missing")});

  EXPECT_EQ(restore(remote("/Sub"), local), rc::kRestoreFailed);
  EXPECT_EQ(logger.texts(0), Names{"Invalid folder format. File:\n" + local + m_properties});
  EXPECT_TRUE(stored(remote("/Sub")));
  EXPECT_EQ(restore(remote("Copy"), local), 0);  // the same depth elsewhere
  EXPECT_TRUE(stored(remote("Copy")) && stored(remote("Copy/Sub")));
  const std::string broken = local + "/Solvers/S/Reports/000000001" + m_properties;
  ASSERT_EQ(std::remove(broken.c_str()), 0);
  EXPECT_EQ(restore(remote(), local), rc::kRestoreFailed);
  EXPECT_EQ(logger.texts(0), Names{"Invalid folder format: missing file:\n" + broken});
  const std::string bare = m_local.path() + "/bare";
  ASSERT_EQ(::mkdir(bare.c_str(), 0755), 0);
  EXPECT_EQ(restore(remote(), bare), rc::kRestoreFailed);
  EXPECT_EQ(logger.texts(0), Names{"Invalid folder format: missing file:\n" + bare + m_properties});
  EXPECT_TRUE(stored(remote()));

  // A child name that could leave the local folder.
  ASSERT_EQ(m_db.addType("up\\side", testName().c_str()), 0);
  EXPECT_EQ(backup(remote(), m_local.path() + "/odd"), rc::kNotFound);
  EXPECT_EQ(logger.texts(0), Names{"Error accessing " + remote("/up\\side") + ".\n"});
  EXPECT_FALSE(exists(m_local.path() + "/odd/up\\side"));
}

}  // namespace
