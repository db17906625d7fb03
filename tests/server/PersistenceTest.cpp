// What survives a restart, and what a crash in the middle of an upload leaves.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "ServiceClient.h"

namespace talixdb_test {
namespace {

TEST(Persistence, RestartKeepsUsersObjectsPropertiesFilesAndPermissions) {
  TempDir dir;
  TestServer server({}, dir.path() + "/store");
  {
    ServiceClient admin(server);
    ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
    ASSERT_TRUE(Succeeds(admin.createUser("carol", "carol-pw")));
    ASSERT_TRUE(Succeeds(admin.createFolder("/Repository", "kept", nullptr, {{"m_szName", {"value"}, 5, false}})));
    ASSERT_TRUE(Succeeds(admin.upload("/Repository/kept", "file.bin", std::string("a\0b\xff", 4))));
    ASSERT_TRUE(Succeeds(admin.addPermission("/Repository/kept", "read", "carol")));
  }
  server.restart();
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  EXPECT_EQ(admin.childNames("/System/Users"), (std::vector<std::string>{"root", "carol"}));
  ns2__SoapModelObject kept;
  ASSERT_TRUE(Succeeds(admin.find("/Repository/kept", kept)));
  std::vector<TestProperty> properties = readProperties(kept.properties);
  ASSERT_EQ(properties.size(), 1u);
  EXPECT_EQ(properties[0].items, std::vector<std::string>{"value"});
  std::string bytes;
  ASSERT_TRUE(Succeeds(admin.download("/Repository/kept/file.bin", bytes)));
  EXPECT_EQ(bytes, std::string("a\0b\xff", 4));
  EXPECT_TRUE(admin.hasPermission("/Repository/kept/file.bin", "read", "carol"));
  ServiceClient carol(server);
  EXPECT_TRUE(Succeeds(carol.login("carol", "carol-pw")));
}

// Reading the store gives neither a password nor a live session id.
TEST(Persistence, PasswordsAndSessionIdsAreNotStoredAsTheyTravel) {
  TempDir dir;
  TestServer server({}, dir.path() + "/store");
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  ASSERT_TRUE(Succeeds(admin.createUser("dave", "very-distinctive-secret")));
  ServiceClient dave(server);
  ASSERT_TRUE(Succeeds(dave.login("dave", "very-distinctive-secret")));
  const std::vector<std::string> secrets = {"very-distinctive-secret", kAdminPassword, admin.sessionId(),
                                            dave.sessionId()};
  ASSERT_EQ(secrets[2].size(), 32u);
  auto scan = [&] {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path() + "/store")) {
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

// The server is killed while a large new version is arriving; after a
// restart the file holds either the old bytes or the new ones, whole.
TEST(Persistence, KillDuringAnUploadLeavesOldOrNewContentNeverAMix) {
  TempDir dir;
  const std::string store = dir.path() + "/store";
  TestServer server({"--quiet"}, store);
  const std::string oldBytes(1 << 20, 'o');
  const std::string newBytes(64 << 20, 'n');
  {
    ServiceClient admin(server);
    ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
    ASSERT_TRUE(Succeeds(admin.upload("/Repository", "victim.bin", oldBytes)));
  }
  std::thread uploader([&] {
    ServiceClient admin(server);
    if (admin.loginAsAdmin().ok()) admin.upload("/Repository", "victim.bin", newBytes);
  });
  // Kill once the new bytes have started to land in the store.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool receiving = false;
  while (!receiving && std::chrono::steady_clock::now() < deadline) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(store + "/blobs", ignored)) {
      if (entry.path().extension() == ".part" && entry.file_size(ignored) > 0) receiving = true;
    }
    if (!receiving) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  server.stop(SIGKILL);
  uploader.join();
  EXPECT_TRUE(receiving);

  server.restart();
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  std::string bytes;
  ASSERT_TRUE(Succeeds(admin.download("/Repository/victim.bin", bytes)));
  EXPECT_TRUE(bytes == oldBytes || bytes == newBytes) << "size " << bytes.size();
  for (const auto& entry : std::filesystem::directory_iterator(store + "/blobs"))
    EXPECT_NE(entry.path().extension(), ".part") << "leftover " << entry.path();
}

}  // namespace
}  // namespace talixdb_test
