// Results through the public handle against the real server: instances (saved
// working copies of a solver's files), surface reports and their values, and
// the PCA modes that every stored report updates.
#include <cmath>
#include <filesystem>
#include <tuple>

#include "api/ApiTestSupport.h"
#include "support/CannedServer.h"
#include "support/RecordingProgress.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;
namespace rc = VLT_121::ResultCode;

namespace {

using Result = std::pair<int, int>;
using Values = std::pair<int, std::vector<double>>;


class Instances : public RootSession {
 protected:
  void SetUp() override {
    RootSession::SetUp();
    m_category = testName();
    m_local = m_temp.path() + "/work";
    ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", ModelBuilder("Host").build().get()));
    m_model = modelPath(m_category, "T", "Host");
    fill("base");
    ASSERT_EQ(0, import(ModelBuilder("S").files({"case.cfg", "sub\\dir/a.txt"})));
  }
  template <class Builder>
  int import(Builder&& builder) {
    return m_db.importSolver(m_category.c_str(), "T", "Host", builder.localDir(m_local).build().get());
  }
  void fill(const std::string& tag) {
    writeLocalFile(m_local + "/case.cfg", awkwardBytes(tag + " case"));
    writeLocalFile(m_local + "/sub/dir/a.txt", tag + " a");
  }
  // Uploads instance `number` (0 for a new one): the code and the number.
  Result upload(int number = 0, const char* solver = "S") {
    const int code = m_db.uploadInstance(m_model.c_str(), solver, number, m_local.c_str());
    return {code, number};
  }
  bool uploaded(int number, const char* solver = "S") { return m_db.isInstanceUploaded(m_model.c_str(), solver, number); }
  bool remove(int number, const char* solver = "S") {
    return m_db.deleteInstance(m_category.c_str(), "T", "Host", solver, number);
  }
  // Downloads into a new local folder, `m_target`: the code and the number.
  Result download(int number, const char* solver = "S") {
    m_target = m_temp.path() + "/out" + std::to_string(++m_downloads);
    const int code = m_db.downloadInstance(m_model.c_str(), solver, number, m_target.c_str());
    return {code, number};
  }
  std::string m_category, m_model, m_local, m_target;
  TempDir m_temp;
  int m_downloads = 0;
};

TEST_F(Instances, NumberingReplacementAndDeletion) {
  for (int expected = 1; expected <= 4; ++expected) ASSERT_EQ(upload(), Result(0, expected));
  EXPECT_FALSE(uploaded(0) || uploaded(5));
  ASSERT_TRUE(remove(3));
  EXPECT_EQ(upload(), Result(0, 3));  // the first gap
  ASSERT_TRUE(remove(1));
  EXPECT_FALSE(remove(1) || remove(2, "Nobody"));
  EXPECT_EQ(upload(), Result(0, 5));  // counted from the smallest number in use
  EXPECT_FALSE(uploaded(1));
  // A replacement keeps its number and deletes the old folder after the last
  // file of the new one arrived.
  fill("second");
  size_t from = logSize();
  EXPECT_EQ(upload(2), Result(0, 2));
  Names requests = requestsSince(from);
  const auto last = [&](const char* operation) {
    size_t at = 0;
    for (size_t i = 0; i < requests.size(); ++i) at = requests[i].rfind(operation, 0) == 0 ? i + 1 : at;
    return at;
  };
  EXPECT_TRUE(last("uploadFiles ") > 0 && last("deleteModelObject ") > last("uploadFiles "));
  EXPECT_EQ(download(2), Result(0, 2));
  EXPECT_EQ(awkwardBytes("second case"), readLocalFile(m_target + "/case.cfg"));
  EXPECT_TRUE(remove(2) && !uploaded(2));  // only one folder of that number was left
  // A failed replacement keeps the old instance: two folders of number 4 now.
  std::filesystem::remove(m_local + "/sub/dir/a.txt");
  from = logSize();
  EXPECT_EQ(upload(4), Result(20, 4));
  requests = requestsSince(from);
  EXPECT_EQ(last("deleteModelObject "), 0u);
  EXPECT_TRUE(remove(4) && uploaded(4));
  std::filesystem::create_directory(m_local + "/sub/dir/a.txt");  // a directory where the list names a file
  EXPECT_EQ(upload(), Result(20, 6));
}

TEST_F(Instances, DownloadsGiveTheInstanceOrTheSolversOwnFiles) {
  AttachedLogger logger(m_db);
  fill("v1");
  ASSERT_EQ(upload(), Result(0, 1));
  fill("v2");
  EXPECT_EQ(download(1), Result(0, 1));
  EXPECT_EQ((Names{"case.cfg", "sub/dir/a.txt"}), localTree(m_target));
  EXPECT_EQ(awkwardBytes("v1 case"), readLocalFile(m_target + "/case.cfg"));
  EXPECT_EQ("v1 a", readLocalFile(m_target + "/sub/dir/a.txt"));
  EXPECT_EQ(download(9), Result(0, -1));
  EXPECT_EQ(awkwardBytes("base case"), readLocalFile(m_target + "/case.cfg"));
  EXPECT_EQ("base a", readLocalFile(m_target + "/sub/dir/a.txt"));
  ASSERT_TRUE(logger.messages.size() == 3u && logger.messages[0].first == 1);
  EXPECT_EQ(0u, logger.texts()[0].find("Uploading instance:\n" + m_model + "/Solvers/S/Instances/000000001-"));
  EXPECT_EQ(logger.messages[2], std::make_pair(1, std::string(RecordingLogger::kPrefix) + "Downloading instance:\n" +
                                                      "Source: " + m_model + "/S\nInstance: 9\nDestination: " +
                                                      m_target + "\n"));
  EXPECT_EQ(download(1, "Nobody"), Result(21, -1));
  EXPECT_FALSE(std::filesystem::exists(m_target));
  int number = 1;  // no local folder: nothing to write into
  EXPECT_EQ(m_db.downloadInstance(m_model.c_str(), "S", number, nullptr), 28);
}

TEST_F(Instances, DeleteAllFolderInstancesEmptiesInstancesAndReportsWithALoggerOnly) {
  ASSERT_TRUE(upload() == Result(0, 1) && upload() == Result(0, 2));
  ASSERT_EQ(0, m_db.uploadSurface(m_model.c_str(), "S", "inlet", 1, "plain report", 12));
  const size_t from = logSize();
  EXPECT_EQ(0, m_db.deleteAllFolderInstances(m_model.c_str()));
  EXPECT_EQ(Names{}, requestsSince(from));  // not even a look
  AttachedLogger logger(m_db);
  EXPECT_EQ(0, m_db.deleteAllFolderInstances(m_model.c_str()));
  EXPECT_EQ(28, m_db.deleteAllFolderInstances((m_model + "/Nothing").c_str()));
  EXPECT_FALSE(uploaded(1) || uploaded(2) || m_db.isSurfaceUploaded(m_model.c_str(), "S", 1, "inlet"));
  EXPECT_TRUE(logger.contains(m_model + "/Solvers/S/Instances has  been deleted.") &&
              logger.contains(m_model + "/Solvers/S/Reports has  been deleted."));
  EXPECT_EQ(upload(), Result(0, 1));  // the emptied folder is there again
  EXPECT_EQ(download(5), Result(0, -1));  // the solver's own files stay
  EXPECT_EQ("base a", readLocalFile(m_target + "/sub/dir/a.txt"));
}

TEST_F(Instances, TheFileListDecidesWhatIsSaved) {
  ASSERT_EQ(0, import(ModelBuilder("NoList")));
  EXPECT_EQ(upload(7, "NoList"), Result(0, 7));  // nothing uploaded, the number kept
  EXPECT_FALSE(uploaded(7, "NoList") || uploaded(1, "NoList"));
  ASSERT_EQ(0, import(ModelBuilder("Text").parameters({{"file-system", "CAPE_STRING"}})));
  EXPECT_EQ(upload(0, "Text"), Result(22, 0));
  EXPECT_FALSE(uploaded(1, "Text"));
  // An entry leaving the local folder: the import refuses it but makes the solver.
  writeLocalFile(m_temp.path() + "/x", "outside");
  ASSERT_EQ(20, import(ModelBuilder("Unsafe").files({"../x"})));
  EXPECT_EQ(upload(0, "Unsafe"), Result(20, 1));
  EXPECT_EQ(download(1, "Unsafe"), Result(0, 1));
  EXPECT_EQ(Names{}, localTree(m_target));
}


// Reports of a solver named after the test, below a model the first report
// makes on the way.
class Reports : public RootSession {
 protected:
  const char* model() const { return "/Repository/talixdb/Flow/Ducts/Duct"; }
  std::string solver() const { return testName(); }
  int store(const char* surface, int report, const std::string& bytes, CVLTDatabase* db = nullptr) {
    return (db != nullptr ? *db : m_db)
        .uploadSurface(model(), solver().c_str(), surface, report, bytes.data(), static_cast<long>(bytes.size()));
  }
  int storeValues(const char* surface, int report, const std::string& body) {
    return store(surface, report, surfaceReport(body));
  }
  bool uploaded(const char* surface, int report) {
    return m_db.isSurfaceUploaded(model(), solver().c_str(), report, surface);
  }
  int modeCount(const char* surface) { return m_db.getNrPcaModes(model(), solver().c_str(), surface); }
  // The listed report numbers of a surface; the listing's answer agrees.
  std::vector<int> reportNumbers(const char* surface) {
    const bool listed = m_db.downloadReportNumbers(model(), solver().c_str(), surface);
    std::vector<int> numbers;
    for (int i = 0; i < m_db.getNrDownloadedReportNumbers(); ++i) numbers.push_back(m_db.getDownloadedReportNumber(i));
    EXPECT_EQ(listed, !numbers.empty());
    EXPECT_EQ(m_db.getDownloadedReportNumber(static_cast<int>(numbers.size())), -1);
    return numbers;
  }
  // The modes file of a surface ("" when there is none).
  std::string modes(const char* surface) {
    char* data = nullptr;
    long size = -1;
    EXPECT_EQ(m_db.downloadPcaModes(model(), solver().c_str(), surface, data, size), 0);
    if (data == nullptr) return size == 0 ? "" : "(size not 0)";
    std::string text(data, static_cast<size_t>(size));
    EXPECT_TRUE(m_db.releaseMemory(data));
    return text;
  }
  // A list the library hands out: the count and `length` values (the count
  // when -1); {-1} when the pointer was left untouched, {-2} when null.
  template <class Call>
  Values values(Call call, int length = -1) {
    double* data = reinterpret_cast<double*>(this);
    const int count = call(data);
    if (data == reinterpret_cast<double*>(this)) return {count, {-1.0}};
    if (data == nullptr) return {count, {-2.0}};
    std::vector<double> out(data, data + std::max(length < 0 ? count : length, 0));
    EXPECT_TRUE(m_db.releaseMemory(data));
    return {count, out};
  }
  Values surfaceValues(const char* surface, int report) {
    return values([&](double*& d) { return m_db.downloadSurfaceValues(model(), solver().c_str(), surface, report, d); });
  }
  Values amplitudes(const char* surface, int report) {
    return values([&](double*& d) { return m_db.getModalAmplitudes(model(), solver().c_str(), surface, report, d); });
  }
  // The components of a mode of two (the count is that of the modes).
  Values modeValues(const char* surface, int index) {
    return values([&](double*& d) { return m_db.downloadPcaModeValues(model(), solver().c_str(), surface, index, d); }, 2);
  }
};
const Values kNone = {0, {-2.0}};

TEST_F(Reports, ReportsAreStoredAsSentAndTheirValuesRead) {
  char* data = reinterpret_cast<char*>(this);
  EXPECT_EQ(m_db.downloadSurface(model(), solver().c_str(), 3, "wall", data), 0);
  EXPECT_TRUE(data == nullptr && !uploaded("wall", 3));
  const std::string bytes = surfaceReport("3\r\n1.0\r\n2.0 -2.5e-3\n");
  ASSERT_EQ(store("wall", 3, bytes), 0);
  EXPECT_TRUE(uploaded("wall", 3) && !uploaded("wall", 4) && !uploaded("roof", 3));
  const long size = m_db.downloadSurface(model(), solver().c_str(), 3, "wall", data);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(size)), bytes);  // the zero byte of the header included
  EXPECT_TRUE(m_db.releaseMemory(data) && !m_db.releaseMemory(data));
  EXPECT_EQ(surfaceValues("wall", 3), Values(3, {1.0, 2.0, -2.5e-3}));
  // Each on a surface of its own: the values read, and the modes after it
  // (-1: not looked at). The reading rules are unit-tested.
  std::string noZeroByte = surfaceReport("2\n1.2\n1.6\n");
  noZeroByte[14] = '\n';
  const std::tuple<std::string, Values, int> cases[] = {
      {surfaceReport("0\n"), {0, {}}, -1},  // an empty array, handed out all the same
      {"", kNone, 0},                       // the raw report fetched on the way is released (the leak check sees it)
      {noZeroByte, kNone, 1},  // the mode update checks only the magic
      {"TALIX_Report_2", kNone, 0}};
  int surface = 0;
  for (const auto& [report, read, modes] : cases) {
    const std::string name = "s" + std::to_string(++surface);
    SCOPED_TRACE(name);
    ASSERT_EQ(store(name.c_str(), 1, report), 0);
    EXPECT_TRUE(uploaded(name.c_str(), 1));
    EXPECT_EQ(surfaceValues(name.c_str(), 1), read);
    if (modes < 0) continue;
    EXPECT_EQ(modeCount(name.c_str()), modes);
    EXPECT_EQ(amplitudes(name.c_str(), 1), kNone);
  }
}

// The model's folders are made on the way (the TLS test's report makes them
// in an empty database); a closed handle stores and finds nothing.
TEST_F(Reports, ReportsThatCannotBeStored) {
  const std::string bytes = surfaceReport("2\n1.2\n1.6\n");
  ASSERT_EQ(store("wall", 1, bytes), 0);
  EXPECT_TRUE(m_db.checkType("Ducts", "Flow"));
  // "wall" is a file: nothing can be stored below it.
  EXPECT_EQ(store("wall/inner", 1, bytes), rc::kFileNotUploaded);
  EXPECT_TRUE(!uploaded("wall/inner", 1) && modeCount("wall/inner") == 0);
  CVLTDatabase closed;
  EXPECT_EQ(store("roof", 1, bytes, &closed), rc::kFileNotUploaded);
  char* data = reinterpret_cast<char*>(&closed);
  EXPECT_EQ(closed.downloadSurface(model(), solver().c_str(), 1, "wall", data), 0);
  EXPECT_TRUE(data == nullptr && !closed.isSurfaceUploaded(model(), solver().c_str(), 1, "wall"));
  EXPECT_EQ(closed.getNrPcaModes(model(), solver().c_str(), "wall") + closed.clearPcaModes(model(), solver().c_str()), 0);
  EXPECT_FALSE(uploaded("roof", 1));
}

const char kFirstMode[] =
    "         1\n         2\t                  +2\t\t                +0.6\t                +0.8\n";
// (0, 1) merged into kFirstMode, as the unit tests' worked example.
const char kMerged[] =
    "         2\n"
    "         2\t    +2.1663728257034\t\t  -0.508272369039078\t  -0.861196376485296\n"
    "         2\t   +0.55392127604369\t\t  +0.861196376485296\t  -0.508272369039078\n";

// The stored modes file is the bytes of the update's worked example: the
// first report's mode, kept for a multiple of it, merged with (0, 1).
// Clearing removes every surface's modes, keeps the reports, and the next
// report starts afresh.
TEST_F(Reports, EveryReportUpdatesTheStoredModesUntilTheyAreCleared) {
  EXPECT_EQ(modes("wall"), "");
  EXPECT_EQ(m_db.clearPcaModes(model(), solver().c_str()), 0);  // nothing to remove yet
  EXPECT_TRUE(amplitudes("wall", 1) == kNone && modeValues("wall", 0) == kNone);
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  EXPECT_EQ(modes("wall"), kFirstMode);
  EXPECT_EQ(modeCount("wall"), 1);
  EXPECT_EQ(modeValues("wall", 0), Values(1, {0.6, 0.8}));
  EXPECT_EQ(amplitudes("wall", 9), kNone);
  ASSERT_EQ(storeValues("wall", 2, "2\n2.4\n3.2\n"), 0);
  EXPECT_EQ(modes("wall"), kFirstMode);
  const Values a = amplitudes("wall", 2);
  EXPECT_TRUE(a.first == 1 && std::fabs(a.second.at(0) - 4.0) < 1e-12);
  // The same report again runs the update again: one more read of the modes.
  const int downloads = requestCount("downloadFiles");
  ASSERT_EQ(storeValues("wall", 2, "2\n2.4\n3.2\n"), 0);
  EXPECT_EQ(requestCount("downloadFiles"), downloads + 1);
  // Not a report, or one of another length: stored, the modes left alone.
  ASSERT_EQ(store("wall", 3, "not a report, just forty or more bytes of text\n2\n1\n2\n"), 0);
  ASSERT_EQ(storeValues("wall", 4, "3\n1\n2\n3\n"), 0);
  EXPECT_EQ(surfaceValues("wall", 4), Values(3, {1, 2, 3}));
  EXPECT_EQ(amplitudes("wall", 4), Values(0, {-2.0}));
  EXPECT_EQ(modes("wall"), kFirstMode);
  ASSERT_EQ(storeValues("wall", 5, "2\n0\n1\n"), 0);
  EXPECT_EQ(modes("wall"), kMerged);
  EXPECT_EQ(modeCount("wall"), 2);
  const Values merged = amplitudes("wall", 5), u0 = modeValues("wall", 0), u1 = modeValues("wall", 1);
  ASSERT_TRUE(merged.first == 2 && u0.first == 2 && u1.second.size() == 2u);
  for (int i : {0, 1})  // they reproduce the report
    EXPECT_NEAR(merged.second[0] * u0.second[i] + merged.second[1] * u1.second[i], i, 1e-12);
  for (int index : {-1, 2, 100}) EXPECT_EQ(modeValues("wall", index), kNone) << index;

  ASSERT_EQ(storeValues("roof", 1, "2\n3\n4\n"), 0);
  ASSERT_EQ(storeValues("roof", 12, "2\n3\n4\n"), 0);
  // Listed in order from the "Reports" folder: not its modes folder, nor the
  // reports of another surface.
  EXPECT_EQ(reportNumbers("wall"), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(reportNumbers("roof"), (std::vector<int>{1, 12}));
  EXPECT_EQ(reportNumbers("door"), std::vector<int>{});
  EXPECT_EQ(m_db.clearPcaModes(model(), solver().c_str()), 0);
  EXPECT_EQ(modeCount("wall") + modeCount("roof"), 0);
  EXPECT_TRUE(uploaded("wall", 5) && uploaded("roof", 1));
  ASSERT_EQ(storeValues("wall", 6, "2\n0\n5\n"), 0);
  EXPECT_EQ(modes("wall"),
            "         1\n         2\t                  +5\t\t                  +0\t                  +1\n");
}

// Moves the server's stored contents aside for its lifetime (SQLite only):
// objects stay listed, but no file can be read.
TEST_F(Reports, ModesThatCannotBeReadStayAndTheReportIsStoredWith26) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  const std::string blobs = server().dataDir() + "/blobs";
  TempDir aside;
  const auto move = [](const std::string& from, const std::string& to) {
    for (const auto& entry : std::filesystem::directory_iterator(from))
      std::filesystem::rename(entry.path(), to + "/" + entry.path().filename().string());
  };
  move(blobs, aside.path());
  EXPECT_EQ(storeValues("wall", 2, "2\n1\n0\n"), rc::kFileNotDownloaded);
  move(aside.path(), blobs);
  EXPECT_TRUE(uploaded("wall", 2));
  EXPECT_EQ(modes("wall"), kFirstMode);
}

// The lookup of the modes file gets no answer (its connection is dropped on
// the way): that is no proof that there are no modes, so they are kept.
TEST_F(Reports, ModesLookupWithoutAnAnswerKeepsTheModesAndGives26) {
  ASSERT_EQ(storeValues("wall", 1, "2\n1.2\n1.6\n"), 0);
  m_db.logout();  // the same user logs in through the relay
  {
    RelayServer relay(server().port(), {"findByPath", "/PcaModes/wall<"});
    CVLTDatabase db;
    ASSERT_TRUE(db.open(relay.address().c_str()));
    ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
    EXPECT_EQ(store("wall", 2, surfaceReport("2\n1\n0\n"), &db), rc::kFileNotDownloaded);
    EXPECT_EQ(relay.dropped(), 1);
    db.logout();
  }
  ASSERT_TRUE(m_db.login("root", kAdminPassword, "Default", 0));
  EXPECT_TRUE(uploaded("wall", 2));
  EXPECT_EQ(modes("wall"), kFirstMode);
}

// The receiver set on a handle hears of its transfers, also after the handle
// is opened again, and can stop one; a copy of the handle does not carry it.
TEST_F(Reports, TransferProgressFollowsTheHandleAndCanStopAnUpload) {
  const std::string report(100, 'x');  // stored, not analysed: one transfer
  RecordingProgress progress;
  m_db.logout();
  m_db.close();
  m_db.setTransferProgress(&progress);
  ASSERT_TRUE(m_db.open(address().c_str()));
  ASSERT_TRUE(m_db.login("root", kAdminPassword, "Default", 0));
  ASSERT_EQ(store("wall", 1, report), 0);
  EXPECT_TRUE(reportsWholeTransfer(progress.take(), static_cast<long long>(report.size())));
  CVLTDatabase copy(m_db);
  ASSERT_EQ(store("wall", 2, report, &copy), 0);
  EXPECT_TRUE(progress.calls.empty());
  progress.stopAt = 0;
  EXPECT_EQ(store("wall", 3, report), rc::kFileNotUploaded);
  EXPECT_FALSE(uploaded("wall", 3));
  m_db.setTransferProgress(nullptr);
}

}  // namespace
