// Catalogue browsing through the public handle against the real server: the
// snapshot, its filters and the name listings (their logic on hand-built
// trees is in the unit tests).
#include <tuple>

#include "api/ApiTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;

namespace {

// A criteria array as a host builds it: rows {label, "contains", value, null}.
class Criteria {
 public:
  Criteria(const char* label, const char* value) : m_row{label, "contains", value, nullptr} {}
  const char*** get() { return m_rows; }

 private:
  const char* m_row[4];
  const char** m_rows[2] = {m_row, nullptr};
};

Names sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

// A catalogue of its own (names in sorted order):
//   Empty                              no types
//   Heat/Exchangers/Shell              "Pump heat"; species H2O; parameter area;
//                                      solvers SteadyState (one instance), Transient
//   Pumps/Centrifugal/CentrifugalPump  species H2O, N2; ports inlet, outlet; parameter speed
//   Pumps/Centrifugal/pump             nothing
//   Pumps/Unused                       no models
class Browse : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new TestServer();
    TempDir files;
    writeLocalFile(files.path() + "/case.txt", "steady case\n");
    CVLTDatabase admin;
    ASSERT_TRUE(admin.open(s_server->address().c_str()));
    ASSERT_EQ(admin.createTalixDb(), 0);
    ASSERT_EQ(admin.addCategory("Empty"), 0);
    ASSERT_EQ(admin.addCategory("Pumps"), 0);
    ASSERT_EQ(admin.addType("Unused", "Pumps"), 0);
    ASSERT_EQ(0, admin.uploadModel(
                     "Pumps", "Centrifugal",
                     ModelBuilder("CentrifugalPump")
                         .components({"H2O", "N2"})
                         .ports({{"inlet", "Material", "CAPE_INLET", ""}, {"outlet", "Material", "CAPE_OUTLET", ""}})
                         .parameters({{"speed", "CAPE_REAL"}})
                         .build()
                         .get()));
    ASSERT_EQ(0, admin.uploadModel("Pumps", "Centrifugal", ModelBuilder("pump").build().get()));
    ASSERT_EQ(0, admin.uploadModel("Heat", "Exchangers",
                                   ModelBuilder("Shell")
                                       .description("Pump heat")
                                       .components({"H2O"})
                                       .parameters({{"area", "CAPE_STRING"}})
                                       .build()
                                       .get()));
    for (const char* solver : {"SteadyState", "Transient"}) {
      ModelPtr s = ModelBuilder(solver)
                       .localDir(files.path())
                       .sortedComponents({"H2O"})
                       .parameters({{"area", "CAPE_STRING"}, {"file-system", "CAPE_OPTION", {"case.txt"}}})
                       .build();
      ASSERT_EQ(0, admin.importSolver("Heat", "Exchangers", "Shell", s.get())) << solver;
    }
    int instance = 0;
    ASSERT_EQ(0, admin.uploadInstance("/Repository/talixdb/Heat/Exchangers/Shell", "SteadyState", instance,
                                      files.path().c_str()));
    admin.logout();
  }
  static void TearDownTestSuite() { delete s_server; }
  void SetUp() override {
    ASSERT_TRUE(m_db.open(s_server->address().c_str()));
    ASSERT_TRUE(m_db.login("root", kAdminPassword, "Default", 0));
  }
  void TearDown() override { m_db.logout(); }
  Names leaves(bool solvers = false) {
    solvers ? m_db.downloadSolverLeafNames() : m_db.downloadModelLeafNames();
    return sorted(listOf(m_db, &CVLTDatabase::getNrDownloadedLeafNames, &CVLTDatabase::getDownloadedLeafName));
  }
  Names categories() {
    return sorted(listOf(m_db, &CVLTDatabase::getNrDownloadedCategoryNames, &CVLTDatabase::getDownloadedCategoryName));
  }
  inline static TestServer* s_server = nullptr;
  CVLTDatabase m_db;
};

TEST_F(Browse, EveryLevelIsListedFromTheSnapshotTheFirstListingTakes) {
  Criteria unused("Category name", "Empty");
  m_db.filterVLTSnapshot(unused.get());  // before any snapshot: changes nothing
  EXPECT_TRUE(m_db.downloadCategoryNames());
  EXPECT_EQ(categories(), (Names{"Empty", "Heat", "Pumps"}));
  EXPECT_TRUE(m_db.downloadTypeNames("Pumps"));
  EXPECT_EQ(sorted(listOf(m_db, &CVLTDatabase::getNrDownloadedTypeNames, &CVLTDatabase::getDownloadedTypeName)),
            (Names{"Centrifugal", "Unused"}));
  EXPECT_TRUE(m_db.downloadModelNames("Pumps", "Centrifugal"));
  EXPECT_EQ(sorted(listOf(m_db, &CVLTDatabase::getNrDownloadedModelNames, &CVLTDatabase::getDownloadedModelName)),
            (Names{"CentrifugalPump", "pump"}));
  EXPECT_TRUE(m_db.downloadSolverNames("Heat", "Exchangers", "Shell"));
  EXPECT_EQ(sorted(listOf(m_db, &CVLTDatabase::getNrDownloadedSolverNames, &CVLTDatabase::getDownloadedSolverName)),
            (Names{"SteadyState", "Transient"}));
  EXPECT_TRUE(m_db.downloadInstanceNames("Heat", "Exchangers", "Shell", "SteadyState"));
  ASSERT_EQ(m_db.getNrDownloadedInstanceNames(), 1);
  EXPECT_EQ(std::string(m_db.getDownloadedInstanceName(0)).rfind("000000001-", 0), 0u);
  EXPECT_FALSE(m_db.downloadInstanceNames("Heat", "Exchangers", "Shell", "Transient"));
  EXPECT_FALSE(m_db.downloadSolverNames("Pumps", "Centrifugal", "pump"));
  EXPECT_FALSE(m_db.downloadTypeNames("pumps"));
  EXPECT_EQ(m_db.getNrDownloadedTypeNames(), 0);
  EXPECT_EQ(leaves(), (Names{"Empty", "Heat/Exchangers/Shell", "Pumps/Centrifugal/CentrifugalPump",
                             "Pumps/Centrifugal/pump", "Pumps/Unused"}));
  EXPECT_EQ(leaves(true), (Names{"Empty", "Heat/Exchangers/Shell/SteadyState", "Heat/Exchangers/Shell/Transient",
                                 "Pumps/Centrifugal/CentrifugalPump", "Pumps/Centrifugal/pump", "Pumps/Unused"}));
}

// A snapshot taken with detail criteria reads the models' species, ports
// and parameters; one without them leaves detail filters nothing to match.
TEST_F(Browse, FiltersWorkOnTheSnapshotTheyAreGiven) {
  // clang-format off
  const std::tuple<const char*, const char*, Names> cases[] = {
      {"Model name", "Pump", {"Pumps/Centrifugal/CentrifugalPump"}},
      {"Model description", "Pump", {"Heat/Exchangers/Shell"}},
      {"A model port name", "let", {"Pumps/Centrifugal/CentrifugalPump"}},
      {"A model specie name", "H2", {"Heat/Exchangers/Shell", "Pumps/Centrifugal/CentrifugalPump"}},
      {"A model parameter name", "area", {"Heat/Exchangers/Shell"}},
  };
  // clang-format on
  for (const auto& [label, value, expected] : cases) {
    Criteria criteria(label, value);
    m_db.takeVLTSnapshot(criteria.get());
    m_db.filterVLTSnapshot(criteria.get());
    EXPECT_EQ(leaves(), expected) << label;
  }
  Criteria port("A model port name", "let");
  m_db.takeVLTSnapshot(nullptr);
  m_db.filterVLTSnapshot(port.get());
  EXPECT_FALSE(m_db.downloadCategoryNames());
  EXPECT_FALSE(m_db.downloadModelLeafNames());
  m_db.takeVLTSnapshot(nullptr);  // a later snapshot has everything again
  EXPECT_EQ(leaves().size(), 5u);
}

// 1 root + 3 categories + 3 types + 2 × 3 models + 2 solvers; details add 3
// reads per model.
TEST_F(Browse, SnapshotMakesOneFindByPathPerFolderReadAndIsLogged) {
  const int allBefore = loggedRequestCount(*s_server), findBefore = loggedRequestCount(*s_server, "findByPath");
  AttachedLogger logger(m_db);
  m_db.takeVLTSnapshot(nullptr);
  EXPECT_EQ(loggedRequestCount(*s_server, "findByPath") - findBefore, 15);
  EXPECT_EQ(loggedRequestCount(*s_server) - allBefore, 15);
  Criteria species("A model specie name", "H2O");
  m_db.takeVLTSnapshot(species.get());
  EXPECT_EQ(loggedRequestCount(*s_server, "findByPath") - findBefore, 15 + 24);
  const std::vector<std::pair<int, std::string>> expected = {
      {0, RecordingLogger::prefix() + "Taking Model Database snapshot..."}, {0, RecordingLogger::prefix() + "Done"}};
  ASSERT_GE(logger.messages.size(), 2u);
  EXPECT_EQ(logger.messages[0], expected[0]);
  EXPECT_EQ(logger.messages[1], expected[1]);
}

TEST(BrowseLive, ServerChangesAppearAfterTheNextSnapshotAndItsListing) {
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
  EXPECT_EQ(db.getNrDownloadedCategoryNames(), 2);
  db.logout();
  CVLTDatabase never, closed;
  never.takeVLTSnapshot(nullptr);
  EXPECT_FALSE(never.downloadCategoryNames());
  EXPECT_EQ(never.getDownloadedCategoryName(0), nullptr);
  ASSERT_TRUE(closed.open(server.address().c_str()));
  closed.close();
  EXPECT_FALSE(closed.downloadModelLeafNames());
  EXPECT_EQ(closed.getNrDownloadedLeafNames(), 0);
}

}  // namespace
