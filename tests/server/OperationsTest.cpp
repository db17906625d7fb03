// Operating the server: its store as an administrator meets it (kept over
// restarts and crashes, holding no secret as it travels, served by one server
// at a time, readable by its user only, copied consistently while it serves),
// its log and signals, the administrator's password, refused starts, the
// version, and the systemd unit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>

#include "ServiceClient.h"
#include "client/RepositorySession.h"
#include "support/ServerLog.h"

namespace talixdb_test {
namespace {

namespace fs = std::filesystem;

// The entries of `root` (itself included) that are not owner-only.
std::vector<std::string> notPrivate(const std::string& root) {
  std::vector<std::string> found;
  auto check = [&](const fs::path& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return;
    if ((info.st_mode & 0777) != (S_ISDIR(info.st_mode) ? 0700u : 0600u)) found.push_back(path.string());
  };
  check(root);
  for (const auto& entry : fs::recursive_directory_iterator(root)) check(entry.path());
  return found;
}

class OperationsTest : public ::testing::Test {
 protected:
  std::string store() const { return dir.path() + "/store"; }

  TempDir dir;
};

TEST_F(OperationsTest, LogLevelChoosesTheLinesAndQuietStillShowsFailedLogins) {
  struct Case {
    std::vector<std::string> options;
    bool startLine, goodLogin, failedLogin, probeLine;
    int signal;  // that stops it, with status 0
  };
  const Case cases[] = {
      {{"--log-level=debug"}, true, true, true, true, SIGINT},
      {{"--log-level", "info"}, true, true, true, false, SIGTERM},
      {{"--quiet"}, false, false, true, false, SIGTERM},
      {{"--log-level=error"}, false, false, false, false, SIGINT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0]);
    TempDir own;
    TestServer server(c.options, own.path() + "/store");
    ServiceClient client(server);
    ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
    EXPECT_EQ(client.login("root", "wrong").code, 12);
    VLT_121::CRepositorySession library(&client.binding());
    EXPECT_TRUE(library.probe());  // the library's reachability test
    const int status = server.stop(c.signal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string log = server.log();
    std::vector<std::string> lines;  // level, client and summary of each request
    for (const LoggedRequest& request : loggedRequests(log))
      lines.push_back(request.level + " " + request.client + " " + request.summary());
    auto logged = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line) == 1; };
    EXPECT_EQ(logged("info 127.0.0.1 login root ok"), c.goodLogin) << log;
    EXPECT_EQ(logged("warning 127.0.0.1 login root fault: wrong user name or password for root"), c.failedLogin)
        << log;
    EXPECT_EQ(logged("debug 127.0.0.1 login username probe"), c.probeLine) << log;
    const std::string started = " info started talixdb-server " TALIXDB_VERSION " on " + server.address() +
                                " (plain HTTP), store " + own.path() + "/store (SQLite), 8 workers\n";
    const std::string stopped = " info stopped talixdb-server " TALIXDB_VERSION " on " + server.address() + " after " +
                                (c.signal == SIGINT ? "SIGINT\n" : "SIGTERM\n");
    EXPECT_EQ(contains(log, started) + contains(log, stopped), 2 * c.startLine) << log;
  }
}

// A first start beyond loopback with the built-in password is refused before it
// listens; --set-admin-password gives a store its own password (from the
// environment, else standard input) and ends root's sessions. The version, a usage error.
TEST_F(OperationsTest, RefusedStartsTheAdministratorsPasswordAndTheVersion) {
  ProgramResult result = runServerProgram({"--data", store(), "--host", "192.0.2.1", "--port", "0"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(contains(result.err,
                       " error refusing a first start on 192.0.2.1 with the built-in administrator password: set "
                       "VLT_ADMIN_PASSWORD for the first start, or run talixdb-server --data " +
                           store() + " --set-admin-password before it\n"))
      << result.err;
  result = runServerProgram({"--data", store(), "--set-admin-password"}, {{"VLT_ADMIN_PASSWORD", "chosen"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  TestServer server({"--quiet"}, store());  // its environment's password counts for a first start only
  struct Case {
    std::vector<std::pair<std::string, std::string>> env;
    std::string input;
    std::string password;  // "" when the command must fail
  };
  const Case cases[] = {
      {{}, "from-stdin\nsecond line\n", "from-stdin"},
      {{{"VLT_ADMIN_PASSWORD", "from-env"}}, "ignored\n", "from-env"},
      {{{"VLT_ADMIN_PASSWORD", ""}}, "crlf-line\r\n", "crlf-line"},
      {{}, "\n", ""},
  };
  std::string current = "chosen";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ServiceClient admin(server);
    ASSERT_TRUE(Succeeds(admin.login("root", current)));
    result = runServerProgram({"--data", store(), "--set-admin-password"}, c.env, c.input);
    const bool refused = c.password.empty();
    EXPECT_EQ(result.exitCode, refused ? 1 : 0) << result.err;
    EXPECT_EQ(refused ? result.err : result.out,
              refused ? "talixdb-server: no password given: put it on the first line of standard input, or in "
                        "VLT_ADMIN_PASSWORD\n"
                      : "talixdb-server: the password of root in " + store() + " is set\n");
    EXPECT_EQ(admin.sessionId().empty(), !refused);
    if (refused) continue;
    ServiceClient again(server);
    EXPECT_EQ(again.login("root", current).code, 12);
    EXPECT_TRUE(Succeeds(again.login("root", c.password)));
    current = c.password;
  }

  // The store's owner ends a user's sessions, root's too, beside the running server.
  ServiceClient held(server);
  ASSERT_TRUE(Succeeds(held.login("root", current)));
  for (const char* said : {"ended the sessions of", "no live session of"}) {
    result = runServerProgram({"--data", store(), "--end-sessions", "root"});
    EXPECT_EQ(result.out, std::string("talixdb-server: ") + said + " root in " + store() + "\n") << result.err;
  }
  EXPECT_TRUE(held.sessionId().empty());

  ProgramResult version = runServerProgram({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "talixdb-server " TALIXDB_VERSION "\n");
  ProgramResult wrong = runServerProgram({"--data=" + store(), "--log-level=loud"});
  EXPECT_EQ(wrong.exitCode, 2);
  // The one line that matters and a hint, not the whole help.
  EXPECT_EQ(wrong.err,
            "talixdb-server: --log-level needs error, warning, info or debug\n"
            "usage: talixdb-server (--data DIR | --store URI) [options]\n"
            "Run \"talixdb-server --help\" for the options.\n");
}

TEST(SystemdUnit, RunsTheServerPrivatelyAsItsOwnUser) {
  std::ifstream file(TALIXDB_TEST_UNIT_FILE);
  ASSERT_TRUE(file) << TALIXDB_TEST_UNIT_FILE;
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  for (const char* wanted : {"User=talixdb", "UMask=0077", "StateDirectory=talixdb", "Restart=on-failure",
                             "NoNewPrivileges=yes", "ProtectSystem=strict", "ProtectHome=yes", "PrivateTmp=yes"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), wanted), lines.end()) << wanted;
  // And systemd's own check of the file, where systemd is installed.
  if (access("/usr/bin/systemd-analyze", X_OK) != 0) return;
  ProgramRun verify;
  verify.args = {"verify", TALIXDB_TEST_UNIT_FILE};
  ProgramResult verified = runProgram("/usr/bin/systemd-analyze", verify);
  EXPECT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_EQ((verified.out + verified.err).find("talixdb-server.service"), std::string::npos) << verified.err;
}

// A second server on the store is refused while an upload runs, and the
// upload keeps its content; a server killed while a large new version
// arrives leaves the old bytes or the new ones, whole, and no staged
// leftovers; a restart keeps everything.
TEST_F(OperationsTest, OneServerPerStoreAndAKillDuringAnUploadLeavesOldOrNewContent) {
  TestServer server({"--quiet"}, store());
  const std::string versions[] = {patterned(64u << 20, 1), patterned(64u << 20, 2)}, kept("a\0b\xff", 4);
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.upload("/Repository", "kept.bin", kept)));
  auto uploadIsArriving = [&] {  // bounded: its bytes arrive in the store within 20 s
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      std::error_code ignored;
      for (const auto& entry : fs::directory_iterator(store() + "/blobs", ignored))
        if (entry.path().extension() == ".part" && entry.file_size(ignored) > 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  };
  std::string bytes;
  for (int round = 0; round < 2; ++round) {  // the second ends with a kill
    const std::string& version = versions[round];
    CallResult uploaded;
    std::thread uploader([&] {
      ServiceClient client(server);
      uploaded = client.loginAsAdmin();
      if (uploaded.ok()) uploaded = client.upload("/Repository", "victim.bin", version);
    });
    EXPECT_TRUE(uploadIsArriving());
    if (round == 1) {
      server.stop(SIGKILL);
      uploader.join();
      break;
    }
    ProgramResult second = runServerProgram({"--data", store(), "--port", "0"});
    uploader.join();
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_TRUE(contains(second.err, "error the store in " + store() + " is in use by another server (process " +
                                         std::to_string(server.pid()) + ")"))
        << second.err;
    ASSERT_TRUE(Succeeds(uploaded));
    ASSERT_TRUE(Succeeds(admin.download("/Repository/victim.bin", bytes)));
    EXPECT_TRUE(bytes == version) << "downloaded " << bytes.size() << " bytes";
    admin.clear();
  }

  server.restart();
  admin.retarget(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.download("/Repository/victim.bin", bytes)));
  EXPECT_TRUE(bytes == versions[0] || bytes == versions[1]) << "size " << bytes.size();
  for (const auto& entry : fs::directory_iterator(store() + "/blobs"))
    EXPECT_NE(entry.path().extension(), ".part") << "leftover " << entry.path();
  ASSERT_TRUE(Succeeds(admin.download("/Repository/kept.bin", bytes)));
  EXPECT_EQ(bytes, kept);
}

// The store is private whatever the umask, and a wider one is tightened
// with a warning; reading it gives neither a password nor a live session id.
TEST_F(OperationsTest, StoreIsPrivateAndHoldsNoSecretAsItTravels) {
  mode_t saved = umask(0);
  TestServer server({}, store());
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.upload("/Repository", "f.bin", "content")));
  ASSERT_TRUE(Succeeds(admin.createUser("dave", "very-distinctive-secret")));
  ServiceClient dave(server);
  ASSERT_TRUE(Succeeds(dave.login("dave", "very-distinctive-secret")));
  const std::vector<std::string> secrets = {"very-distinctive-secret", kAdminPassword, admin.sessionId(),
                                            dave.sessionId()};
  ASSERT_EQ(secrets[2].size(), 32u);
  auto scan = [&] {
    EXPECT_EQ(notPrivate(store()), std::vector<std::string>{});
    for (const auto& entry : fs::recursive_directory_iterator(store())) {
      if (!entry.is_regular_file()) continue;
      std::ifstream file(entry.path(), std::ios::binary);
      std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      for (const std::string& secret : secrets)
        EXPECT_EQ(content.find(secret), std::string::npos) << entry.path() << " holds " << secret;
    }
  };
  scan();  // with the write-ahead log
  server.stop(SIGTERM);
  scan();  // with everything in the database file
  umask(saved);

  for (const auto& entry : fs::recursive_directory_iterator(store()))
    fs::permissions(entry.path(), entry.is_directory() ? fs::perms(0755) : fs::perms(0644));
  fs::permissions(store(), fs::perms(0755));
  server.restart();
  EXPECT_EQ(notPrivate(store()), std::vector<std::string>{});
  const std::string warning = "warning the store in " + store() + " was open to other users: ";
  std::string log = server.log();
  std::size_t first = log.find(warning);
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(warning, first + 1), std::string::npos) << "warned on the first start too";
}

// A failing store tells the client what failed but not where: paths and SQL
// of the server are in its log only.
TEST_F(OperationsTest, StoreFailuresNameNoServerPathToTheClient) {
  TestServer server({}, store());
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.upload("/Repository", "f.bin", "content")));
  for (const auto& entry : fs::directory_iterator(store() + "/blobs")) fs::remove(entry.path());
  std::string bytes;
  CallResult download = admin.download("/Repository/f.bin", bytes);
  EXPECT_EQ(download.code, 12);
  EXPECT_EQ(download.fault, "storage failure: cannot open a content file");
  EXPECT_TRUE(contains(server.log(), "fault: storage failure: cannot open a content file: " + store() + "/blobs/"))
      << server.log();
}

// A backup runs while one client keeps uploading and another deletes a
// folder of large files the moment the backup begins; a server started on
// the copy finds everything the copy names, whole.
TEST_F(OperationsTest, BackupWhileUploadsAndDeletesRunIsConsistent) {
  TestServer server({"--quiet"}, store());
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.createUser("carol", "carol-pw")));
  ASSERT_TRUE(Succeeds(admin.upload("/Repository", "kept.bin", patterned(1000, 0))));
  ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "doomed")));
  ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "churn")));
  for (int i = 0; i < 48; ++i) {
    ASSERT_TRUE(Succeeds(admin.upload("/Repository/doomed", "d" + std::to_string(i), patterned(1u << 20, i))));
    admin.clear();
  }

  const std::string copy = dir.path() + "/copy";
  std::atomic<bool> stop{false};
  std::atomic<int> ready{0};
  auto backupHasBegun = [&] {  // false once stopped
    for (const std::string prefix = "copy.incomplete-"; !stop; std::this_thread::yield())
      for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
    return false;
  };
  auto churn = [&](bool deletes) {  // one client uploads, the other deletes
    ServiceClient client(server);
    client.loginAsAdmin();
    ++ready;
    if (deletes && backupHasBegun()) client.remove("/Repository/doomed");
    for (int i = 0; !stop && i < 2000; ++i, client.clear()) {
      const std::string name = "c" + std::to_string(i);
      if (deletes)
        client.remove("/Repository/churn/" + name);
      else
        client.upload("/Repository/churn", name, patterned(64u << 10, 1000 + i));
    }
  };
  std::thread uploader(churn, false), deleter(churn, true);
  while (ready < 2) std::this_thread::yield();
  ProgramResult backup = runServerProgram({"--data", store(), "--backup-to", copy});
  stop = true;
  uploader.join();
  deleter.join();
  ASSERT_EQ(backup.exitCode, 0) << backup.err;
  EXPECT_EQ(backup.out.rfind("talixdb-server: backed up " + store() + " to " + copy + " (", 0), 0u) << backup.out;
  EXPECT_EQ(notPrivate(copy), std::vector<std::string>{});

  TestServer restored({}, copy);
  ServiceClient reader(restored);
  ASSERT_TRUE(Succeeds(reader.loginAsAdmin()));
  std::string bytes;
  ASSERT_TRUE(Succeeds(reader.download("/Repository/kept.bin", bytes)));
  EXPECT_TRUE(bytes == patterned(1000, 0));
  int checked = 0;
  for (const auto& [folder, size, seed] : {std::tuple{std::string("doomed"), 1u << 20, 0},
                                           std::tuple{std::string("churn"), 64u << 10, 1000}}) {
    if (!reader.exists("/Repository/" + folder)) continue;
    for (const std::string& name : reader.childNames("/Repository/" + folder)) {
      ASSERT_TRUE(Succeeds(reader.download("/Repository/" + folder + "/" + name, bytes))) << name;
      EXPECT_TRUE(bytes == patterned(size, seed + std::stoi(name.substr(1)))) << name;
      reader.clear();
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
  EXPECT_TRUE(Succeeds(ServiceClient(restored).login("carol", "carol-pw")));  // the users come along

  ProgramResult again = runServerProgram({"--data", store(), "--backup-to", copy});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(again.err, "talixdb-server: cannot back up " + store() + ": " + copy +
                           " exists already; a backup goes into a new directory\n");
}

}  // namespace
}  // namespace talixdb_test
