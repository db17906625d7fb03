// The PCA modes of a surface through the public handle against the real
// server: the mode update run by every stored report, reading the modes back,
// the modal amplitudes of a report, and clearing the modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "api/RequestCount.h"
#include "api/SurfaceReportFixture.h"
#include "support/CannedServer.h"
#include "support/RecordingProgress.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using talixdb_test::surfaceReport;

// The modes file as written for one mode line: count, weight, components.
std::string right(const std::string& text, size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}
std::string modeLine(int n, const std::string& weight, const std::vector<std::string>& components) {
  std::string line = right(std::to_string(n), 10) + "\t" + right(weight, 20) + "\t";
  for (const std::string& c : components) line += "\t" + right(c, 20);
  return line + "\n";
}

struct ParsedModes {
  int count = 0;
  std::vector<double> weights;
  std::vector<std::vector<double>> modes;
};

// Reads a modes file the way any reader of the format does: whitespace tokens.
ParsedModes parseModes(const std::string& text) {
  ParsedModes parsed;
  std::istringstream in(text);
  in >> parsed.count;
  for (int i = 0; i < parsed.count; ++i) {
    int n = 0;
    double weight = 0;
    in >> n >> weight;
    std::vector<double> mode(static_cast<size_t>(std::max(n, 0)));
    for (double& component : mode) in >> component;
    parsed.weights.push_back(weight);
    parsed.modes.push_back(mode);
  }
  return parsed;
}

// Singular values of the 2 x 2 matrix with columns (a, c) and (b, d), from
// s^2 = (S +- sqrt(S^2 - 4 det^2)) / 2 with S the sum of the squared entries.
std::vector<double> singularValues2x2(double a, double b, double c, double d) {
  const double sum = a * a + b * b + c * c + d * d;
  const double det = a * d - b * c;
  const double root = std::sqrt(sum * sum - 4 * det * det);
  return {std::sqrt((sum + root) / 2), std::sqrt((sum - root) / 2)};
}

using PcaModesTest = talixdb_test::SurfaceReportTest;

TEST_F(PcaModesTest, FirstReportMakesOneModeAlongItsValues) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  EXPECT_EQ(modes("wall"), "         1\n" + modeLine(2, "+2", {"+0.6", "+0.8"}));
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 1);
  double* values = nullptr;
  ASSERT_EQ(m_db.downloadPcaModeValues(model(), solver(), "wall", 0, values), 1);
  ASSERT_NE(values, nullptr);
  EXPECT_DOUBLE_EQ(values[0], 0.6);
  EXPECT_DOUBLE_EQ(values[1], 0.8);
  EXPECT_TRUE(m_db.releaseMemory(values));
}

TEST_F(PcaModesTest, ScaledReportLeavesTheModesAsTheyAre) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  const std::string before = modes("wall");
  ASSERT_EQ(storeValues("wall", 2, "2\n2.4\n3.2\n"), 0);
  EXPECT_EQ(modes("wall"), before);
  int count = 0;
  std::vector<double> a = amplitudes("wall", 2, count);
  ASSERT_EQ(count, 1);
  EXPECT_NEAR(a[0], 4.0, 1e-12);
  a = amplitudes("wall", 1, count);
  ASSERT_EQ(count, 1);
  EXPECT_NEAR(a[0], 2.0, 1e-12);
}

TEST_F(PcaModesTest, IndependentReportAddsAModeWeightedBySingularValues) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  ASSERT_EQ(storeValues("wall", 2, "2\n0\n1\n"), 0);
  ASSERT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 2);
  ParsedModes parsed = parseModes(modes("wall"));
  ASSERT_EQ(parsed.count, 2);
  std::vector<double> expected = singularValues2x2(1.2, 0.0, 1.6, 1.0);
  std::vector<double> weights = parsed.weights;
  std::sort(weights.begin(), weights.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_NEAR(weights[0], expected[0], 1e-12);
  EXPECT_NEAR(weights[1], expected[1], 1e-12);
  // The new modes are orthonormal, and the second report is reproduced from
  // its amplitudes.
  const auto& u = parsed.modes;
  ASSERT_EQ(u[0].size(), 2u);
  ASSERT_EQ(u[1].size(), 2u);
  EXPECT_NEAR(u[0][0] * u[0][0] + u[0][1] * u[0][1], 1.0, 1e-12);
  EXPECT_NEAR(u[1][0] * u[1][0] + u[1][1] * u[1][1], 1.0, 1e-12);
  EXPECT_NEAR(u[0][0] * u[1][0] + u[0][1] * u[1][1], 0.0, 1e-12);
  int count = 0;
  std::vector<double> a = amplitudes("wall", 2, count);
  ASSERT_EQ(count, 2);
  EXPECT_NEAR(a[0] * u[0][0] + a[1] * u[1][0], 0.0, 1e-12);
  EXPECT_NEAR(a[0] * u[0][1] + a[1] * u[1][1], 1.0, 1e-12);
}

TEST_F(PcaModesTest, AllZeroFirstReportMakesAUnitWeightZeroMode) {
  ASSERT_EQ(storeValues("wall", 1, "3\n0\n0.0\n-0\n"), 0);
  const std::string text = modes("wall");
  ParsedModes parsed = parseModes(text);
  ASSERT_EQ(parsed.count, 1);
  EXPECT_EQ(parsed.weights[0], 1.0);
  EXPECT_EQ(parsed.modes[0], (std::vector<double>{0.0, 0.0, 0.0}));
  EXPECT_EQ(text.substr(0, 11), "         1\n");
  EXPECT_EQ(text.substr(11, 32), right("3", 10) + "\t" + right("+1", 20) + "\t");
}

TEST_F(PcaModesTest, ReportWithinOnePercentKeepsTheModesAndOneBeyondAddsOne) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  const std::string before = modes("wall");
  ASSERT_EQ(storeValues("wall", 2, "2\n1.2\n1.61\n"), 0);  // relative error 0.003
  EXPECT_EQ(modes("wall"), before);
  ASSERT_EQ(storeValues("wall", 3, "2\n1.2\n1.65\n"), 0);  // relative error about 0.015
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 2);
}

// Moves the server's stored contents aside for its lifetime: objects stay
// listed, but no file can be downloaded.
class ContentsAside {
 public:
  explicit ContentsAside(const std::string& dataDir) : m_blobs(dataDir + "/blobs") { move(m_blobs, m_aside.path()); }
  ~ContentsAside() { move(m_aside.path(), m_blobs); }

 private:
  static void move(const std::string& from, const std::string& to) {
    for (const auto& entry : std::filesystem::directory_iterator(from))
      std::filesystem::rename(entry.path(), to + "/" + entry.path().filename().string());
  }
  std::string m_blobs;
  talixdb_test::TempDir m_aside;
};

TEST_F(PcaModesTest, ModesThatCannotBeReadStayAndTheReportIsStoredWith26) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  ASSERT_EQ(storeValues("wall", 2, "2\n0\n1\n"), 0);
  const std::string before = modes("wall");
  {
    ContentsAside aside(s_server->dataDir());
    EXPECT_EQ(storeValues("wall", 3, "2\n1\n0\n"), VLT_121::ResultCode::kFileNotDownloaded);
  }
  EXPECT_TRUE(m_db.isSurfaceUploaded(model(), solver(), 3, "wall"));
  EXPECT_EQ(modes("wall"), before);
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 2);
}

// The lookup of the modes file gets no answer (its connection is dropped on
// the way): that is no proof that there are no modes, so they are kept.
TEST_F(PcaModesTest, ModesLookupWithoutAnAnswerKeepsTheModesAndGives26) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  ASSERT_EQ(storeValues("wall", 2, "2\n0\n1\n"), 0);
  const std::string before = modes("wall");
  m_db.logout();  // the same user logs in through the relay
  {
    talixdb_test::RelayServer relay(s_server->port(), {"findByPath", "/PcaModes/wall<"});
    VLT_121::CVLTDatabase db;
    ASSERT_TRUE(db.open(relay.address().c_str()));
    ASSERT_TRUE(db.login("root", talixdb_test::kAdminPassword, "Default", 0));
    const std::string report = surfaceReport("2\n1\n0\n");
    EXPECT_EQ(db.uploadSurface(model(), solver(), "wall", 3, report.data(), static_cast<long>(report.size())),
              VLT_121::ResultCode::kFileNotDownloaded);
    EXPECT_EQ(relay.dropped(), 1);
    db.logout();
  }
  ASSERT_TRUE(m_db.login("root", talixdb_test::kAdminPassword, "Default", 0));
  EXPECT_TRUE(m_db.isSurfaceUploaded(model(), solver(), 3, "wall"));
  EXPECT_EQ(modes("wall"), before);
}

// The receiver set on a handle hears of its transfers, also after the handle
// is opened again, and can stop one; a copy of the handle does not carry it.
TEST_F(PcaModesTest, TransferProgressFollowsTheHandleAndCanStopAnUpload) {
  const std::string report(100, 'x');  // stored, not analysed: one transfer
  talixdb_test::RecordingProgress progress;
  m_db.logout();
  m_db.close();
  m_db.setTransferProgress(&progress);
  ASSERT_TRUE(m_db.open(s_server->address().c_str()));
  ASSERT_TRUE(m_db.login("root", talixdb_test::kAdminPassword, "Default", 0));
  ASSERT_EQ(store("wall", 1, report), 0);
  EXPECT_TRUE(talixdb_test::reportsWholeTransfer(progress.take(), static_cast<long long>(report.size())));
  VLT_121::CVLTDatabase copy(m_db);
  ASSERT_EQ(copy.uploadSurface(model(), solver(), "wall", 2, report.data(), static_cast<long>(report.size())), 0);
  EXPECT_TRUE(progress.calls.empty());
  progress.stopAt = 0;
  EXPECT_EQ(store("wall", 3, report), VLT_121::ResultCode::kFileNotUploaded);
  EXPECT_FALSE(m_db.isSurfaceUploaded(model(), solver(), 3, "wall"));
  m_db.setTransferProgress(nullptr);
}

TEST_F(PcaModesTest, ReportWithoutTheMagicIsStoredButMakesNoModes) {
  const std::string bytes = "not a report, just forty or more bytes of text\n2\n1\n2\n";
  ASSERT_EQ(store("wall", 1, bytes), 0);
  EXPECT_TRUE(m_db.isSurfaceUploaded(model(), solver(), 1, "wall"));
  EXPECT_EQ(modes("wall"), "");
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 0);
  // Nor does it change modes that exist.
  ASSERT_EQ(storeValues("wall", 2, "2\n1.2\n1.6\n"), 0);
  const std::string existing = modes("wall");
  ASSERT_EQ(store("wall", 3, bytes), 0);
  EXPECT_EQ(modes("wall"), existing);
}

TEST_F(PcaModesTest, StoringTheSameReportAgainRunsTheUpdateAgain) {
  const std::string bytes = surfaceReport("2\n1.2\n1.6\n");
  ASSERT_EQ(store("wall", 1, bytes), 0);
  const std::string first = modes("wall");
  // Each update reads the current modes file once.
  int downloads = talixdb_test::requestCount(*s_server, "downloadFiles");
  ASSERT_EQ(store("wall", 1, bytes), 0);
  EXPECT_EQ(talixdb_test::requestCount(*s_server, "downloadFiles"), downloads + 1);
  EXPECT_EQ(modes("wall"), first);
  // New values under the same report number are merged like any report.
  ASSERT_EQ(storeValues("wall", 1, "2\n0\n1\n"), 0);
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 2);
}

TEST_F(PcaModesTest, ReportOfAnotherLengthIsStoredButLeavesTheModes) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  const std::string before = modes("wall");
  EXPECT_EQ(storeValues("wall", 2, "3\n1\n2\n3\n"), 0);
  EXPECT_EQ(modes("wall"), before);
  double* values = nullptr;
  EXPECT_EQ(m_db.downloadSurfaceValues(model(), solver(), "wall", 2, values), 3);
  EXPECT_TRUE(m_db.releaseMemory(values));
  int count = -1;
  EXPECT_TRUE(amplitudes("wall", 2, count).empty());
  EXPECT_EQ(count, 0);
}

TEST_F(PcaModesTest, ModeValuesOnlyForAnExistingModeIndex) {
  ASSERT_EQ(storeValues("wall", 1, "3\n1\n0\n0\n"), 0);
  ASSERT_EQ(storeValues("wall", 2, "3\n0\n2\n0\n"), 0);
  ASSERT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 2);
  for (int index : {-1, 2, 100}) {
    double* values = reinterpret_cast<double*>(&m_db);
    EXPECT_EQ(m_db.downloadPcaModeValues(model(), solver(), "wall", index, values), 0) << index;
    EXPECT_EQ(values, nullptr) << index;
  }
  ParsedModes parsed = parseModes(modes("wall"));
  for (int index : {0, 1}) {
    double* values = nullptr;
    ASSERT_EQ(m_db.downloadPcaModeValues(model(), solver(), "wall", index, values), 2) << index;
    ASSERT_NE(values, nullptr);
    // The N components of the mode; its weight is not among them.
    EXPECT_EQ(std::vector<double>(values, values + 3), parsed.modes[static_cast<size_t>(index)]);
    EXPECT_TRUE(m_db.releaseMemory(values));
  }
}

TEST_F(PcaModesTest, NoModesOrNoReportGiveNoAmplitudes) {
  int count = -1;
  EXPECT_TRUE(amplitudes("wall", 1, count).empty());
  EXPECT_EQ(count, 0);
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  EXPECT_TRUE(amplitudes("wall", 9, count).empty());
  EXPECT_EQ(count, 0);
  double* values = reinterpret_cast<double*>(&m_db);
  EXPECT_EQ(m_db.downloadPcaModeValues(model(), solver(), "roof", 0, values), 0);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "roof"), 0);
}

TEST_F(PcaModesTest, ClearPcaModesRemovesEverySurfacesModesButKeepsReports) {
  EXPECT_EQ(m_db.clearPcaModes(model(), solver()), 0);  // nothing to remove yet
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  ASSERT_EQ(storeValues("roof", 1, "2\n3\n4\n"), 0);
  ASSERT_EQ(m_db.getNrPcaModes(model(), solver(), "roof"), 1);

  EXPECT_EQ(m_db.clearPcaModes(model(), solver()), 0);
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "wall"), 0);
  EXPECT_EQ(m_db.getNrPcaModes(model(), solver(), "roof"), 0);
  EXPECT_TRUE(m_db.isSurfaceUploaded(model(), solver(), 1, "wall"));
  EXPECT_TRUE(m_db.isSurfaceUploaded(model(), solver(), 1, "roof"));
  EXPECT_EQ(m_db.clearPcaModes(model(), solver()), 0);

  // The next report starts the modes afresh.
  ASSERT_EQ(storeValues("wall", 2, "2\n0\n5\n"), 0);
  EXPECT_EQ(modes("wall"), "         1\n" + modeLine(2, "+5", {"+0", "+1"}));
}

}  // namespace
