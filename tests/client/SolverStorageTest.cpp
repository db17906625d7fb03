// The repository side of a solver's files and results: the file tree and the
// grid files as stored, a downloaded tree whose names could escape the local
// folder, and the names of instance folders and precomputed-result entries.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "client/StorageTestSupport.h"

using namespace talixdb_test;

namespace {

class SolverStorage : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    m_category = testCategory();
    m_localDir = m_temp.path() + "/work";
    ModelPtr model = ModelBuilder("Host").build();
    ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
    m_modelPath = modelPath(m_category, "T", "Host");
  }
  int importListing(const std::string& name, const Names& files) {
    ModelPtr solver = ModelBuilder(name)
                          .localDir(m_localDir)
                          .parameters({Param("file-system", "CAPE_OPTION").withOptions(files)})
                          .build();
    return m_db.importSolver(m_category.c_str(), "T", "Host", solver.get());
  }
  std::string solverPath(const std::string& name) const { return m_modelPath + "/Solvers/" + name; }

  std::string m_category;
  std::string m_modelPath;
  std::string m_localDir;
  TempDir m_temp;
};

// True when `name` is "%09d-" of `number` followed by a time in [from, to].
::testing::AssertionResult numberedAt(const std::string& name, int number, long long from, long long to) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%09d-", number);
  if (name.compare(0, 10, prefix) != 0) return ::testing::AssertionFailure() << name << " lacks " << prefix;
  const std::string digits = name.substr(10);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
    return ::testing::AssertionFailure() << name << " has no time after the number";
  const long long time = std::atoll(digits.c_str());
  if (time < from || time > to) return ::testing::AssertionFailure() << name << " has a time outside the upload";
  return ::testing::AssertionSuccess();
}

long long now() { return static_cast<long long>(std::time(nullptr)); }

TEST_F(SolverStorage, FileTreeFoldersAreMadeOnceAndFilesKeepTheirNames) {
  writeLocalFile(m_localDir + "/case.cfg", "c");
  writeLocalFile(m_localDir + "/data/mesh/a.txt", "a");
  writeLocalFile(m_localDir + "/data/mesh/b.txt", "b");
  ASSERT_EQ(0, importListing("Files", {"case.cfg", "data\\mesh/a.txt", "data/mesh\\b.txt"}));
  const std::string root = solverPath("Files") + "/FileSystem";
  EXPECT_EQ((Names{"case.cfg", "data"}), m_repo->children(root));
  EXPECT_EQ((Names{"mesh"}), m_repo->children(root + "/data"));
  EXPECT_EQ((Names{"a.txt", "b.txt"}), m_repo->children(root + "/data/mesh"));
  EXPECT_EQ("Folder", m_repo->typeName(root + "/data/mesh"));
  EXPECT_EQ("File", m_repo->typeName(root + "/data/mesh/b.txt"));
  EXPECT_EQ("File", m_repo->typeName(root + "/case.cfg"));
}

TEST_F(SolverStorage, NodePositionsOfEverySurfaceGoBeforeAnyConnectivity) {
  ModelPtr solver = ModelBuilder("Grids").surface("inlet", "n1", "c1").surface("wall", "n2", "c2").build();
  const size_t from = logSize();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "Host", solver.get()));
  const std::string grid = solverPath("Grids") + "/Grid";
  // Children come in the order they were made.
  EXPECT_EQ((Names{"NodePositions_inlet.txt", "NodePositions_wall.txt", "GridConnectivity_inlet.txt",
                   "GridConnectivity_wall.txt"}),
            m_repo->children(grid));
  int uploads = 0;
  for (const std::string& request : requestsSince(from))
    if (request.rfind("uploadFiles ", 0) == 0) ++uploads;
  EXPECT_EQ(4, uploads);
}

TEST_F(SolverStorage, DownloadRefusesAChildNameWithABackslash) {
  writeLocalFile(m_localDir + "/case.cfg", "c");
  ASSERT_EQ(0, importListing("Odd", {"case.cfg"}));
  const std::string root = solverPath("Odd") + "/FileSystem";
  // A backslash is an ordinary character in a repository name.
  ASSERT_FALSE(m_repo->client().createFolder(root, "a\\b").empty());
  ASSERT_FALSE(m_repo->client().uploadFile(root + "/a\\b/inner.txt", "inner", 0).empty());

  AttachedLogger logger(m_db);
  const std::string target = m_temp.path() + "/out/copy";
  std::filesystem::create_directories(m_temp.path() + "/out");
  int instance = 1;  // no instances: the solver's own tree is downloaded
  EXPECT_EQ(28, m_db.downloadInstance(m_modelPath.c_str(), "Odd", instance, target.c_str()));
  EXPECT_EQ(-1, instance);
  EXPECT_TRUE(logger.contains("Error accessing " + root + "/a\\b"));
  EXPECT_EQ((Names{"case.cfg"}), localTree(target));
  EXPECT_EQ((Names{"copy/case.cfg"}), localTree(m_temp.path() + "/out"));
}

TEST_F(SolverStorage, InstanceFolderIsNamedWithItsNumberAndUploadTime) {
  writeLocalFile(m_localDir + "/case.cfg", "c");
  ASSERT_EQ(0, importListing("S", {"case.cfg"}));
  const long long before = now();
  int instance = 0;
  ASSERT_EQ(0, m_db.uploadInstance(m_modelPath.c_str(), "S", instance, m_localDir.c_str()));
  const long long after = now();
  const Names names = m_repo->children(solverPath("S") + "/Instances");
  ASSERT_EQ(1u, names.size());
  EXPECT_TRUE(numberedAt(names[0], 1, before, after));
  EXPECT_EQ((Names{"case.cfg"}), m_repo->children(solverPath("S") + "/Instances/" + names[0]));
}

TEST_F(SolverStorage, InstanceNumbersAreReadFromHandMadeNames) {
  writeLocalFile(m_localDir + "/case.cfg", "c");
  ASSERT_EQ(0, importListing("S", {"case.cfg"}));
  const std::string instances = solverPath("S") + "/Instances";
  ASSERT_FALSE(m_repo->makeFolder(solverPath("S"), "Instances").empty());
  for (const char* name : {"000000001-100", "000000002-100", "000000004-100"})
    ASSERT_FALSE(m_repo->makeFolder(instances, name).empty());
  EXPECT_TRUE(m_db.isInstanceUploaded(m_modelPath.c_str(), "S", 4));
  EXPECT_FALSE(m_db.isInstanceUploaded(m_modelPath.c_str(), "S", 3));
  int instance = 0;
  ASSERT_EQ(0, m_db.uploadInstance(m_modelPath.c_str(), "S", instance, m_localDir.c_str()));
  EXPECT_EQ(3, instance);
  EXPECT_EQ(4u, m_repo->children(instances).size());
}

// ---- precomputed results ------------------------------------------------------------

TEST_F(SolverStorage, PreComputedResultsAreNumberedFrom1) {
  ASSERT_EQ(0, importListing("S", {}));
  const long long before = now();
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(m_modelPath.c_str(), "S", "first block\n1 2 3"));
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(m_modelPath.c_str(), "S", "second block"));
  const long long after = now();
  const std::string results = solverPath("S") + "/PreComputedResults v1.0";
  const Names names = m_repo->children(results);
  ASSERT_EQ(2u, names.size());
  EXPECT_TRUE(numberedAt(names[0], 1, before, after));
  EXPECT_TRUE(numberedAt(names[1], 2, before, after));
  EXPECT_EQ((Names{"m_szContent"}), m_repo->declaredNames(results + "/" + names[0]));
  EXPECT_EQ("first block\n1 2 3", m_repo->text(results + "/" + names[0], "m_szContent"));
  EXPECT_EQ("second block", m_repo->text(results + "/" + names[1], "m_szContent"));
  EXPECT_EQ(Names{}, m_repo->children(results + "/" + names[0]));
}

TEST_F(SolverStorage, PreComputedResultTakesTheFirstGap) {
  ASSERT_EQ(0, importListing("S", {}));
  const std::string results = solverPath("S") + "/PreComputedResults v1.0";
  ASSERT_FALSE(m_repo->makeFolder(solverPath("S"), "PreComputedResults v1.0").empty());
  for (const char* name : {"000000001-7", "000000002-7", "000000004-7"})
    ASSERT_FALSE(m_repo->makeFolder(results, name).empty());
  const long long before = now();
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(m_modelPath.c_str(), "S", "x"));
  const Names names = m_repo->children(results);
  ASSERT_EQ(4u, names.size());
  EXPECT_TRUE(numberedAt(names[3], 3, before, now()));
}

TEST_F(SolverStorage, PreComputedNumberingCountsFromTheSmallestInUse) {
  ASSERT_EQ(0, importListing("S", {}));
  const std::string results = solverPath("S") + "/PreComputedResults v1.0";
  ASSERT_FALSE(m_repo->makeFolder(solverPath("S"), "PreComputedResults v1.0").empty());
  for (const char* name : {"000000002-7", "000000003-7"}) ASSERT_FALSE(m_repo->makeFolder(results, name).empty());
  const long long before = now();
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(m_modelPath.c_str(), "S", "x"));
  const Names names = m_repo->children(results);
  ASSERT_EQ(3u, names.size());
  EXPECT_TRUE(numberedAt(names[2], 4, before, now()));
}

TEST_F(SolverStorage, PreComputedResultForAMissingSolverReturns25) {
  EXPECT_EQ(25, m_db.uploadPreComputedResultsVersion1(m_modelPath.c_str(), "Nobody", "x"));
  EXPECT_FALSE(m_repo->exists(solverPath("Nobody")));
}

}  // namespace
