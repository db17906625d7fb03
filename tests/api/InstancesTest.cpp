// Instances: saved working copies of a solver's files, numbered, replaced,
// downloaded (or the solver's own files instead) and deleted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/CatalogueTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;

namespace {

class Instances : public CatalogueServerTest {
 protected:
  void SetUp() override {
    CatalogueServerTest::SetUp();
    m_category = testCategory();
    m_localDir = m_temp.path() + "/work";
    ModelPtr model = ModelBuilder("Host").build();
    ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
    m_modelPath = modelPath(m_category, "T", "Host");
    fillLocal("base");
    ASSERT_EQ(0, importSolver("S", Param("file-system", "CAPE_OPTION").withOptions({"case.cfg", "sub\\dir/a.txt"})));
  }

  int importSolver(const std::string& name, const Param& fileList) {
    ModelPtr solver = ModelBuilder(name).localDir(m_localDir).parameters({fileList}).build();
    return m_db.importSolver(m_category.c_str(), "T", "Host", solver.get());
  }
  void fillLocal(const std::string& tag) {
    writeLocalFile(m_localDir + "/case.cfg", awkwardBytes(tag + " case"));
    writeLocalFile(m_localDir + "/sub/dir/a.txt", tag + " a");
  }
  int upload(int& instance, const char* solver = "S") {
    return m_db.uploadInstance(m_modelPath.c_str(), solver, instance, m_localDir.c_str());
  }
  // Uploads `count` new instances, expecting the numbers 1 to count.
  void uploadNew(int count) {
    for (int expected = 1; expected <= count; ++expected) {
      int instance = 0;
      ASSERT_EQ(0, upload(instance));
      ASSERT_EQ(expected, instance);
    }
  }
  bool uploaded(int instance, const char* solver = "S") {
    return m_db.isInstanceUploaded(m_modelPath.c_str(), solver, instance);
  }
  bool remove(int instance) { return m_db.deleteInstance(m_category.c_str(), "T", "Host", "S", instance); }
  // Downloads into a new local folder, returned in `target`.
  int download(int& instance, std::string& target, const char* solver = "S") {
    target = m_temp.path() + "/out" + std::to_string(++m_downloads);
    return m_db.downloadInstance(m_modelPath.c_str(), solver, instance, target.c_str());
  }
  std::string solverPath(const char* solver = "S") const { return m_modelPath + "/Solvers/" + solver; }

  std::string m_category;
  std::string m_modelPath;
  std::string m_localDir;
  TempDir m_temp;
  int m_downloads = 0;
};

// ---- numbering ---------------------------------------------------------------------

TEST_F(Instances, FirstInstanceIsNumbered1) {
  int instance = 0;
  EXPECT_EQ(0, upload(instance));
  EXPECT_EQ(1, instance);
  EXPECT_TRUE(uploaded(1));
  EXPECT_FALSE(uploaded(2));
  EXPECT_FALSE(uploaded(0));
}

TEST_F(Instances, NewInstanceTakesTheFirstGap) {
  uploadNew(4);
  ASSERT_TRUE(remove(3));
  int instance = 0;
  EXPECT_EQ(0, upload(instance));
  EXPECT_EQ(3, instance);
}

TEST_F(Instances, NumberingCountsFromTheSmallestNumberInUse) {
  uploadNew(3);
  ASSERT_TRUE(remove(1));
  int instance = 0;
  EXPECT_EQ(0, upload(instance));
  EXPECT_EQ(4, instance);
  EXPECT_FALSE(uploaded(1));
}

TEST_F(Instances, ReplacingAnInstanceKeepsItsNumberAndDropsTheOldFolderLast) {
  uploadNew(2);
  fillLocal("second");
  const size_t from = logSize();
  int instance = 2;
  EXPECT_EQ(0, upload(instance));
  EXPECT_EQ(2, instance);

  // The old folder is deleted after the last file of the new one arrived.
  const Names requests = requestsSince(from);
  size_t lastUpload = 0, deletion = 0;
  for (size_t i = 0; i < requests.size(); ++i) {
    if (requests[i].rfind("uploadFiles ", 0) == 0) lastUpload = i + 1;
    if (requests[i].rfind("deleteModelObject ", 0) == 0) deletion = i + 1;
  }
  EXPECT_GT(lastUpload, 0u);
  EXPECT_GT(deletion, lastUpload);

  std::string target;
  EXPECT_EQ(0, download(instance, target));
  EXPECT_EQ(awkwardBytes("second case"), readLocalFile(target + "/case.cfg"));
  // Only one folder of number 2 is left.
  EXPECT_TRUE(remove(2));
  EXPECT_FALSE(uploaded(2));
  EXPECT_TRUE(uploaded(1));
}

TEST_F(Instances, FailedReplacementKeepsTheOldInstance) {
  uploadNew(1);
  std::filesystem::remove(m_localDir + "/sub/dir/a.txt");
  const size_t from = logSize();
  int instance = 1;
  EXPECT_EQ(20, upload(instance));
  EXPECT_EQ(1, instance);
  for (const std::string& request : requestsSince(from)) EXPECT_NE(0u, request.rfind("deleteModelObject ", 0));
  // Two folders of number 1 now: removing one leaves the other.
  EXPECT_TRUE(remove(1));
  EXPECT_TRUE(uploaded(1));
}

TEST_F(Instances, DirectoryInTheFileListReturns20) {
  std::filesystem::remove(m_localDir + "/sub/dir/a.txt");
  std::filesystem::create_directory(m_localDir + "/sub/dir/a.txt");
  int instance = 0;
  EXPECT_EQ(20, upload(instance));
  EXPECT_EQ(1, instance);
}

// ---- what is stored and downloaded ----------------------------------------------

TEST_F(Instances, DownloadedInstanceHoldsTheFilesOfItsUpload) {
  fillLocal("v1");
  int instance = 0;
  ASSERT_EQ(0, upload(instance));
  fillLocal("v2");
  std::string target;
  EXPECT_EQ(0, download(instance, target));
  EXPECT_EQ(1, instance);
  EXPECT_EQ((Names{"case.cfg", "sub/dir/a.txt"}), localTree(target));
  EXPECT_EQ(awkwardBytes("v1 case"), readLocalFile(target + "/case.cfg"));
  EXPECT_EQ("v1 a", readLocalFile(target + "/sub/dir/a.txt"));
}

TEST_F(Instances, DownloadOfAMissingNumberGivesTheSolverFilesAndMinus1) {
  fillLocal("later");
  int instance = 0;
  ASSERT_EQ(0, upload(instance));
  instance = 9;
  std::string target;
  EXPECT_EQ(0, download(instance, target));
  EXPECT_EQ(-1, instance);
  EXPECT_EQ(awkwardBytes("base case"), readLocalFile(target + "/case.cfg"));
  EXPECT_EQ("base a", readLocalFile(target + "/sub/dir/a.txt"));
}

TEST_F(Instances, DownloadForAMissingSolverReturns21AndMinus1) {
  int instance = 1;
  std::string target;
  EXPECT_EQ(21, download(instance, target, "Nobody"));
  EXPECT_EQ(-1, instance);
  EXPECT_FALSE(localExists(target));
}

TEST_F(Instances, UploadAndDownloadReportProgress) {
  AttachedLogger logger(m_db);
  int instance = 0;
  ASSERT_EQ(0, upload(instance));
  instance = 9;
  std::string target;
  ASSERT_EQ(0, download(instance, target));
  ASSERT_EQ(2u, logger.messages.size());
  EXPECT_EQ(1, logger.messages[0].first);
  const std::string uploading = "Uploading instance:\n" + solverPath() + "/Instances/000000001-";
  EXPECT_EQ(0u, logger.texts()[0].find(uploading));
  EXPECT_EQ(1, logger.messages[1].first);
  EXPECT_EQ("Downloading instance:\nSource: " + m_modelPath + "/S\nInstance: 9\nDestination: " + target + "\n",
            logger.texts()[1]);
}

// ---- deleting ------------------------------------------------------------------------

TEST_F(Instances, DeleteInstanceRemovesOnlyThatNumber) {
  uploadNew(2);
  EXPECT_TRUE(remove(1));
  EXPECT_FALSE(uploaded(1));
  EXPECT_TRUE(uploaded(2));
  EXPECT_FALSE(remove(1));
  EXPECT_FALSE(m_db.deleteInstance(m_category.c_str(), "T", "Host", "Nobody", 2));
}

TEST_F(Instances, DeleteAllFolderInstancesWithoutALoggerTouchesNothing) {
  uploadNew(1);
  const size_t from = logSize();
  EXPECT_EQ(0, m_db.deleteAllFolderInstances(m_modelPath.c_str()));
  EXPECT_EQ(Names{}, requestsSince(from));  // not even a look
  EXPECT_TRUE(uploaded(1));
}

TEST_F(Instances, DeleteAllFolderInstancesEmptiesInstancesAndReports) {
  uploadNew(2);
  const std::string report = "plain report";
  ASSERT_EQ(0,
            m_db.uploadSurface(m_modelPath.c_str(), "S", "inlet", 1, report.c_str(), static_cast<long>(report.size())));
  ASSERT_TRUE(m_db.isSurfaceUploaded(m_modelPath.c_str(), "S", 1, "inlet"));
  AttachedLogger logger(m_db);
  EXPECT_EQ(0, m_db.deleteAllFolderInstances(m_modelPath.c_str()));
  EXPECT_EQ(28, m_db.deleteAllFolderInstances((m_modelPath + "/Nothing").c_str()));

  EXPECT_FALSE(uploaded(1));
  EXPECT_FALSE(uploaded(2));
  EXPECT_FALSE(m_db.isSurfaceUploaded(m_modelPath.c_str(), "S", 1, "inlet"));
  EXPECT_TRUE(logger.contains(solverPath() + "/Instances has  been deleted."));
  EXPECT_TRUE(logger.contains(solverPath() + "/Reports has  been deleted."));
  // The emptied folder is there again: the next instance starts at 1.
  int instance = 0;
  EXPECT_EQ(0, upload(instance));
  EXPECT_EQ(1, instance);
  // The solver's own files are not instances and stay.
  instance = 5;
  std::string target;
  EXPECT_EQ(0, download(instance, target));
  EXPECT_EQ("base a", readLocalFile(target + "/sub/dir/a.txt"));
}

// ---- the file list ---------------------------------------------------------------------

TEST_F(Instances, SolverWithoutAFileListUploadsNothingAndKeepsTheNumber) {
  ModelPtr solver = ModelBuilder("NoList").build();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "Host", solver.get()));
  int instance = 7;
  EXPECT_EQ(0, upload(instance, "NoList"));
  EXPECT_EQ(7, instance);
  EXPECT_FALSE(uploaded(7, "NoList"));
  EXPECT_FALSE(uploaded(1, "NoList"));
}

TEST_F(Instances, FileListThatIsNotAnOptionReturns22) {
  ASSERT_EQ(0, importSolver("Text", Param("file-system", "CAPE_STRING")));
  int instance = 0;
  EXPECT_EQ(22, upload(instance, "Text"));
  EXPECT_FALSE(uploaded(1, "Text"));
}

TEST_F(Instances, EntryLeavingTheLocalFolderIsRefused) {
  writeLocalFile(m_temp.path() + "/x", "outside");
  // The import itself refuses the entry, but the solver folder is made.
  ASSERT_EQ(20, importSolver("Unsafe", Param("file-system", "CAPE_OPTION").withOptions({"../x"})));
  int instance = 0;
  EXPECT_EQ(20, upload(instance, "Unsafe"));
  EXPECT_EQ(1, instance);
  std::string target;
  EXPECT_EQ(0, download(instance, target, "Unsafe"));
  EXPECT_EQ(Names{}, localTree(target));
}

}  // namespace
