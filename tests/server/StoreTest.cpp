// The store as an administrator meets it: kept over restarts and crashes,
// holding no secret as it travels, served by one server at a time, readable
// by its user only, and copied consistently while it serves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>

#include "ServiceClient.h"

namespace talixdb_test {
namespace {

namespace fs = std::filesystem;

// Bytes that differ with `seed` and along their length.
std::string patterned(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7919 + (i >> 12)) & 0xff);
  return bytes;
}

// The entries of `root` (itself included) that are not owner-only.
std::vector<std::string> notPrivate(const std::string& root) {
  std::vector<std::string> found;
  auto check = [&](const fs::path& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return;
    mode_t expected = S_ISDIR(info.st_mode) ? 0700 : 0600;
    if ((info.st_mode & 0777) != expected) found.push_back(path.string());
  };
  check(root);
  for (const auto& entry : fs::recursive_directory_iterator(root)) check(entry.path());
  return found;
}

class StoreTest : public ::testing::Test {
 protected:
  std::string store() const { return dir.path() + "/store"; }

  // Waits (bounded) until the bytes of an upload are arriving in the store.
  bool uploadIsArriving() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code ignored;
      for (const auto& entry : fs::directory_iterator(store() + "/blobs", ignored))
        if (entry.path().extension() == ".part" && entry.file_size(ignored) > 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  // Waits until a backup into `target` has begun; false once `over`.
  bool backupHasBegun(const std::string& target, const std::atomic<bool>& over) {
    const std::string prefix = fs::path(target).filename().string() + ".incomplete-";
    while (!over) {
      for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
      std::this_thread::yield();
    }
    return false;
  }

  TempDir dir;
};

// What a restart keeps; a server killed while a large new version arrives
// leaves the old bytes or the new ones, whole, and no staged leftovers.
TEST_F(StoreTest, RestartKeepsEverythingAndAKillDuringAnUploadLeavesOldOrNewContent) {
  TestServer server({"--quiet"}, store());
  const std::string oldBytes(1 << 20, 'o');
  const std::string newBytes(64 << 20, 'n');
  {
    ServiceClient admin(server);
    ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
    ASSERT_TRUE(Succeeds(admin.createUser("carol", "carol-pw")));
    ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "kept", nullptr, {{"m_szName", {"value"}, 5, false}})));
    ASSERT_TRUE(Succeeds(admin.upload("/Repository/kept", "file.bin", std::string("a\0b\xff", 4))));
    ASSERT_TRUE(Succeeds(admin.permission("add", "/Repository/kept", "read", "carol")));
    ASSERT_TRUE(Succeeds(admin.upload("/Repository", "victim.bin", oldBytes)));
  }
  std::thread uploader([&] {
    ServiceClient admin(server);
    if (admin.loginAsAdmin().ok()) admin.upload("/Repository", "victim.bin", newBytes);
  });
  EXPECT_TRUE(uploadIsArriving());
  server.stop(SIGKILL);
  uploader.join();

  server.restart();
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  std::string bytes;
  ASSERT_TRUE(Succeeds(admin.download("/Repository/victim.bin", bytes)));
  EXPECT_TRUE(bytes == oldBytes || bytes == newBytes) << "size " << bytes.size();
  for (const auto& entry : fs::directory_iterator(store() + "/blobs"))
    EXPECT_NE(entry.path().extension(), ".part") << "leftover " << entry.path();
  EXPECT_EQ(admin.childNames("/System/Users"), (std::vector<std::string>{"root", "carol"}));
  ns2__SoapModelObject kept;
  ASSERT_TRUE(Succeeds(admin.find("/Repository/kept", kept)));
  ASSERT_EQ(readProperties(kept.properties).size(), 1u);
  EXPECT_EQ(readProperties(kept.properties)[0].items, std::vector<std::string>{"value"});
  ASSERT_TRUE(Succeeds(admin.download("/Repository/kept/file.bin", bytes)));
  EXPECT_EQ(bytes, std::string("a\0b\xff", 4));
  EXPECT_TRUE(Succeeds(admin.permission("has", "/Repository/kept/file.bin", "read", "carol")));
  ServiceClient carol(server);
  EXPECT_TRUE(Succeeds(carol.login("carol", "carol-pw")));
}

// Reading the store gives neither a password nor a live session id.
TEST_F(StoreTest, PasswordsAndSessionIdsAreNotStoredAsTheyTravel) {
  TestServer server({}, store());
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.createUser("dave", "very-distinctive-secret")));
  ServiceClient dave(server);
  ASSERT_TRUE(Succeeds(dave.login("dave", "very-distinctive-secret")));
  const std::vector<std::string> secrets = {"very-distinctive-secret", kAdminPassword, admin.sessionId(),
                                            dave.sessionId()};
  ASSERT_EQ(secrets[2].size(), 32u);
  auto scan = [&] {
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
}

TEST_F(StoreTest, SecondServerIsRefusedWhileAnUploadRunsAndTheUploadKeepsItsContent) {
  TestServer server({"--quiet"}, store());
  const std::string bytes = patterned(64u << 20, 1);
  CallResult uploaded;
  std::thread uploader([&] {
    ServiceClient admin(server);
    uploaded = admin.loginAsAdmin();
    if (uploaded.ok()) uploaded = admin.upload("/Repository", "big.bin", bytes);
  });
  bool arriving = uploadIsArriving();
  ProgramResult second = runServerProgram({"--data", store(), "--port", "0"});
  uploader.join();

  EXPECT_TRUE(arriving);
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(second.out, "");
  EXPECT_NE(second.err.find("error the store in " + store() + " is in use by another server (process " +
                            std::to_string(server.pid()) + ")"),
            std::string::npos)
      << second.err;
  ASSERT_TRUE(Succeeds(uploaded));
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  std::string back;
  ASSERT_TRUE(Succeeds(admin.download("/Repository/big.bin", back)));
  EXPECT_TRUE(back == bytes) << "downloaded " << back.size() << " bytes";
}

TEST_F(StoreTest, StoreIsPrivateWhateverTheUmaskAndAWiderOneIsTightenedWithAWarning) {
  mode_t saved = umask(0);
  {
    TestServer server({}, store());
    ServiceClient admin(server);
    ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
    ASSERT_TRUE(Succeeds(admin.upload("/Repository", "f.bin", "content")));
    EXPECT_EQ(notPrivate(store()), std::vector<std::string>{});
  }
  umask(saved);
  for (const auto& entry : fs::recursive_directory_iterator(store()))
    fs::permissions(entry.path(), entry.is_directory() ? fs::perms(0755) : fs::perms(0644));
  fs::permissions(store(), fs::perms(0755));

  TestServer again({}, store());
  EXPECT_EQ(notPrivate(store()), std::vector<std::string>{});
  const std::string warning = "warning the store in " + store() + " was open to other users: ";
  std::string log = again.log();
  std::size_t first = log.find(warning);
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(warning, first + 1), std::string::npos) << "warned on the first start too";
}

// A backup runs while one client keeps uploading and another deletes a
// folder of large files the moment the backup begins; a server started on
// the copy finds everything the copy names, whole.
TEST_F(StoreTest, BackupWhileUploadsAndDeletesRunIsConsistent) {
  TestServer server({"--quiet"}, store());
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.createUser("carol", "carol-pw")));
  ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "kept")));
  ASSERT_TRUE(Succeeds(admin.upload("/Repository/kept", "file.bin", patterned(1000, 0))));
  ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "doomed")));
  ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "churn")));
  constexpr int kDoomed = 48;
  for (int i = 0; i < kDoomed; ++i) {
    ASSERT_TRUE(Succeeds(admin.upload("/Repository/doomed", "d" + std::to_string(i), patterned(1u << 20, i))));
    admin.clear();
  }

  const std::string copy = dir.path() + "/copy";
  std::atomic<bool> stop{false};
  std::atomic<int> ready{0};
  std::thread uploader([&] {
    ServiceClient client(server);
    client.loginAsAdmin();
    ++ready;
    for (int i = 0; !stop && i < 2000; ++i) {
      client.upload("/Repository/churn", "c" + std::to_string(i), patterned(64u << 10, 1000 + i));
      client.clear();
    }
  });
  std::thread deleter([&] {
    ServiceClient client(server);
    client.loginAsAdmin();
    ++ready;
    if (backupHasBegun(copy, stop)) client.remove("/Repository/doomed");
    for (int i = 0; !stop && i < 2000; ++i) {
      client.remove("/Repository/churn/c" + std::to_string(i));
      client.clear();
    }
  });
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
  ASSERT_TRUE(Succeeds(reader.download("/Repository/kept/file.bin", bytes)));
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
  ServiceClient carol(restored);  // the users come along
  EXPECT_TRUE(Succeeds(carol.login("carol", "carol-pw")));

  ProgramResult again = runServerProgram({"--data", store(), "--backup-to", copy});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(again.err, "talixdb-server: cannot back up " + store() + ": " + copy +
                           " exists already; a backup goes into a new directory\n");
}

}  // namespace
}  // namespace talixdb_test
