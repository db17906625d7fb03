// servers, backup, restore and users against a real server, and the server
// address taken from MODELDATABASE_HOME.
#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"

namespace talixdb_test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class AdminCli : public CliSuite {
 protected:
  static void SetUpTestSuite() {
    startServer();
    ASSERT_EQ(talixdb({"db", "create"}).exitCode, 0);
    ASSERT_EQ(talixdb({"model", "upload", writePumpModel()}).exitCode, 0);
  }

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

TEST_F(AdminCli, PasswordComesFromAFileOrFromThePromptUnseen) {
  writeFile(path("right.txt"), std::string(kAdminPassword) + "\nsecond line\n");
  writeFile(path("wrong.txt"), "not-the-password\n");
  EXPECT_EQ(talixdb({"--password-file", path("right.txt"), "db", "status"}).exitCode, 0);
  EXPECT_EQ(talixdb({"db", "status", "--password-file=" + path("wrong.txt")}).exitCode, 32);
  EXPECT_EQ(talixdb({"--password-file", path("absent.txt"), "db", "status"}).exitCode, 33);

  CliRun run;
  run.args = {"--server", server().address(), "db", "status"};
  run.terminal = true;
  run.typeAfter = "password for root: ";
  run.input = std::string(kAdminPassword) + "\n";
  CliResult prompted = runCli(run);
  EXPECT_EQ(prompted.exitCode, 0) << prompted.err;
  EXPECT_TRUE(contains(prompted.err, "password for root: ")) << prompted.err;
  EXPECT_FALSE(contains(prompted.err, kAdminPassword)) << prompted.err;
}

TEST_F(AdminCli, RegisteredServersAreListedOnce) {
  EXPECT_EQ(talixdb({"servers", "register", "sim-node-1"}).exitCode, 0);
  EXPECT_EQ(talixdb({"servers", "register", "sim-node-2"}).exitCode, 0);
  EXPECT_EQ(talixdb({"servers", "register", "sim-node-1", "--replace"}).exitCode, 0);
  CliResult list = talixdb({"servers", "list"});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_TRUE(contains(list.out, "sim-node-1\n")) << list.out;
  EXPECT_TRUE(contains(list.out, "sim-node-2\n")) << list.out;
  EXPECT_EQ(list.out.size(), std::string("sim-node-1\nsim-node-2\n").size()) << list.out;
}

TEST_F(AdminCli, BackupRestoredElsewhereHoldsTheModel) {
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
  CliResult model = talixdb({"model", "download", "EquipmentCopy", "Pumps", "CentrifugalPump"});
  EXPECT_EQ(model.exitCode, 0) << model.err;
  EXPECT_TRUE(contains(model.out, "\"FlowSolver\"")) << model.out;

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

TEST_F(AdminCli, BackupAndRestoreFailuresExitWithTheLibrarysCodes) {
  CliResult missing = talixdb({"backup", "NoSuchCategory", path("nothing")});
  EXPECT_EQ(missing.exitCode, 28);
  EXPECT_TRUE(contains(missing.err, "no folder /Repository/talixdb/NoSuchCategory")) << missing.err;
  ASSERT_EQ(talixdb({"backup", "Equipment/Pumps", path("pumps-backup")}).exitCode, 0);
  // A backup of depth 4 cannot stand in for a folder of depth 3.
  EXPECT_EQ(talixdb({"restore", "Elsewhere", path("pumps-backup")}).exitCode, 30);
  EXPECT_EQ(talixdb({"backup", "Equipment", path("pumps-backup")}).exitCode, 29);
  EXPECT_EQ(talixdb({"restore", "Elsewhere", path("no-such-backup")}).exitCode, 33);
}

// A server of its own: pool users are made only along with a new database.
class PoolUsersCli : public CliSuite {};

TEST_F(PoolUsersCli, PoolUsersComeWithANewDatabaseAndGoAgain) {
  writePumpModel();
  CliResult noDatabase = talixdb({"model", "upload", path("CentrifugalPump.json")});
  EXPECT_EQ(noDatabase.exitCode, 1);
  EXPECT_TRUE(contains(noDatabase.err, "talixdb db create")) << noDatabase.err;

  CliResult created = talixdb({"users", "create", "2"});
  ASSERT_EQ(created.exitCode, 0) << created.err;
  EXPECT_TRUE(contains(created.err, "User cfduser_001 has been created")) << created.err;
  EXPECT_EQ(talixdb({"users", "count"}).out, "2\n");
  EXPECT_EQ(talixdb({"--user", "cfduser", "--password", "ignored", "db", "status"}).exitCode, 0);
  EXPECT_EQ(talixdb({"users", "disconnect"}).exitCode, 0);
  EXPECT_EQ(talixdb({"users", "delete"}).exitCode, 0);
  EXPECT_EQ(talixdb({"users", "count"}).out, "0\n");

  CliResult again = talixdb({"users", "create", "1"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(contains(again.err, "exists already")) << again.err;
}

TEST_F(PoolUsersCli, WrongAdministratorPasswordExits32) {
  CliResult result = talixdb({"--password", "wrong", "users", "count"});
  EXPECT_EQ(result.exitCode, 32);
  EXPECT_TRUE(contains(result.err, "login refused for administrator root")) << result.err;
}

}  // namespace
}  // namespace talixdb_test
