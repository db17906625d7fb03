// A solver's files and grids: the files its "file-system" parameter lists go
// into the repository with the import and come back with downloadSolver; the
// grid texts of each surface are stored beside them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "api/CatalogueTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;

namespace {

class SolverFiles : public CatalogueServerTest {
 protected:
  void SetUp() override {
    CatalogueServerTest::SetUp();
    m_category = testCategory();
    ModelPtr model = ModelBuilder("Host").build();
    ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
    m_localDir = m_temp.path() + "/solver";
    std::filesystem::create_directories(m_localDir);
  }

  // Imports solver `name` whose "file-system" parameter lists `files`.
  int importListing(const std::string& name, const Names& files, std::vector<Port> ports = {}) {
    ModelPtr solver = ModelBuilder(name)
                          .localDir(m_localDir)
                          .ports(ports)
                          .parameters({Param("file-system", "CAPE_OPTION").withOptions(files)})
                          .build();
    return m_db.importSolver(m_category.c_str(), "T", "Host", solver.get());
  }
  std::string modelPath() const { return CatalogueServerTest::modelPath(m_category, "T", "Host"); }
  std::string solverPath(const std::string& name) const { return modelPath() + "/Solvers/" + name; }
  // Downloads the solver's file tree into a new local folder and lists it.
  Names downloaded(const std::string& name) {
    const std::string target = m_temp.path() + "/out-" + name;
    EXPECT_EQ(0, m_db.downloadSolver(solverPath(name).c_str(), target.c_str()));
    return localTree(target);
  }
  std::string local(const std::string& relative) const { return m_localDir + "/" + relative; }

  std::string m_category;
  TempDir m_temp;
  std::string m_localDir;
};

TEST_F(SolverFiles, ListedFilesComeBackByteForByte) {
  writeLocalFile(local("case.cfg"), awkwardBytes("case"));
  writeLocalFile(local("data/mesh/a.txt"), awkwardBytes("a"));
  writeLocalFile(local("data/mesh/b.txt"), "");
  ASSERT_EQ(0, importListing("Files", {"case.cfg", "data\\mesh/a.txt", "data/mesh\\b.txt"}));

  const std::string target = m_temp.path() + "/copy";
  EXPECT_EQ(0, m_db.downloadSolver(solverPath("Files").c_str(), target.c_str()));
  EXPECT_EQ((Names{"case.cfg", "data/mesh/a.txt", "data/mesh/b.txt"}), localTree(target));
  EXPECT_EQ(awkwardBytes("case"), readLocalFile(target + "/case.cfg"));
  EXPECT_EQ(awkwardBytes("a"), readLocalFile(target + "/data/mesh/a.txt"));
  EXPECT_EQ("", readLocalFile(target + "/data/mesh/b.txt"));
}

TEST_F(SolverFiles, MissingLocalFileReturns20AndStopsTheUpload) {
  writeLocalFile(local("case.cfg"), "case");
  writeLocalFile(local("later.txt"), "later");
  EXPECT_EQ(20, importListing("Partial", {"case.cfg", "missing.txt", "later.txt"}));
  EXPECT_EQ((Names{"case.cfg"}), downloaded("Partial"));
}

TEST_F(SolverFiles, EntriesThatCouldLeaveTheLocalFolderAreRefused) {
  writeLocalFile(m_temp.path() + "/x", "outside");
  writeLocalFile(local("a/b"), "inside, but named with an empty part");
  writeLocalFile(local("data/keep"), "a folder entry");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Up", "../x"}, {"Absolute", "/etc/passwd"}, {"Doubled", "a//b"}, {"Trailing", "data/"}};
  for (const auto& [name, entry] : cases) {
    SCOPED_TRACE(entry);
    EXPECT_EQ(20, importListing(name, {entry}));
    EXPECT_EQ(Names{}, downloaded(name));
  }
}

TEST_F(SolverFiles, ListedPathThatIsNoRegularFileReturns20WithoutBlocking) {
  std::filesystem::create_directories(local("folder"));
  ASSERT_EQ(0, ::mkfifo(local("pipe").c_str(), 0644));  // no writer: opening it plainly would wait
  std::filesystem::create_symlink("/dev/null", local("device"));
  for (const std::string entry : {"folder", "pipe", "device"}) {
    SCOPED_TRACE(entry);
    EXPECT_EQ(20, importListing("Not-" + entry, {entry}));
    EXPECT_EQ(Names{}, downloaded("Not-" + entry));
  }
}

TEST_F(SolverFiles, FirstFailureAmongPortsParametersAndFilesIsReturned) {
  writeLocalFile(local("case.cfg"), "case");
  // The port folder is refused (11) and a file is missing (20): the port
  // failure comes first, and the file tree is still made.
  EXPECT_EQ(11, importListing("Mixed", {"case.cfg", "missing.txt"}, {{"bad/port", "Material", "CAPE_INLET", ""}}));
  EXPECT_EQ((Names{"case.cfg"}), downloaded("Mixed"));
}

TEST_F(SolverFiles, RefusedSolverParameterFolderReturns11) {
  ModelPtr solver = ModelBuilder("BadParameter").parameters({Param("a/b", "CAPE_REAL")}).build();
  EXPECT_EQ(11, m_db.importSolver(m_category.c_str(), "T", "Host", solver.get()));
}

TEST_F(SolverFiles, GridOfEverySurfaceIsStored) {
  ModelPtr solver = ModelBuilder("Surfaces")
                        .surface("inlet", "0 0 0\n1 0 0\n", "0 1\n")
                        .surface("wall", "5 5 5\n", "0\n")
                        .grid("whole nodes\n", "whole cells\n")
                        .build();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "Host", solver.get()));
  auto node = [&](const char* surface) {
    char* data = nullptr;
    long size = 0;
    EXPECT_EQ(0, m_db.downloadSurfaceNodePositions(modelPath().c_str(), "Surfaces", data, size, surface));
    std::string text = data != nullptr ? std::string(data, static_cast<size_t>(size)) : "(none)";
    m_db.releaseMemory(data);
    return text;
  };
  auto cells = [&](const char* surface) {
    char* data = nullptr;
    long size = 0;
    EXPECT_EQ(0, m_db.downloadSurfaceGridConnectivity(modelPath().c_str(), "Surfaces", data, size, surface));
    std::string text = data != nullptr ? std::string(data, static_cast<size_t>(size)) : "(none)";
    m_db.releaseMemory(data);
    return text;
  };
  EXPECT_EQ("0 0 0\n1 0 0\n", node("inlet"));
  EXPECT_EQ("5 5 5\n", node("wall"));
  EXPECT_EQ("0 1\n", cells("inlet"));
  EXPECT_EQ("0\n", cells("wall"));
  // With surfaces, the solver-wide grid texts are not stored.
  EXPECT_EQ("(none)", node(nullptr));
  EXPECT_EQ("(none)", cells(nullptr));
}

TEST_F(SolverFiles, SolverWithoutSurfacesStoresTheUnnamedGrid) {
  ModelPtr solver = ModelBuilder("Plain").grid("nodes\n", "cells\n").build();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "Host", solver.get()));
  char* data = nullptr;
  long size = 0;
  EXPECT_EQ(0, m_db.downloadSurfaceNodePositions(modelPath().c_str(), "Plain", data, size, nullptr));
  ASSERT_NE(nullptr, data);
  EXPECT_EQ("nodes\n", std::string(data, static_cast<size_t>(size)));
  m_db.releaseMemory(data);
  data = nullptr;
  EXPECT_EQ(0, m_db.downloadSurfaceGridConnectivity(modelPath().c_str(), "Plain", data, size, nullptr));
  ASSERT_NE(nullptr, data);
  EXPECT_EQ("cells\n", std::string(data, static_cast<size_t>(size)));
  m_db.releaseMemory(data);
}

TEST_F(SolverFiles, SolverWithoutAFileListGetsAnEmptyFileTree) {
  ModelPtr solver = ModelBuilder("NoList").build();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "Host", solver.get()));
  const std::string target = m_temp.path() + "/empty";
  EXPECT_EQ(0, m_db.downloadSolver(solverPath("NoList").c_str(), target.c_str()));
  EXPECT_TRUE(localExists(target));
  EXPECT_EQ(Names{}, localTree(target));
}

TEST_F(SolverFiles, DownloadSolverOfAMissingSolverReturns21) {
  const std::string target = m_temp.path() + "/none";
  EXPECT_EQ(21, m_db.downloadSolver(solverPath("Nobody").c_str(), target.c_str()));
  EXPECT_FALSE(localExists(target));
}

TEST_F(SolverFiles, DownloadSolverWithoutAFileTreeWritesNothing) {
  writeLocalFile(local("case.cfg"), "case");
  ASSERT_EQ(0, importListing("Bare", {"case.cfg"}));
  AttachedLogger logger(m_db);
  ASSERT_TRUE(m_db.deleteItem((solverPath("Bare") + "/FileSystem").c_str()));
  const std::string target = m_temp.path() + "/bare";
  EXPECT_EQ(0, m_db.downloadSolver(solverPath("Bare").c_str(), target.c_str()));
  EXPECT_FALSE(localExists(target));
}

}  // namespace
