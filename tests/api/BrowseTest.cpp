// Catalogue browsing through the public handle against the real server: what
// the snapshot reads (one request per folder, the models' details only when
// a criterion needs them), the listings taken from it, and when server
// changes show. The filters and listings on hand-built trees are unit-tested.
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

// A catalogue of its own:
//   Empty                              no types
//   Heat/Exchangers/Shell              "Pump heat"; species H2O; parameter area;
//                                      solvers SteadyState (one instance), Transient
//   Pumps/Centrifugal/CentrifugalPump  species H2O, N2; ports inlet, outlet
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
    ASSERT_EQ(admin.addCategory("Empty") + admin.addCategory("Pumps") + admin.addType("Unused", "Pumps"), 0);
    const std::vector<Port> ports = {{"inlet", "Material", "CAPE_INLET", ""}, {"outlet", "Material", "CAPE_OUTLET", ""}};
    ASSERT_EQ(0, admin.uploadModel("Pumps", "Centrifugal",
                                   ModelBuilder("CentrifugalPump").components({"H2O", "N2"}).ports(ports).build().get()));
    ASSERT_EQ(0, admin.uploadModel("Pumps", "Centrifugal", ModelBuilder("pump").build().get()));
    ASSERT_EQ(0, admin.uploadModel("Heat", "Exchangers",
                                   ModelBuilder("Shell").description("Pump heat").components({"H2O"})
                                       .parameters({{"area", "CAPE_STRING"}}).build().get()));
    for (const char* solver : {"SteadyState", "Transient"})
      ASSERT_EQ(0, admin.importSolver("Heat", "Exchangers", "Shell",
                                      ModelBuilder(solver).localDir(files.path()).sortedComponents({"H2O"})
                                          .parameters({{"area", "CAPE_STRING"}, {"file-system", "CAPE_OPTION",
                                                       {"case.txt"}}}).build().get()));
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
    Names names = listOf(m_db, &CVLTDatabase::getNrDownloadedLeafNames, &CVLTDatabase::getDownloadedLeafName);
    std::sort(names.begin(), names.end());
    return names;
  }
  inline static TestServer* s_server = nullptr;
  CVLTDatabase m_db;
};

// The snapshot the first listing takes holds every level of the catalogue.
TEST_F(Browse, EveryLevelIsListedFromTheSnapshotTheFirstListingTakes) {
  Criteria unused("Category name", "Empty");
  m_db.filterVLTSnapshot(unused.get());  // before any snapshot: changes nothing
  EXPECT_TRUE(m_db.downloadTypeNames("Pumps"));
  EXPECT_EQ(listOf(m_db, &CVLTDatabase::getNrDownloadedTypeNames, &CVLTDatabase::getDownloadedTypeName),
            (Names{"Unused", "Centrifugal"}));  // in the server's order
  EXPECT_EQ(leaves(true), (Names{"Empty", "Heat/Exchangers/Shell/SteadyState", "Heat/Exchangers/Shell/Transient",
                                 "Pumps/Centrifugal/CentrifugalPump", "Pumps/Centrifugal/pump", "Pumps/Unused"}));
  EXPECT_TRUE(m_db.downloadInstanceNames("Heat", "Exchangers", "Shell", "SteadyState"));
  ASSERT_EQ(m_db.getNrDownloadedInstanceNames(), 1);
  EXPECT_EQ(std::string(m_db.getDownloadedInstanceName(0)).rfind("000000001-", 0), 0u);
  EXPECT_FALSE(m_db.downloadInstanceNames("Heat", "Exchangers", "Shell", "Transient"));
  EXPECT_FALSE(m_db.downloadTypeNames("pumps"));
  EXPECT_EQ(m_db.getNrDownloadedTypeNames(), 0);
}

// 1 root + 3 categories + 3 types + 2 × 3 models + 2 solvers; a detail
// criterion adds 3 reads per model, and its filter then finds the species,
// ports and parameters read; a snapshot without them matches none. Then the
// listings after a change on the server, and on handles never or no longer open.
TEST_F(Browse, SnapshotReadsEachFolderOnceAndDetailsOnlyWhenAsked) {
  const int findBefore = loggedRequestCount(*s_server, "findByPath"), allBefore = loggedRequestCount(*s_server);
  AttachedLogger logger(m_db);
  m_db.takeVLTSnapshot(nullptr);
  EXPECT_EQ(loggedRequestCount(*s_server, "findByPath") - findBefore, 15);
  EXPECT_EQ(loggedRequestCount(*s_server) - allBefore, 15);
  const Names said = logger.texts(0);
  ASSERT_GE(said.size(), 2u);
  EXPECT_EQ(Names(said.begin(), said.begin() + 2), (Names{"Taking Model Database snapshot...", "Done"}));
  Criteria description("Model description", "Pump"), port("A model port name", "let");
  m_db.filterVLTSnapshot(description.get());
  EXPECT_EQ(leaves(), Names{"Heat/Exchangers/Shell"});
  m_db.takeVLTSnapshot(nullptr);
  m_db.filterVLTSnapshot(port.get());
  EXPECT_FALSE(m_db.downloadModelLeafNames());
  for (const auto& [label, value, expected] :
       {std::make_tuple("A model specie name", "H2", Names{"Heat/Exchangers/Shell", "Pumps/Centrifugal/CentrifugalPump"}),
        std::make_tuple("A model port name", "let", Names{"Pumps/Centrifugal/CentrifugalPump"}),
        std::make_tuple("A model parameter name", "area", Names{"Heat/Exchangers/Shell"})}) {
    const int before = loggedRequestCount(*s_server, "findByPath");
    Criteria criteria(label, value);
    m_db.takeVLTSnapshot(criteria.get());
    EXPECT_EQ(loggedRequestCount(*s_server, "findByPath") - before, 15 + 9) << label;
    m_db.filterVLTSnapshot(criteria.get());
    EXPECT_EQ(leaves(), expected) << label;
  }
  m_db.takeVLTSnapshot(nullptr);  // a later snapshot has everything again
  EXPECT_EQ(leaves().size(), 5u);
  // A listing reads the last snapshot; a new snapshot shows after the next listing.
  ASSERT_EQ(m_db.addCategory("Later"), 0);
  EXPECT_TRUE(m_db.downloadCategoryNames() && m_db.getNrDownloadedCategoryNames() == 3);
  m_db.takeVLTSnapshot(nullptr);
  EXPECT_EQ(m_db.getNrDownloadedCategoryNames(), 3);
  EXPECT_TRUE(m_db.downloadCategoryNames() && m_db.getNrDownloadedCategoryNames() == 4);
  CVLTDatabase never, closed;
  never.takeVLTSnapshot(nullptr);
  EXPECT_FALSE(never.downloadCategoryNames() || never.getDownloadedCategoryName(0) != nullptr);
  ASSERT_TRUE(closed.open(s_server->address().c_str()));
  closed.close();
  EXPECT_FALSE(closed.downloadModelLeafNames() || closed.getNrDownloadedLeafNames() != 0);
}

}  // namespace
