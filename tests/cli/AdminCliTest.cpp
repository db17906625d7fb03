// servers, backup, restore and users against a real server, and the server
// address taken from MODELDATABASE_HOME, http or https.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "cli/CliTestSupport.h"
#include "talixdbapi/VLTDatabase.h"
#include "support/TestCertificates.h"

namespace talixdb_test {
namespace {

class AdminCli : public PumpSuite {
 protected:
  // Runs talixdb with the address in MODELDATABASE_HOME instead of --server.
  static CliResult fromEnvironment(const std::string& home, const std::vector<std::string>& args) {
    CliRun run;
    run.args = args;
    run.env = {{"MODELDATABASE_HOME", home}};
    return runCli(run);
  }
};

TEST_F(AdminCli, ServerAddressComesFromModelDatabaseHomeInEveryForm) {
  writeFile(path("home.txt"), server().endpoint() + " and other words\n");
  for (const std::string& home : {server().address(), "http://" + server().address(),
                                  "http://" + server().address() + "/", server().endpoint(), path("home.txt")}) {
    CliResult result = fromEnvironment(home, {"db", "status"});
    EXPECT_EQ(result.exitCode, 0) << home << "\n" << result.err;
  }
}

TEST_F(AdminCli, PasswordComesFromAFileOrFromThePromptUnseenAndServersAreListedOnce) {
  writeFile(path("right.txt"), std::string(kAdminPassword) + "\nsecond line\n");
  writeFile(path("wrong.txt"), "not-the-password\n");
  runSteps({
      {{"--password-file", path("right.txt"), "db", "status"}, 0},
      {{"db", "status", "--password-file=" + path("wrong.txt")}, 32},
      {{"--password-file", path("absent.txt"), "db", "status"}, 33},
      {{"servers", "register", "sim-node-1"}, 0},
      {{"servers", "register", "sim-node-2"}, 0},
      {{"servers", "register", "sim-node-1", "--replace"}, 0},
  });
  const std::string listed = talixdb({"servers", "list"}).out;  // in either order
  EXPECT_TRUE(contains(listed, "sim-node-1\n") && contains(listed, "sim-node-2\n")) << listed;
  EXPECT_EQ(listed.size(), std::string("sim-node-1\nsim-node-2\n").size()) << listed;

  CliRun run;
  run.args = {"--server", server().address(), "db", "status"};
  run.terminal = true;
  run.typeAfter = "password for root: ";
  run.input = std::string(kAdminPassword) + "\n";
  CliResult prompted = runCli(run);
  EXPECT_EQ(prompted.exitCode, 0) << prompted.err;
  EXPECT_TRUE(contains(prompted.err, "password for root: ")) << prompted.err;
  EXPECT_FALSE(contains(prompted.err, kAdminPassword)) << prompted.err;

  // A saved login stands for the prompt, as long as no one else may read it.
  writeFile(path("logins"), "# SERVER USER PASSWORD\n* nobody x\n" + server().address() + " root " +
                                kAdminPassword + "\n");
  run.env = {{"TALIXDB_LOGIN_FILE", path("logins")}};
  for (mode_t mode : {0600, 0644}) {
    ASSERT_EQ(chmod(path("logins").c_str(), mode), 0);
    CliResult saved = runCli(run);
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(contains(saved.err, "password for root: "), mode != 0600) << saved.err;
    EXPECT_EQ(contains(saved.err, "not using the saved logins in " + path("logins") + ": others may read it"),
              mode != 0600)
        << saved.err;
  }
}

TEST_F(AdminCli, BackupAndRestoreSummariesAndTheBarOnATerminal) {
  // Off a terminal: one summary line, no line per folder or file.
  CliResult backup = talixdb({"backup", "Equipment", path("backup")});
  ASSERT_EQ(backup.exitCode, 0) << backup.err;
  EXPECT_TRUE(backup.err.empty()) << backup.err;
  EXPECT_EQ(backup.out.rfind("backed up /Repository/talixdb/Equipment into " + path("backup") + ": ", 0), 0u)
      << backup.out;
  EXPECT_TRUE(contains(backup.out, " files, ")) << backup.out;
  EXPECT_EQ(backup.out.find('\n'), backup.out.size() - 1) << backup.out;
  CliResult quiet = talixdb({"restore", "--quiet", "EquipmentCopy", path("backup")});
  ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");

  // On a terminal: a progress bar, gone at the end, then the summary.
  CliRun run;
  run.args = {"--server", server().address(), "--password", kAdminPassword, "restore", "EquipmentCopy", path("backup")};
  run.terminal = true;
  CliResult shown = runCli(run);
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_TRUE(contains(shown.err, "restore [########################] 100% ")) << shown.err;
  EXPECT_EQ(shown.err.substr(shown.err.size() - 4), "\r\033[K") << shown.err;
  EXPECT_EQ(shown.out.rfind("restored /Repository/talixdb/EquipmentCopy from " + path("backup") + ": ", 0), 0u)
      << shown.out;
}

// The library's refusals of a wrong depth and of a full directory blame other
// causes ("Invalid folder format", folder creation): the tool says what is wrong.
TEST_F(AdminCli, BackupAndRestoreFailuresExitWithTheLibrarysCodesOrSayWhatIsWrong) {
  std::filesystem::create_directory(path("no-backup"));
  writeFile(path("no-backup/file.txt"), "x");
  runSteps({
      {{"backup", "NoSuchCategory", path("nothing")}, 28, "", "no folder /Repository/talixdb/NoSuchCategory"},
      {{"backup", "Equipment/Pumps", path("pumps-backup")}, 0},
      {{"restore", "Elsewhere", path("pumps-backup")}, 33, "",
       "is of a folder at depth 4 (counting \"/\"), and /Repository/talixdb/Elsewhere lies at depth 3: restore it "
       "to a folder as deep, such as /Repository/talixdb/Elsewhere/NAME"},
      {{"backup", "Equipment", path("pumps-backup")}, 33, "", "is not empty: back up into a new or empty directory"},
      {{"restore", "Elsewhere", path("no-such-backup")}, 33},
      {{"restore", "Elsewhere", path("no-backup")}, 33, "", "holds no backup made by talixdb backup"},
  });
}

// A server of its own: pool users are made only along with a new database.
class PoolUsersCli : public CliSuite {};

TEST_F(PoolUsersCli, PoolUsersComeWithANewDatabaseAndGoAgain) {
  runSteps({
      {{"model", "upload", writePumpModel()}, 1, "", "talixdb db create"},
      {{"--password", "wrong", "users", "count"}, 32, "", "login refused for administrator root"},
      {{"users", "create", "2"}, 0, "", "User cfduser_001 has been created"},
      {{"users", "count"}, 0, "2\n"},
      {{"--user", "cfduser", "--password", "ignored", "db", "status"}, 0},
      {{"--user", "cfduser_009", "--password", "ignored", "db", "status"}, 0,  // any "cfduser" name
       "          a free account of the pool, taken for cfduser_009"},
      {{"users", "disconnect"}, 0},
      {{"users", "delete"}, 0},
      {{"users", "count"}, 0, "0\n"},
      {{"users", "create", "1"}, 1, "", "exists already"},
  });
}

// A session left behind by a host that died keeps its user out, and says
// so: when it was last used and when it ends, for the right password only,
// and how to end it. The administrator ends it at once. A server of its own.
class SessionsCli : public CliSuite {};

TEST_F(SessionsCli, ALiveSessionElsewhereIsToldAndTheAdministratorEndsIt) {
  ASSERT_EQ(talixdb({"users", "create", "1"}).exitCode, 0);
  VLT_121::CVLTDatabase host, admin;  // hosts that die without logging out
  ASSERT_TRUE(host.open(server().address().c_str()) && admin.open(server().address().c_str()));
  ASSERT_TRUE(host.login("cfduser", "ignored", "Default", 1) && admin.login("root", kAdminPassword, "Default", 0));
  runSteps({
      {{"--user", "cfduser", "db", "status"}, 32, "",
       "login refused for user cfduser in domain Default: no account of the pool is free: all 1 have a live session"},
      {{"db", "status"}, 32, "",
       "login refused for user root in domain Default: root has a live session elsewhere, last used "},
      {{"db", "status"}, 32, "", "--end-sessions root"},
      {{"--password", "wrong", "db", "status"}, 32, "", "root has a live session elsewhere; its owner can end it"},
  });
  admin.logout();
  runSteps({
      {{"session", "end", "cfduser_000"}, 0, "ended the sessions of cfduser_000\n"},
      {{"session", "end", "cfduser_000"}, 0, "cfduser_000 had no live session\n"},
      {{"session", "end", "nobody"}, 1, "", "cannot end the sessions of nobody: no such user: nobody"},
      {{"--user", "cfduser", "db", "status"}, 0, "user:     cfduser_000"},
  });
  // The pool's disconnect ends what the accounts hold elsewhere too.
  VLT_121::CVLTDatabase again;
  ASSERT_TRUE(again.open(server().address().c_str()) && again.login("cfduser", "ignored", "Default", 1));
  runSteps({{{"users", "disconnect"}, 0}, {{"--user", "cfduser", "db", "status"}, 0}});
}

// A server that speaks TLS only: https addresses given and taken from
// MODELDATABASE_HOME.
TEST(TlsCli, TalksHttpsWithTheTrustFile) {
  TestCertificates certificates;
  TestServer server(certificates.serverOptions(certificates.server()));
  const std::string https = "https://" + server.address();
  const std::pair<std::string, std::string> trust{"TALIXDB_CA_FILE", certificates.authority()};

  CliRun run;
  run.env = {trust};
  run.args = {"--server", https, "db", "create"};
  CliResult created = runCli(run);
  EXPECT_EQ(created.exitCode, 0) << created.err;
  run.env = {trust, {"MODELDATABASE_HOME", https + "/vlt/services/QuillonBinding"}};
  run.args = {"db", "status"};
  CliResult status = runCli(run);
  EXPECT_EQ(status.exitCode, 0) << status.err;
  EXPECT_TRUE(contains(status.out, "/Repository/talixdb exists")) << status.out;
  run.env = {};  // the library's refusal (its texts are the API tests')
  run.args = {"--server", https, "db", "status"};
  CliResult untrusted = runCli(run);
  EXPECT_EQ(untrusted.exitCode, 38);
  EXPECT_TRUE(contains(untrusted.err, "the server's certificate is not trusted")) << untrusted.err;
  EXPECT_EQ(untrusted.err.find("talixdb: "), untrusted.err.rfind("talixdb: ")) << untrusted.err;  // said once
  // Plain HTTP to it: the server's own answer, not a wrong password.
  run.args = {"--server", server.address(), "db", "status"};
  CliResult plain = runCli(run);
  EXPECT_EQ(plain.exitCode, 39);
  EXPECT_TRUE(contains(plain.err, "not a repository server at " + server.address() +
                                      " (HTTP 400: This server speaks HTTPS only: use https://)"))
      << plain.err;
}

}  // namespace
}  // namespace talixdb_test
