// Folder backup and restore through the public handle against the real
// server: the progress and error messages, and what each refusal leaves
// untouched. The object-by-object round trip is in the client tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "api/AdminTestSupport.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using talixdb_test::AdminSession;
using talixdb_test::RecordingLogger;
using talixdb_test::TempDir;
using talixdb_test::TestServer;
using talixdb_test::textsOfType;
using VLT_121::CVLTDatabase;
using Texts = std::vector<std::string>;
namespace rc = VLT_121::ResultCode;

const std::string kRoot = "/Repository/talixdb";
const std::string kPropertiesFile = "TALIX_BackedUp_Properties_EF64F6C7-2C4F-4559-9ADF-61B0C85169CF";

bool exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

class BackupRefusals : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("VLT_ADMIN_PASSWORD", talixdb_test::kAdminPassword, 1);
    s_server = new TestServer();
    CVLTDatabase admin;
    ASSERT_TRUE(admin.open(s_server->address().c_str()));
    ASSERT_EQ(admin.createTalixDb(), 0);
    admin.logout();
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(m_admin.open); }

  // Stores `bytes` as report 1 of surface "surf" below kRoot/<category>/Solvers/S.
  void storeFile(const std::string& category, const std::string& bytes) {
    ASSERT_EQ(db().uploadSurface((kRoot + "/" + category).c_str(), "S", "surf", 1, bytes.data(),
                                 static_cast<long>(bytes.size())),
              0);
  }
  bool stored(const std::string& category) {
    return db().isSurfaceUploaded((kRoot + "/" + category).c_str(), "S", 1, "surf");
  }

  CVLTDatabase& db() { return m_admin.db; }
  RecordingLogger& logger() { return m_admin.logger; }

  static TestServer* s_server;
  AdminSession m_admin{*s_server};
  TempDir m_local;
};
TestServer* BackupRefusals::s_server = nullptr;

TEST_F(BackupRefusals, BackupAndRestoreReportEveryFolderInOrder) {
  storeFile("Logged", "plain bytes, not a report");
  const std::string remote = kRoot + "/Logged/Solvers/S/Reports";
  const std::string local = m_local.path() + "/copy";
  logger().messages.clear();
  ASSERT_EQ(db().backupTALIXFolder(remote.c_str(), local.c_str()), 0);
  EXPECT_EQ(textsOfType(logger(), 1),
            (Texts{"Start downloading " + remote + ".\n", "Destination folder:\n " + local + ".\n",
                   "Start downloading " + remote + "/000000001.\n",
                   "Destination folder:\n " + local + "/000000001.\n",
                   "Succesful download of " + remote + "/000000001.\n", "Succesful download of " + remote + ".\n"}));
  EXPECT_TRUE(textsOfType(logger(), 0).empty());

  logger().messages.clear();
  ASSERT_EQ(db().restoreTALIXFolder(remote.c_str(), local.c_str()), 0);
  EXPECT_EQ(textsOfType(logger(), 1),
            (Texts{"Start Restoring " + remote + ".", "Start Restoring " + remote + "/000000001.",
                   "Uploading File:\n" + local + "/000000001/surf\n",
                   "Successful restoring of " + remote + "/000000001.", "Successful restoring of " + remote + "."}));
  EXPECT_TRUE(textsOfType(logger(), 0).empty());
  char* data = nullptr;
  long size = db().downloadSurface((kRoot + "/Logged").c_str(), "S", 1, "surf", data);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(size)), "plain bytes, not a report");
  db().releaseMemory(data);
}

TEST_F(BackupRefusals, BackupIntoANonEmptyDirectoryIsRefused) {
  storeFile("Full", "x");
  const std::string local = m_local.path() + "/busy";
  ASSERT_EQ(::mkdir(local.c_str(), 0755), 0);
  std::ofstream(local + "/keep.txt") << "mine";
  EXPECT_EQ(db().backupTALIXFolder((kRoot + "/Full").c_str(), local.c_str()), rc::kLocalNotMade);
  EXPECT_EQ(textsOfType(logger(), 0),
            (Texts{"Error creating local folder:\n " + local + ".\n" + "Please try to remove the folder manualy.\n"}));
  EXPECT_FALSE(exists(local + "/" + kPropertiesFile));
  EXPECT_TRUE(exists(local + "/keep.txt"));
}

TEST_F(BackupRefusals, AnEmptyDirectoryIsReused) {
  storeFile("Reused", "x");
  const std::string local = m_local.path() + "/empty";
  ASSERT_EQ(::mkdir(local.c_str(), 0755), 0);
  EXPECT_EQ(db().backupTALIXFolder((kRoot + "/Reused").c_str(), local.c_str()), 0);
  EXPECT_TRUE(exists(local + "/" + kPropertiesFile));
  EXPECT_TRUE(exists(local + "/Solvers/S/Reports/000000001/surf"));
}

TEST_F(BackupRefusals, BackupOfAMissingFolderGivesTwentyEight) {
  const std::string remote = kRoot + "/NoSuchCategory";
  EXPECT_EQ(db().backupTALIXFolder(remote.c_str(), (m_local.path() + "/none").c_str()), rc::kNotFound);
  EXPECT_EQ(textsOfType(logger(), 0), (Texts{"Error accessing " + remote}));
}

TEST_F(BackupRefusals, ChildNameThatCouldLeaveTheLocalFolderIsRefused) {
  ASSERT_EQ(db().addCategory("Odd"), 0);
  ASSERT_EQ(db().addType("up\\side", "Odd"), 0);
  const std::string local = m_local.path() + "/odd";
  EXPECT_EQ(db().backupTALIXFolder((kRoot + "/Odd").c_str(), local.c_str()), rc::kNotFound);
  EXPECT_EQ(textsOfType(logger(), 0), (Texts{"Error accessing " + kRoot + "/Odd/up\\side.\n"}));
  EXPECT_FALSE(exists(local + "/up\\side"));
}

TEST_F(BackupRefusals, RestoreAtAnotherDepthIsRefusedAndDeletesNothing) {
  storeFile("Deep", "top");
  storeFile("Deep/Sub", "below");
  const std::string local = m_local.path() + "/deep";
  ASSERT_EQ(db().backupTALIXFolder((kRoot + "/Deep").c_str(), local.c_str()), 0);
  logger().messages.clear();
  EXPECT_EQ(db().restoreTALIXFolder((kRoot + "/Deep/Sub").c_str(), local.c_str()), rc::kRestoreFailed);
  EXPECT_EQ(textsOfType(logger(), 0), (Texts{"Invalid folder format. File:\n" + local + "/" + kPropertiesFile}));
  EXPECT_TRUE(stored("Deep/Sub"));
  // The same depth elsewhere passes the check.
  EXPECT_EQ(db().restoreTALIXFolder((kRoot + "/DeepCopy").c_str(), local.c_str()), 0);
  EXPECT_TRUE(stored("DeepCopy"));
  EXPECT_TRUE(stored("DeepCopy/Sub"));
}

TEST_F(BackupRefusals, RestoreWithoutThePropertiesFileDeletesNothing) {
  storeFile("Kept", "precious");
  const std::string local = m_local.path() + "/bare";
  ASSERT_EQ(::mkdir(local.c_str(), 0755), 0);
  std::ofstream(local + "/stray.txt") << "not a backup";
  EXPECT_EQ(db().restoreTALIXFolder((kRoot + "/Kept").c_str(), local.c_str()), rc::kRestoreFailed);
  EXPECT_EQ(textsOfType(logger(), 0), (Texts{"Invalid folder format: missing file:\n" + local + "/" + kPropertiesFile}));
  EXPECT_TRUE(stored("Kept"));
}

TEST_F(BackupRefusals, BrokenCopyBelowTheTopDeletesNothing) {
  storeFile("Layered", "old");
  const std::string local = m_local.path() + "/layered";
  ASSERT_EQ(db().backupTALIXFolder((kRoot + "/Layered").c_str(), local.c_str()), 0);
  const std::string broken = local + "/Solvers/S/Reports/000000001/" + kPropertiesFile;
  ASSERT_EQ(std::remove(broken.c_str()), 0);
  logger().messages.clear();
  EXPECT_EQ(db().restoreTALIXFolder((kRoot + "/Layered").c_str(), local.c_str()), rc::kRestoreFailed);
  EXPECT_EQ(textsOfType(logger(), 0), (Texts{"Invalid folder format: missing file:\n" + broken}));
  EXPECT_TRUE(stored("Layered"));
}

TEST_F(BackupRefusals, RemotePathWithoutASlashIsRefusedSilently) {
  storeFile("Slashless", "x");
  const std::string local = m_local.path() + "/slashless";
  ASSERT_EQ(db().backupTALIXFolder((kRoot + "/Slashless").c_str(), local.c_str()), 0);
  logger().messages.clear();
  EXPECT_EQ(db().restoreTALIXFolder("talixdb", local.c_str()), rc::kRestoreFailed);
  EXPECT_EQ(textsOfType(logger(), 1), (Texts{"Start Restoring talixdb."}));
  EXPECT_TRUE(textsOfType(logger(), 0).empty());
}

}  // namespace
