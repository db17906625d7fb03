// Catalogue browsing through the public handle against the real server: the
// snapshot, its filters and the name listings.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "api/ApiTestSupport.h"
#include "api/CatalogueTestSupport.h"
#include "support/ServerLog.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using talixdb_test::ModelBuilder;
using talixdb_test::Names;
using talixdb_test::Param;
using talixdb_test::Port;
using talixdb_test::RecordingLogger;
using talixdb_test::ScopedEnv;
using talixdb_test::TestServer;
using VLT_121::CVLTDatabase;

// A criteria array as a host builds it: rows {label, "contains", value, null}.
class Criteria {
 public:
  Criteria& row(const char* label, const char* value) {
    m_rows.push_back({label, "contains", value, nullptr});
    return *this;
  }
  const char*** get() {
    m_pointers.clear();
    for (auto& r : m_rows) m_pointers.push_back(r.data());
    m_pointers.push_back(nullptr);
    return m_pointers.data();
  }

 private:
  std::vector<std::vector<const char*>> m_rows;
  std::vector<const char**> m_pointers;
};

// A solver that fits the model Shell (its species and its parameter "area")
// with one file, listed by its "file-system" parameter, so that instances of
// it can be saved from `localDir`.
talixdb_test::ModelPtr shellSolver(const char* name, const std::string& localDir) {
  return ModelBuilder(name)
      .localDir(localDir)
      .sortedComponents({"H2O"})
      .parameters(
          {Param("area", "CAPE_STRING"), Param("file-system", "CAPE_OPTION").withOptions({"case.txt"})})
      .build();
}

Names sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

template <typename Count, typename Get>
Names readList(CVLTDatabase& db, Count count, Get get) {
  Names names;
  for (int i = 0; i < (db.*count)(); ++i) names.push_back((db.*get)(i));
  return names;
}

Names modelLeaves(CVLTDatabase& db) {
  db.downloadModelLeafNames();
  return sorted(readList(db, &CVLTDatabase::getNrDownloadedLeafNames, &CVLTDatabase::getDownloadedLeafName));
}

// Catalogue shared by the suite (names listed here in sorted order):
//   Empty                      no types
//   Heat/Exchangers/Shell      "Pump heat"; species H2O; parameter area;
//                              solvers SteadyState (one instance), Transient
//   Pumps/Centrifugal/CentrifugalPump  species H2O, N2; ports inlet, outlet; parameter speed
//   Pumps/Centrifugal/pump     nothing
//   Pumps/Unused               no models
class BrowseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new TestServer();
    s_files = new talixdb_test::TempDir();
    talixdb_test::writeLocalFile(s_files->path() + "/case.txt", "steady case\n");

    ScopedEnv password("VLT_ADMIN_PASSWORD", talixdb_test::kAdminPassword);
    CVLTDatabase admin;
    ASSERT_TRUE(admin.open(s_server->address().c_str()));
    ASSERT_EQ(admin.createTalixDb(), 0);
    ASSERT_EQ(admin.addCategory("Empty"), 0);
    ASSERT_EQ(admin.addCategory("Pumps"), 0);
    ASSERT_EQ(admin.addType("Unused", "Pumps"), 0);
    const std::vector<Port> ports = {{"inlet", "Material", "CAPE_INLET", ""},
                                     {"outlet", "Material", "CAPE_OUTLET", ""}};
    upload(admin, "Pumps", "Centrifugal",
           ModelBuilder("CentrifugalPump")
               .description("moves liquid")
               .components({"H2O", "N2"})
               .ports(ports)
               .parameters({Param("speed", "CAPE_REAL")})
               .build());
    upload(admin, "Pumps", "Centrifugal", ModelBuilder("pump").build());
    upload(admin, "Heat", "Exchangers",
           ModelBuilder("Shell")
               .description("Pump heat")
               .components({"H2O"})
               .parameters({Param("area", "CAPE_STRING")})
               .build());
    for (const char* solverName : {"SteadyState", "Transient"}) {
      ASSERT_EQ(
          admin.importSolver("Heat", "Exchangers", "Shell", shellSolver(solverName, s_files->path()).get()),
          0)
          << solverName;
    }
    int instance = 0;
    ASSERT_EQ(
        admin.uploadInstance((std::string(talixdb_test::kDatabaseRoot) + "/Heat/Exchangers/Shell").c_str(),
                             "SteadyState", instance, s_files->path().c_str()),
        0);
    admin.logout();
  }

  static void TearDownTestSuite() {
    delete s_files;
    delete s_server;
  }

  static void upload(CVLTDatabase& db, const char* category, const char* type, talixdb_test::ModelPtr model) {
    EXPECT_EQ(db.uploadModel(category, type, model.get()), 0) << model->getName();
  }

  void SetUp() override {
    ASSERT_TRUE(m_db.open(s_server->address().c_str()));
    ASSERT_TRUE(m_db.login("root", talixdb_test::kAdminPassword, "Default", 0));
  }
  void TearDown() override { m_db.logout(); }

  // The server's count of requests of `operation` so far ("" for all).
  static int requestCount(const std::string& operation) {
    return talixdb_test::loggedRequestCount(*s_server, operation);
  }

  static TestServer* s_server;
  static talixdb_test::TempDir* s_files;
  CVLTDatabase m_db;
};

TestServer* BrowseTest::s_server = nullptr;
talixdb_test::TempDir* BrowseTest::s_files = nullptr;

TEST_F(BrowseTest, FirstListingTakesTheSnapshotItself) {
  EXPECT_TRUE(m_db.downloadCategoryNames());
  EXPECT_EQ(sorted(readList(m_db, &CVLTDatabase::getNrDownloadedCategoryNames,
                            &CVLTDatabase::getDownloadedCategoryName)),
            (Names{"Empty", "Heat", "Pumps"}));
}

TEST_F(BrowseTest, EveryLevelIsListed) {
  EXPECT_TRUE(m_db.downloadTypeNames("Pumps"));
  EXPECT_EQ(
      sorted(readList(m_db, &CVLTDatabase::getNrDownloadedTypeNames, &CVLTDatabase::getDownloadedTypeName)),
      (Names{"Centrifugal", "Unused"}));
  EXPECT_TRUE(m_db.downloadModelNames("Pumps", "Centrifugal"));
  EXPECT_EQ(
      sorted(readList(m_db, &CVLTDatabase::getNrDownloadedModelNames, &CVLTDatabase::getDownloadedModelName)),
      (Names{"CentrifugalPump", "pump"}));
  EXPECT_TRUE(m_db.downloadSolverNames("Heat", "Exchangers", "Shell"));
  EXPECT_EQ(sorted(readList(m_db, &CVLTDatabase::getNrDownloadedSolverNames,
                            &CVLTDatabase::getDownloadedSolverName)),
            (Names{"SteadyState", "Transient"}));
  EXPECT_TRUE(m_db.downloadInstanceNames("Heat", "Exchangers", "Shell", "SteadyState"));
  ASSERT_EQ(m_db.getNrDownloadedInstanceNames(), 1);
  EXPECT_EQ(std::string(m_db.getDownloadedInstanceName(0)).rfind("000000001-", 0), 0u);
  EXPECT_FALSE(m_db.downloadInstanceNames("Heat", "Exchangers", "Shell", "Transient"));
  EXPECT_FALSE(m_db.downloadSolverNames("Pumps", "Centrifugal", "pump"));
  EXPECT_FALSE(m_db.downloadTypeNames("pumps"));
  EXPECT_EQ(m_db.getNrDownloadedTypeNames(), 0);
}

TEST_F(BrowseTest, LeafListingsNameEveryLeafAndReplaceEachOther) {
  EXPECT_EQ(modelLeaves(m_db), (Names{"Empty", "Heat/Exchangers/Shell", "Pumps/Centrifugal/CentrifugalPump",
                                      "Pumps/Centrifugal/pump", "Pumps/Unused"}));
  EXPECT_TRUE(m_db.downloadSolverLeafNames());
  EXPECT_EQ(
      sorted(readList(m_db, &CVLTDatabase::getNrDownloadedLeafNames, &CVLTDatabase::getDownloadedLeafName)),
      (Names{"Empty", "Heat/Exchangers/Shell/SteadyState", "Heat/Exchangers/Shell/Transient",
             "Pumps/Centrifugal/CentrifugalPump", "Pumps/Centrifugal/pump", "Pumps/Unused"}));
}

TEST_F(BrowseTest, NameFiltersKeepMatchesAndPruneEmptiedLevels) {
  Criteria criteria;
  criteria.row("Model name", "Pump");
  m_db.takeVLTSnapshot(criteria.get());
  m_db.filterVLTSnapshot(criteria.get());
  EXPECT_EQ(modelLeaves(m_db), (Names{"Pumps/Centrifugal/CentrifugalPump"}));
  Criteria description;
  description.row("Model description", "Pump");
  m_db.takeVLTSnapshot(nullptr);
  m_db.filterVLTSnapshot(description.get());
  EXPECT_EQ(modelLeaves(m_db), (Names{"Heat/Exchangers/Shell"}));
}

TEST_F(BrowseTest, SnapshotWithDetailCriteriaLetsDetailFiltersMatch) {
  struct Case {
    const char* label;
    const char* value;
    Names leaves;
  };
  const Case cases[] = {
      {"A model port name", "let", {"Pumps/Centrifugal/CentrifugalPump"}},
      {"A model specie name", "H2", {"Heat/Exchangers/Shell", "Pumps/Centrifugal/CentrifugalPump"}},
      {"A model parameter name", "area", {"Heat/Exchangers/Shell"}},
  };
  for (const Case& c : cases) {
    Criteria criteria;
    criteria.row(c.label, c.value);
    m_db.takeVLTSnapshot(criteria.get());
    m_db.filterVLTSnapshot(criteria.get());
    EXPECT_EQ(modelLeaves(m_db), c.leaves) << c.label;
  }
}

TEST_F(BrowseTest, DetailFilterOnASnapshotWithoutDetailsEmptiesIt) {
  Criteria criteria;
  criteria.row("A model port name", "let");
  m_db.takeVLTSnapshot(nullptr);
  m_db.filterVLTSnapshot(criteria.get());
  EXPECT_FALSE(m_db.downloadCategoryNames());
  EXPECT_FALSE(m_db.downloadModelLeafNames());
}

TEST_F(BrowseTest, LaterSnapshotRestoresWhatAFilterRemoved) {
  Criteria criteria;
  criteria.row("Category name", "Empty");
  m_db.takeVLTSnapshot(nullptr);
  m_db.filterVLTSnapshot(criteria.get());
  ASSERT_EQ(modelLeaves(m_db), (Names{"Empty"}));
  m_db.takeVLTSnapshot(nullptr);
  EXPECT_EQ(modelLeaves(m_db).size(), 5u);
}

TEST_F(BrowseTest, FilterBeforeAnySnapshotLeavesTheFirstListingUnfiltered) {
  Criteria criteria;
  criteria.row("Category name", "Empty");
  m_db.filterVLTSnapshot(criteria.get());
  EXPECT_TRUE(m_db.downloadCategoryNames());
  EXPECT_EQ(m_db.getNrDownloadedCategoryNames(), 3);
}

TEST_F(BrowseTest, NameTextStaysValidUntilItsOwnListIsRefilled) {
  ASSERT_TRUE(m_db.downloadTypeNames("Heat"));
  const char* typeName = m_db.getDownloadedTypeName(0);
  m_db.downloadCategoryNames();
  m_db.downloadModelNames("Pumps", "Centrifugal");
  m_db.takeVLTSnapshot(nullptr);
  EXPECT_STREQ(typeName, "Exchangers");
  EXPECT_EQ(typeName, m_db.getDownloadedTypeName(0));
  EXPECT_EQ(m_db.getDownloadedTypeName(1), nullptr);
  EXPECT_EQ(m_db.getDownloadedTypeName(-1), nullptr);
}

TEST_F(BrowseTest, SnapshotMakesOneFindByPathPerFolderRead) {
  // 1 root + 3 categories + 3 types + 2 x 3 models + 2 solvers; details add
  // 3 reads per model.
  const int allBefore = requestCount("");
  const int findBefore = requestCount("findByPath");
  m_db.takeVLTSnapshot(nullptr);
  EXPECT_EQ(requestCount("findByPath") - findBefore, 15);
  EXPECT_EQ(requestCount("") - allBefore, 15);
  Criteria criteria;
  criteria.row("A model specie name", "H2O");
  m_db.takeVLTSnapshot(criteria.get());
  EXPECT_EQ(requestCount("findByPath") - findBefore, 15 + 24);
}

TEST_F(BrowseTest, SnapshotIsLoggedWithTheLibraryPrefix) {
  RecordingLogger logger;
  m_db.setLoggingObject(&logger);
  logger.messages.clear();
  m_db.takeVLTSnapshot(nullptr);
  m_db.setLoggingObject(nullptr);
  ASSERT_EQ(logger.messages.size(), 2u);
  EXPECT_EQ(logger.messages[0],
            std::make_pair(0, std::string("TALIXDBAPI 1.2.1:\tTaking Model Database snapshot...")));
  EXPECT_EQ(logger.messages[1], std::make_pair(0, std::string("TALIXDBAPI 1.2.1:\tDone")));
}

TEST(BrowseLiveCatalogue, ServerChangesAppearOnlyAfterTheNextSnapshot) {
  ScopedEnv password("VLT_ADMIN_PASSWORD", talixdb_test::kAdminPassword);
  TestServer server;
  CVLTDatabase db;
  ASSERT_TRUE(db.open(server.address().c_str()));
  ASSERT_EQ(db.createTalixDb(), 0);
  ASSERT_EQ(db.addCategory("First"), 0);
  ASSERT_TRUE(db.downloadCategoryNames());
  ASSERT_EQ(db.addCategory("Second"), 0);
  EXPECT_TRUE(db.downloadCategoryNames());
  EXPECT_EQ(db.getNrDownloadedCategoryNames(), 1);
  db.takeVLTSnapshot(nullptr);
  EXPECT_EQ(db.getNrDownloadedCategoryNames(), 1);  // lists wait for their listing
  EXPECT_TRUE(db.downloadCategoryNames());
  EXPECT_EQ(sorted(readList(db, &CVLTDatabase::getNrDownloadedCategoryNames,
                            &CVLTDatabase::getDownloadedCategoryName)),
            (Names{"First", "Second"}));
}

TEST(BrowseWithoutConnection, HandleNeverOpenedOrClosedListsNothing) {
  CVLTDatabase never;
  never.takeVLTSnapshot(nullptr);
  EXPECT_FALSE(never.downloadCategoryNames());
  EXPECT_EQ(never.getDownloadedCategoryName(0), nullptr);

  TestServer server;
  CVLTDatabase closed;
  ASSERT_TRUE(closed.open(server.address().c_str()));
  closed.close();
  EXPECT_FALSE(closed.downloadModelLeafNames());
  EXPECT_EQ(closed.getNrDownloadedLeafNames(), 0);
}

}  // namespace
