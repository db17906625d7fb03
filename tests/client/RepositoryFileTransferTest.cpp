// File contents through the repository client against the real server:
// uploads that make their folders, the size rules, byte-exact round trips to
// memory and to disk, streaming in bounded memory, progress and stopping, and
// what a failed or stopped transfer leaves behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "client/ClientTestSupport.h"
#include "support/Engines.h"
#include "support/RecordingProgress.h"

namespace talixdb_test {
namespace {

namespace fs = std::filesystem;

long statusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

// How far the peak resident memory rose above the resident memory during
// `call`, in MiB (the kernel's peak is reset first).
template <class Call>
double peakGrowthMiB(Call call) {
  std::ofstream reset("/proc/self/clear_refs");
  reset << "5" << std::flush;
  EXPECT_TRUE(reset) << "the peak resident memory cannot be reset here";
  const long before = statusKiB("VmRSS");
  call();
  return (statusKiB("VmHWM") - before) / 1024.0;
}

class FileTransfer : public ClientTest {
 protected:
  // The file's bytes through downloadFileToMemory, which ends them with a zero byte.
  std::string toMemory(const std::string& path) {
    char* data = nullptr;
    int size = -1;
    if (client().downloadFileToMemory(path, &data, &size).empty() || data == nullptr) return "<not downloaded>";
    EXPECT_EQ('\0', data[size]);
    std::string bytes(data, static_cast<size_t>(size));
    delete[] data;
    return bytes;
  }
  // The server's content files, staged ones included (SQLite's blobs; none on PostgreSQL).
  static std::set<std::string> contentFiles() {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(server().dataDir() + "/blobs", ignored))
      names.insert(entry.path().filename());
    return names;
  }
  TempDir m_local;
};

TEST_F(FileTransfer, UploadsMakeTheirFoldersTopDownAndFollowTheSizeRules) {
  size_t mark = logSize();
  const std::string a = m_folder + "/a", found = "findByPath root ok", made = "createModelObject root ok";
  const std::string missing = "findByPath root fault: no such object: ", uploaded = "uploadFiles root ok";
  EXPECT_FALSE(client().uploadFile(a + "/b/f.txt", "hello", 0).empty());
  EXPECT_EQ((Names{found, found, missing + a, made, missing + a + "/b", made, uploaded}), requestsSince(mark));
  mark = logSize();
  EXPECT_FALSE(client().uploadFile(a + "/b/g.txt", "2", 0).empty());
  EXPECT_EQ((Names{found, found, found, found, uploaded}), requestsSince(mark));

  // Size 0: the text up to its zero byte; an explicit size: zero bytes
  // included; no empty segments.
  const char data[] = "abc\0def";
  ASSERT_FALSE(client().uploadFile(m_folder + "/text.txt", data, 0).empty());
  ASSERT_FALSE(client().uploadFile(m_folder + "/raw.bin", data, 7).empty());
  ASSERT_FALSE(client().uploadBytes(m_folder + "/none.txt", "not stored", 0).empty());
  EXPECT_FALSE(client().uploadFile("//Repository//" + m_folder.substr(12) + "///in//g.txt/", "g", 0).empty());
  const std::pair<std::string, std::string> cases[] = {
      {"text.txt", "abc"}, {"raw.bin", std::string(data, 7)}, {"none.txt", ""}, {"in/g.txt", "g"}};
  for (const auto& [name, expected] : cases) EXPECT_EQ(expected, toMemory(m_folder + "/" + name)) << name;
}

// Small files of any bytes go up from memory and from local files (under
// their own names, of a Windows path the last part) and come back to memory
// and to disk; a download that fails leaves the local target alone (and the
// outputs of a download to memory: see the stopped transfers).
TEST_F(FileTransfer, SmallFilesRoundTripAndFailuresLeaveTheTargetAlone) {
  TempDir sources;
  const std::string threeBytes("\0\xff" "A", 3);
  for (const std::string& bytes : {testBytes(1000, 7), std::string(), threeBytes}) {  // each replaces a longer one
    const std::string name = "small-" + std::to_string(bytes.size()) + ".bin", path = m_folder + "/" + name;
    ASSERT_FALSE(client().uploadFile(path, bytes.data(), static_cast<int>(bytes.size())).empty());
    EXPECT_EQ(bytes, toMemory(path)) << name;
    ASSERT_FALSE(client().downloadFileToDisk(path, m_local.path() + "/download.bin").empty());
    EXPECT_EQ(bytes, readLocalFile(m_local.path() + "/download.bin")) << name;
    writeLocalFile(sources.path() + "/" + name, bytes);
    EXPECT_EQ(m_folder + "/local/" + name, client().uploadLocalFile(m_folder + "/local", sources.path() + "/" + name));
    EXPECT_EQ(bytes, toMemory(m_folder + "/local/" + name)) << name;
  }
  writeLocalFile(sources.path() + "/C:\\dir\\model.txt", "windows model");
  EXPECT_EQ(m_folder + "/model.txt", client().uploadLocalFile(m_folder, sources.path() + "/C:\\dir\\model.txt"));
  const size_t mark = logSize();
  EXPECT_TRUE(client().uploadLocalFile(m_folder, sources.path() + "/absent.txt").empty());
  EXPECT_EQ(Names{}, requestsSince(mark));

  const std::string local = m_local.path() + "/download.bin";  // the last download's
  EXPECT_TRUE(client().downloadFileToDisk(m_folder + "/missing.txt", local).empty());
  EXPECT_TRUE(client().downloadFileToDisk(m_folder + "/small-3.bin", m_local.path() + "/no/dir/f").empty());
  EXPECT_EQ(threeBytes, readLocalFile(local));
  EXPECT_EQ(Names{"download.bin"}, localTree(m_local.path()));
}

// A large file goes up from disk and down to disk through a chunk of memory
// (into a file made with the process's umask), and down to memory through one
// buffer of its size; every byte arrives, and the host hears of each transfer
// from 0 to the file's size.
TEST_F(FileTransfer, LargeFilesStreamThroughBoundedMemory) {
  const size_t kSize = 64u << 20;
  const double kChunkMiB = 16;
  const std::string bytes = testBytes(kSize, 42);
  const std::string local = m_local.path() + "/large.bin", copy = m_local.path() + "/copy.bin";
  writeLocalFile(local, bytes);
  RecordingProgress progress;
  client().setTransferProgress(&progress);
  EXPECT_LT(peakGrowthMiB([&] { EXPECT_FALSE(client().uploadLocalFile(m_folder, local).empty()); }), kChunkMiB);
  EXPECT_TRUE(reportsWholeTransfer(progress.take(), kSize)) << "upload";
  const std::string path = m_folder + "/large.bin";
  const mode_t umask = ::umask(027);
  EXPECT_LT(peakGrowthMiB([&] { EXPECT_FALSE(client().downloadFileToDisk(path, copy).empty()); }), kChunkMiB);
  ::umask(umask);
  EXPECT_TRUE(reportsWholeTransfer(progress.take(), kSize)) << "download to disk";
  EXPECT_TRUE(bytes == readLocalFile(copy));  // no print of 64 MiB
  struct stat made {};
  EXPECT_TRUE(::stat(copy.c_str(), &made) == 0 && (made.st_mode & 0777) == 0640) << std::oct << made.st_mode;
  char* data = nullptr;
  long size = 0;
  EXPECT_LT(peakGrowthMiB([&] { EXPECT_FALSE(client().downloadFileToMemory(path, &data, &size).empty()); }),
            kSize * 1.25 / (1 << 20));
  std::unique_ptr<char[]> owned(data);
  EXPECT_TRUE(reportsWholeTransfer(progress.take(), kSize)) << "download to memory";
  EXPECT_TRUE(data != nullptr && bytes == std::string(data, static_cast<size_t>(size)));
  client().setTransferProgress(nullptr);
}

// Stopped at the start, half way or at the last report, an upload stores
// nothing: the earlier version stays and no staged contents are left. A
// download stopped half way leaves the local target as it was, no temporary
// file beside it, and the outputs of a download to memory unset.
TEST_F(FileTransfer, StoppedTransfersLeaveNothingBehind) {
  const std::string path = m_folder + "/data.bin";
  const std::string first = testBytes(100, 1), second = testBytes(8u << 20, 2);
  ASSERT_FALSE(client().uploadBytes(path, first.data(), first.size()).empty());
  const std::set<std::string> contents = contentFiles();
  for (long long stopAt : {0LL, 4LL << 20, static_cast<long long>(second.size())}) {
    SCOPED_TRACE("stopped at " + std::to_string(stopAt));
    RecordingProgress progress;
    progress.stopAt = stopAt;
    client().setTransferProgress(&progress);
    EXPECT_TRUE(client().uploadBytes(path, second.data(), second.size()).empty());
    EXPECT_GE(progress.calls.back().first, stopAt);
    client().setTransferProgress(nullptr);
    EXPECT_EQ(first, toMemory(path));
    // Another worker may answer before the one with the broken request has
    // dropped its staged contents: give it up to 5 s.
    for (int i = 0; i < 100 && contentFiles() != contents; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(contents, contentFiles());
  }
  ASSERT_FALSE(client().uploadBytes(path, second.data(), second.size()).empty());
  const std::string local = m_local.path() + "/keep.bin";
  writeLocalFile(local, "keep me");
  RecordingProgress progress;
  progress.stopAt = 4 << 20;
  client().setTransferProgress(&progress);
  EXPECT_TRUE(client().downloadFileToDisk(path, local).empty());
  EXPECT_LT(progress.take().back().first, static_cast<long long>(second.size()));
  EXPECT_EQ("keep me", readLocalFile(local));
  EXPECT_EQ(Names{"keep.bin"}, localTree(m_local.path()));
  char marker = 'm';
  char* data = &marker;
  long size = 77;
  EXPECT_TRUE(client().downloadFileToMemory(path, &data, &size).empty());
  EXPECT_EQ(std::make_pair(&marker, 77L), std::make_pair(data, size));
  client().setTransferProgress(nullptr);
}

// Sparse files of several GiB, with bytes that are not zero where a
// misplaced or lost byte would show: they cost no disk and read at memory speed.
constexpr std::uint64_t kGiB = std::uint64_t(1) << 30;
const std::uint64_t kMarks[] = {0, 2 * kGiB - 1, 2 * kGiB, 3 * kGiB + 7, 4 * kGiB - 1, 4 * kGiB, 4 * kGiB + 9};

void writeSparseFile(const std::string& path, std::uint64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(0, ::ftruncate(fd, static_cast<off_t>(size)));
  for (std::uint64_t mark : kMarks) {
    if (mark < size) {
      ASSERT_EQ(1, ::pwrite(fd, "\x5a", 1, static_cast<off_t>(mark)));
    }
  }
  ::close(fd);
}

// Whether two local files hold the same bytes.
bool sameFiles(const std::string& a, const std::string& b) {
  std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
  std::vector<char> one(std::size_t(1) << 20), other(one.size());
  while (left && right) {
    left.read(one.data(), static_cast<std::streamsize>(one.size()));
    right.read(other.data(), static_cast<std::streamsize>(other.size()));
    if (left.gcount() != right.gcount() || std::memcmp(one.data(), other.data(), left.gcount()) != 0) return false;
  }
  return left.eof() && right.eof();
}

// Files that pass 2 GiB travel as chunked DIME records and ones that pass
// 4 GiB have lengths beyond 32 bits: both come back byte for byte, up from
// memory and from a file, down to memory and to disk; one byte over the
// server's limit is refused with nothing stored. PostgreSQL takes the
// 4 GiB + 10 file only (the 2 GiB boundary is the wire's, not the engine's).
class SeveralGiB : public ::testing::TestWithParam<Engine> {};

TEST_P(SeveralGiB, FilesPastTheChunkAndThirtyTwoBitBoundariesComeBackByteForByte) {
  const std::uint64_t large = 4 * kGiB + 10;
  TestServer server({"--quiet", "--max-upload", std::to_string(large)}, "", GetParam());
  Connection admin(server);
  ASSERT_TRUE(admin.login("root", kAdminPassword));
  TempDir local;
  const std::string over = local.path() + "/over.bin", source = local.path() + "/large.bin";
  writeSparseFile(over, large + 1);
  EXPECT_TRUE(admin.client.uploadLocalFile("/Repository", over).empty());
  EXPECT_EQ("file too large: 'over.bin' exceeds the upload limit of " + std::to_string(large) + " bytes",
            admin.client.lastFailure());
  EXPECT_EQ(nullptr, Object(admin.client.findByPath("/Repository/over.bin")));
  std::filesystem::remove(over);

  writeSparseFile(source, large);
  ASSERT_FALSE(admin.client.uploadLocalFile("/Repository", source).empty());
  const std::string copy = local.path() + "/copy.bin";
  ASSERT_FALSE(admin.client.downloadFileToDisk("/Repository/large.bin", copy).empty());
  EXPECT_EQ(large, std::filesystem::file_size(copy));
  EXPECT_TRUE(sameFiles(source, copy));
  if (GetParam() == Engine::Postgres) return;

  std::filesystem::remove(copy);
  const std::size_t boundary = 2 * kGiB;
  std::unique_ptr<char, decltype(&std::free)> bytes(static_cast<char*>(std::calloc(boundary, 1)), &std::free);
  ASSERT_NE(nullptr, bytes);
  for (std::uint64_t mark : kMarks)
    if (mark < boundary) bytes.get()[mark] = '\x5a';
  ASSERT_FALSE(admin.client.uploadBytes("/Repository/boundary.bin", bytes.get(), boundary).empty());
  char* data = nullptr;
  long size = 0;
  ASSERT_FALSE(admin.client.downloadFileToMemory("/Repository/boundary.bin", &data, &size).empty());
  std::unique_ptr<char[]> owned(data);
  ASSERT_EQ(static_cast<long>(boundary), size);
  EXPECT_EQ(0, std::memcmp(bytes.get(), data, boundary));
}

INSTANTIATE_TEST_SUITE_P(Engines, SeveralGiB, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
