// Grid files and surface reports through the public handle against the real
// server: where they are read from, what the value reader accepts, and what
// storing a report does when it cannot be stored.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/SurfaceReportFixture.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using talixdb_test::surfaceReport;
using VLT_121::CVLTDatabase;
using VLT_121::CVLTModel;

constexpr int kFileNotUploaded = VLT_121::ResultCode::kFileNotUploaded;

// Adds two solvers of the model: "Plain" with grid files without a surface
// name, "Named" with the surfaces inlet and outlet.
class SurfacesTest : public talixdb_test::SurfaceReportTest {
 protected:
  static void SetUpTestSuite() {
    SurfaceReportTest::SetUpTestSuite();
    CVLTDatabase admin;
    ASSERT_TRUE(admin.open(s_server->address().c_str()));
    ASSERT_TRUE(admin.login("root", talixdb_test::kAdminPassword, "Default", 0));
    CVLTModel* plain = CVLTModel::newObject();
    plain->setName("Plain");
    plain->setNodePositions("plain nodes\n0 0 0\n");
    plain->setGridConnectivity("plain cells\n");
    EXPECT_EQ(admin.importSolver("Flow", "Ducts", "Duct", plain), 0);
    CVLTModel::deleteObject(plain);

    CVLTModel* named = CVLTModel::newObject();
    named->setName("Named");
    named->addSurface("inlet");
    named->addSurface("outlet");
    named->setNodePositions(0, "inlet nodes");
    named->setNodePositions(1, "outlet nodes");
    named->setGridConnectivity(0, "inlet cells");
    named->setGridConnectivity(1, "outlet cells");
    EXPECT_EQ(admin.importSolver("Flow", "Ducts", "Duct", named), 0);
    CVLTModel::deleteObject(named);
    admin.logout();
  }
};

// ---- grid files -------------------------------------------------------------

TEST_F(SurfacesTest, NullSurfaceNameReadsTheSolversUnnamedGridFiles) {
  char* data = nullptr;
  long size = 0;
  EXPECT_EQ(m_db.downloadSurfaceNodePositions(model(), "Plain", data, size, nullptr), 0);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(size)), "plain nodes\n0 0 0\n");
  EXPECT_EQ(data[size], '\0');
  EXPECT_TRUE(m_db.releaseMemory(data));
  EXPECT_FALSE(m_db.releaseMemory(data));

  EXPECT_EQ(m_db.downloadSurfaceGridConnectivity(model(), "Plain", data, size, nullptr), 0);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(size)), "plain cells\n");
  EXPECT_TRUE(m_db.releaseMemory(data));
}

TEST_F(SurfacesTest, SurfaceNameSelectsThatSurfacesGridFiles) {
  char* data = nullptr;
  long size = 0;
  m_db.downloadSurfaceNodePositions(model(), "Named", data, size, "inlet");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(size)), "inlet nodes");
  EXPECT_TRUE(m_db.releaseMemory(data));
  m_db.downloadSurfaceGridConnectivity(model(), "Named", data, size, "outlet");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(size)), "outlet cells");
  EXPECT_TRUE(m_db.releaseMemory(data));
}

TEST_F(SurfacesTest, MissingGridFileGivesNullAndZero) {
  char* data = reinterpret_cast<char*>(&m_db);
  long size = 7;
  // A solver with named surfaces has no unnamed grid file, and the reverse.
  EXPECT_EQ(m_db.downloadSurfaceNodePositions(model(), "Named", data, size, nullptr), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0);
  size = 7;
  EXPECT_EQ(m_db.downloadSurfaceGridConnectivity(model(), "Plain", data, size, "inlet"), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(m_db.downloadSurfaceNodePositions(model(), "Named", data, size, ""), 0);
  EXPECT_EQ(data, nullptr);
}

// ---- surface reports -----------------------------------------------------------

TEST_F(SurfacesTest, NeverUploadedReportIsAbsentUntilStored) {
  char* data = reinterpret_cast<char*>(&m_db);
  EXPECT_EQ(m_db.downloadSurface(model(), solver(), 3, "wall", data), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_FALSE(m_db.isSurfaceUploaded(model(), solver(), 3, "wall"));

  const std::string bytes = surfaceReport("2\n1.5\n-2.5e-3\n");
  ASSERT_EQ(store("wall", 3, bytes), 0);
  EXPECT_TRUE(m_db.isSurfaceUploaded(model(), solver(), 3, "wall"));
  EXPECT_FALSE(m_db.isSurfaceUploaded(model(), solver(), 4, "wall"));
  EXPECT_FALSE(m_db.isSurfaceUploaded(model(), solver(), 3, "roof"));
  long size = m_db.downloadSurface(model(), solver(), 3, "wall", data);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(size)), bytes);  // the zero byte of the header included
  EXPECT_TRUE(m_db.releaseMemory(data));
  EXPECT_FALSE(m_db.releaseMemory(data));
}

TEST_F(SurfacesTest, ValuesAreReadWhateverTheLineEndsAndSpacing) {
  struct Case {
    const char* body;
    std::vector<double> values;
  };
  const Case cases[] = {
      {"3\n1.0\n2.0\n3.0\n", {1.0, 2.0, 3.0}},
      {"3\r\n1.0\r\n2.0\r\n3.0\r\n", {1.0, 2.0, 3.0}},
      {"2\n\n\n-1.25e-3\n0.5\n9\n9\n", {-1.25e-3, 0.5}},  // runs of line ends; extra values ignored
      {"2\n1.0 2.0\n", {1.0, 2.0}},                         // blanks separate values too
  };
  int report = 1;
  for (const Case& c : cases) {
    ASSERT_EQ(storeValues("wall", report, c.body), 0);
    double* values = nullptr;
    int n = m_db.downloadSurfaceValues(model(), solver(), "wall", report, values);
    ASSERT_EQ(n, static_cast<int>(c.values.size())) << c.body;
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(std::vector<double>(values, values + n), c.values) << c.body;
    EXPECT_TRUE(m_db.releaseMemory(values));
    ++report;
  }
}

TEST_F(SurfacesTest, ReportOfNoValuesGivesAnEmptyRegisteredArray) {
  ASSERT_EQ(storeValues("wall", 1, "0\n"), 0);
  double* values = nullptr;
  EXPECT_EQ(m_db.downloadSurfaceValues(model(), solver(), "wall", 1, values), 0);
  ASSERT_NE(values, nullptr);
  EXPECT_TRUE(m_db.releaseMemory(values));
}

TEST_F(SurfacesTest, EmptyReportGivesNothingAndLeavesNoBuffer) {
  // The raw report fetched on the way is released by the operation (the
  // sanitizer build's leak check sees one that stays behind).
  ASSERT_EQ(store("wall", 1, ""), 0);
  double* values = reinterpret_cast<double*>(&m_db);
  EXPECT_EQ(m_db.downloadSurfaceValues(model(), solver(), "wall", 1, values), 0);
  EXPECT_EQ(values, nullptr);
  int count = -1;
  EXPECT_TRUE(amplitudes("wall", 1, count).empty());
  EXPECT_EQ(count, 0);
}

TEST_F(SurfacesTest, ReportWithFewerValuesThanItsCountGivesNothing) {
  ASSERT_EQ(storeValues("wall", 1, "5\n1\n2\n3\n4\n"), 0);
  double* values = reinterpret_cast<double*>(&m_db);
  EXPECT_EQ(m_db.downloadSurfaceValues(model(), solver(), "wall", 1, values), 0);
  EXPECT_EQ(values, nullptr);
}

TEST_F(SurfacesTest, NegativeOrOversizedCountGivesNothing) {
  const char* bodies[] = {"-3\n1\n2\n", "1000000\n1\n2\n", "2147483647\n1\n", "99999999999999999999\n1\n"};
  int report = 1;
  for (const char* body : bodies) {
    ASSERT_EQ(storeValues("wall", report, body), 0) << body;
    double* values = reinterpret_cast<double*>(&m_db);
    EXPECT_EQ(m_db.downloadSurfaceValues(model(), solver(), "wall", report, values), 0) << body;
    EXPECT_EQ(values, nullptr) << body;
    ++report;
  }
}

TEST_F(SurfacesTest, ReportWithoutZeroByteAfterTheMagicIsRawOnly) {
  std::string bytes = "TALIX_Report_2\n" + std::string(25, '#') + "2\n1.2\n1.6\n";
  ASSERT_EQ(store("wall", 1, bytes), 0);
  char* data = nullptr;
  EXPECT_EQ(m_db.downloadSurface(model(), solver(), 1, "wall", data), static_cast<long>(bytes.size()));
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(m_db.releaseMemory(data));
  double* values = reinterpret_cast<double*>(&m_db);
  EXPECT_EQ(m_db.downloadSurfaceValues(model(), solver(), "wall", 1, values), 0);
  EXPECT_EQ(values, nullptr);
  // The mode update checks only the 14 magic bytes, so it made a mode; the
  // amplitudes need the value reader, which refuses the report.
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 1);
  int count = -1;
  EXPECT_TRUE(amplitudes("wall", 1, count).empty());
  EXPECT_EQ(count, 0);
}

TEST_F(SurfacesTest, ReportShorterThanTheHeaderIsStoredButNotRead) {
  const std::string bytes = "TALIX_Report_2";
  ASSERT_EQ(store("wall", 1, bytes), 0);
  EXPECT_TRUE(m_db.isSurfaceUploaded(model(), solver(), 1, "wall"));
  double* values = reinterpret_cast<double*>(&m_db);
  EXPECT_EQ(m_db.downloadSurfaceValues(model(), solver(), "wall", 1, values), 0);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 0);
}

// ---- storing reports -------------------------------------------------------

TEST_F(SurfacesTest, ReportForAMissingModelIsStoredInFoldersMadeOnTheWay) {
  const std::string missing = "/Repository/talixdb/Nowhere/Else/Ghost";
  const std::string bytes = surfaceReport("2\n1.2\n1.6\n");
  ASSERT_EQ(m_db.uploadSurface(missing.c_str(), "Phantom", "wall", 7, bytes.data(), static_cast<long>(bytes.size())),
            0);
  EXPECT_TRUE(m_db.isSurfaceUploaded(missing.c_str(), "Phantom", 7, "wall"));
  EXPECT_EQ(m_db.getNrPcaModes(missing.c_str(), "Phantom", "wall"), 1);
  EXPECT_TRUE(m_db.checkCategory("Nowhere"));
  EXPECT_TRUE(m_db.checkType("Else", "Nowhere"));
}

TEST_F(SurfacesTest, ReportThatCannotBeStoredGivesTwenty) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  // "wall" is a file: nothing can be stored below it.
  EXPECT_EQ(storeValues("wall/inner", 1, "2\n1.2\n1.6\n"), kFileNotUploaded);
  EXPECT_FALSE(m_db.isSurfaceUploaded(model(), solver(), 1, "wall/inner"));
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall/inner"), 0);
}

TEST_F(SurfacesTest, ClosedHandleStoresAndReadsNothing) {
  CVLTDatabase closed;
  const std::string bytes = surfaceReport("2\n1.2\n1.6\n");
  EXPECT_EQ(closed.uploadSurface(model(), solver(), "wall", 1, bytes.data(), static_cast<long>(bytes.size())),
            kFileNotUploaded);
  char* data = reinterpret_cast<char*>(&closed);
  EXPECT_EQ(closed.downloadSurface(model(), solver(), 1, "wall", data), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_FALSE(closed.isSurfaceUploaded(model(), solver(), 1, "wall"));
  EXPECT_EQ(closed.getNrPcaModes(model(), solver(), "wall"), 0);
  EXPECT_EQ(closed.clearPcaModes(model(), solver()), 0);
  EXPECT_FALSE(m_db.isSurfaceUploaded(model(), solver(), 1, "wall"));
}

}  // namespace
