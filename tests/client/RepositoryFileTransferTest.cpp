// File contents through the repository client against the real server:
// uploads that make their folders, the size rules, byte-exact round trips to
// memory and to disk, streaming in bounded memory, progress and stopping, and
// what a failed or stopped transfer leaves behind.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "RepositoryClientFixture.h"
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

// How far this process's peak resident memory rose above its resident memory
// during `call`, in MiB (the kernel's peak is reset first).
template <class Call>
double peakGrowthMiB(Call call) {
  std::ofstream reset("/proc/self/clear_refs");
  reset << "5" << std::flush;
  EXPECT_TRUE(reset) << "the peak resident memory cannot be reset here";
  const long before = statusKiB("VmRSS");
  call();
  return (statusKiB("VmHWM") - before) / 1024.0;
}

class RepositoryFileTransfer : public RepositoryFixture {
 protected:
  // The bytes of the file at `path` through downloadFileToMemory; the
  // answer must be non-empty.
  std::string downloadToMemory(const std::string& path) {
    char* data = nullptr;
    int size = -1;
    std::string answer = client().downloadFileToMemory(path, &data, &size);
    EXPECT_FALSE(answer.empty()) << path;
    if (answer.empty() || data == nullptr || size < 0) return "<not downloaded>";
    EXPECT_EQ('\0', data[size]) << "no zero byte after the contents";
    std::string bytes(data, static_cast<size_t>(size));
    delete[] data;
    return bytes;
  }

  std::string downloadToDisk(const std::string& path) {
    std::string local = m_local.path() + "/download.bin";
    std::string answer = client().downloadFileToDisk(path, local);
    EXPECT_FALSE(answer.empty()) << path;
    return readLocalFile(local);
  }

  std::set<std::string> localNames() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_local.path())) names.insert(entry.path().filename());
    return names;
  }
  // The server's content files, staged ones included.
  static std::set<std::string> serverContentFiles() {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(s_server->dataDir() + "/blobs"))
      names.insert(entry.path().filename());
    return names;
  }

  TempDir m_local;
};

// ---- uploadFile: folders and sizes -----------------------------------------

TEST_F(RepositoryFileTransfer, UploadLooksUpEachFolderTopDownAndCreatesTheMissingOnes) {
  std::string mark = logMark();
  EXPECT_FALSE(client().uploadFile("/Repository/a/b/f.txt", "hello", 0).empty());
  std::vector<std::string> expected = {
      "findByPath ok",
      "findByPath fault /Repository/a",
      "createModelObject ok",
      "findByPath fault /Repository/a/b",
      "createModelObject ok",
      "uploadFiles ok",
  };
  EXPECT_EQ(expected, requestsSince(mark));

  Handle a = find("/Repository/a");
  Handle b = find("/Repository/a/b");
  Handle f = find("/Repository/a/b/f.txt");
  ASSERT_TRUE(a && b && f);
  EXPECT_EQ("Folder", a->getTypeName());
  EXPECT_EQ("Folder", b->getTypeName());
  EXPECT_EQ("File", f->getTypeName());
  EXPECT_EQ(std::vector<std::string>{"f.txt"}, b->getChildNames());
  EXPECT_EQ("hello", downloadToMemory("/Repository/a/b/f.txt"));
}

TEST_F(RepositoryFileTransfer, UploadIntoExistingFoldersCreatesNoFolder) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/x/first.txt", "1", 0).empty());
  std::string mark = logMark();
  EXPECT_FALSE(client().uploadFile(m_folder + "/x/second.txt", "2", 0).empty());
  std::vector<std::string> expected = {"findByPath ok", "findByPath ok", "findByPath ok", "uploadFiles ok"};
  EXPECT_EQ(expected, requestsSince(mark));
}

TEST_F(RepositoryFileTransfer, DoubledAndTrailingSlashesMakeNoEmptySegments) {
  EXPECT_FALSE(client().uploadFile("//Repository//" + m_folder.substr(12) + "///in//g.txt/", "g", 0).empty());
  EXPECT_EQ("g", downloadToMemory(m_folder + "/in/g.txt"));
  Handle folder = find(m_folder);
  ASSERT_TRUE(folder);
  EXPECT_EQ(std::vector<std::string>{"in"}, folder->getChildNames());
}

TEST_F(RepositoryFileTransfer, SizeZeroUploadsTheTextUpToItsTerminatingZero) {
  const char data[] = "abc\0def";
  ASSERT_FALSE(client().uploadFile(m_folder + "/text.txt", data, 0).empty());
  EXPECT_EQ("abc", downloadToMemory(m_folder + "/text.txt"));
}

TEST_F(RepositoryFileTransfer, ExplicitSizeUploadsZeroBytesToo) {
  const char data[] = "abc\0def";
  ASSERT_FALSE(client().uploadFile(m_folder + "/raw.bin", data, 7).empty());
  EXPECT_TRUE(sameBytes(std::string(data, 7), downloadToMemory(m_folder + "/raw.bin")));
}

TEST_F(RepositoryFileTransfer, UploadBytesOfSizeZeroStoresAnEmptyFileWhateverTheData) {
  ASSERT_FALSE(client().uploadBytes(m_folder + "/none.txt", "not stored", 0).empty());
  EXPECT_EQ("", downloadToMemory(m_folder + "/none.txt"));
}

TEST_F(RepositoryFileTransfer, SecondUploadToThePathReplacesTheContents) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/v.txt", "first version", 0).empty());
  ASSERT_FALSE(client().uploadFile(m_folder + "/v.txt", "second", 0).empty());
  EXPECT_EQ("second", downloadToMemory(m_folder + "/v.txt"));
}

TEST_F(RepositoryFileTransfer, UploadBelowAFileFails) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/plain.txt", "p", 0).empty());
  EXPECT_TRUE(client().uploadFile(m_folder + "/plain.txt/inner.txt", "i", 0).empty());
  EXPECT_FALSE(exists(m_folder + "/plain.txt/inner.txt"));
}

// ---- round trips -----------------------------------------------------------

TEST_F(RepositoryFileTransfer, SmallFilesRoundTripByteForByteToMemoryAndToDisk) {
  for (size_t size : {size_t(0), size_t(1), size_t(3)}) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::string bytes = size == 3 ? std::string("\0\xff" "A", 3) : testBytes(size);
    std::string path = m_folder + "/small-" + std::to_string(size) + ".bin";
    ASSERT_FALSE(client().uploadFile(path, bytes.data(), static_cast<int>(bytes.size())).empty());
    EXPECT_TRUE(sameBytes(bytes, downloadToMemory(path)));
    EXPECT_TRUE(sameBytes(bytes, downloadToDisk(path)));
  }
}

// A large file goes up from disk and down to disk through a chunk of memory,
// and down to memory through one buffer of its size; every byte arrives, and
// the host hears of each transfer from 0 to the file's size.
TEST_F(RepositoryFileTransfer, LargeFilesStreamThroughBoundedMemory) {
  const size_t kSize = 64u << 20;
  const double kChunkMiB = 16;
  const std::string bytes = testBytes(kSize, 42);
  const std::string local = m_local.path() + "/large.bin";
  writeLocalFile(local, bytes);
  RecordingProgress progress;
  client().setTransferProgress(&progress);

  EXPECT_LT(peakGrowthMiB([&] { EXPECT_FALSE(client().uploadLocalFile(m_folder, local).empty()); }), kChunkMiB);
  EXPECT_TRUE(reportsWholeTransfer(progress.take(), kSize)) << "upload";
  const std::string path = m_folder + "/large.bin";
  const std::string copy = m_local.path() + "/copy.bin";
  EXPECT_LT(peakGrowthMiB([&] { EXPECT_FALSE(client().downloadFileToDisk(path, copy).empty()); }), kChunkMiB);
  EXPECT_TRUE(reportsWholeTransfer(progress.take(), kSize)) << "download to disk";
  EXPECT_TRUE(sameBytes(bytes, readLocalFile(copy)));
  char* data = nullptr;
  long size = 0;
  EXPECT_LT(peakGrowthMiB([&] { EXPECT_FALSE(client().downloadFileToMemory(path, &data, &size).empty()); }),
            kSize * 1.25 / (1 << 20));
  std::unique_ptr<char[]> owned(data);
  EXPECT_TRUE(reportsWholeTransfer(progress.take(), kSize)) << "download to memory";
  EXPECT_TRUE(sameBytes(bytes, data, static_cast<size_t>(size)));
  client().setTransferProgress(nullptr);
}

// Stopped at the start, half way or at the last report, an upload stores
// nothing: the earlier version stays and no staged contents are left.
TEST_F(RepositoryFileTransfer, StoppedUploadLeavesTheStoredVersionAndNoPartialContents) {
  const std::string path = m_folder + "/data.bin";
  const std::string first = testBytes(100, 1);
  const std::string second = testBytes(8u << 20, 2);
  ASSERT_FALSE(client().uploadBytes(path, first.data(), first.size()).empty());
  const std::set<std::string> contents = serverContentFiles();
  for (long long stopAt : {0LL, 4LL << 20, static_cast<long long>(second.size())}) {
    SCOPED_TRACE("stopped at " + std::to_string(stopAt));
    RecordingProgress progress;
    progress.stopAt = stopAt;
    client().setTransferProgress(&progress);
    EXPECT_TRUE(client().uploadBytes(path, second.data(), second.size()).empty());
    EXPECT_GE(progress.calls.back().first, stopAt);
    client().setTransferProgress(nullptr);
    EXPECT_TRUE(sameBytes(first, downloadToMemory(path)));
    EXPECT_EQ(contents, serverContentFiles());  // the server finished the broken request before this one
  }
}

// A download stopped half way leaves the local target as it was, no
// temporary file beside it, and the outputs of a download to memory unset.
TEST_F(RepositoryFileTransfer, StoppedDownloadLeavesNothingLocally) {
  const std::string path = m_folder + "/data.bin";
  const std::string bytes = testBytes(8u << 20, 3);
  ASSERT_FALSE(client().uploadBytes(path, bytes.data(), bytes.size()).empty());
  const std::string local = m_local.path() + "/keep.bin";
  writeLocalFile(local, "keep me");
  RecordingProgress progress;
  progress.stopAt = 4 << 20;
  client().setTransferProgress(&progress);
  EXPECT_TRUE(client().downloadFileToDisk(path, local).empty());
  EXPECT_LT(progress.take().back().first, static_cast<long long>(bytes.size()));
  EXPECT_EQ("keep me", readLocalFile(local));
  EXPECT_EQ(std::set<std::string>{"keep.bin"}, localNames());
  char marker = 'm';
  char* data = &marker;
  long size = 77;
  EXPECT_TRUE(client().downloadFileToMemory(path, &data, &size).empty());
  EXPECT_EQ(&marker, data);
  EXPECT_EQ(77, size);
  client().setTransferProgress(nullptr);
}

TEST_F(RepositoryFileTransfer, EmptyFileDownloadsAsOneZeroByteOfSizeZero) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/empty.bin", "", 0).empty());
  char* data = nullptr;
  int size = 99;
  ASSERT_FALSE(client().downloadFileToMemory(m_folder + "/empty.bin", &data, &size).empty());
  std::unique_ptr<char[]> owned(data);
  EXPECT_EQ(0, size);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ('\0', data[0]);
}

TEST_F(RepositoryFileTransfer, DownloadToDiskReplacesALongerExistingFile) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/short.txt", "xy", 0).empty());
  std::string local = m_local.path() + "/target.txt";
  writeLocalFile(local, "a much longer text that was there before");
  EXPECT_FALSE(client().downloadFileToDisk(m_folder + "/short.txt", local).empty());
  EXPECT_EQ("xy", readLocalFile(local));
}

// ---- failures --------------------------------------------------------------

TEST_F(RepositoryFileTransfer, FailedDownloadToDiskLeavesTheExistingTargetUntouched) {
  std::string local = m_local.path() + "/keep.txt";
  writeLocalFile(local, "keep me");
  EXPECT_TRUE(client().downloadFileToDisk(m_folder + "/missing.txt", local).empty());
  EXPECT_TRUE(client().downloadFileToDisk(m_folder, local).empty());  // a folder has no contents
  EXPECT_EQ("keep me", readLocalFile(local));
  EXPECT_EQ(std::set<std::string>{"keep.txt"}, localNames());
}

TEST_F(RepositoryFileTransfer, DownloadIntoAMissingLocalDirectoryFails) {
  ASSERT_FALSE(client().uploadFile(m_folder + "/f.txt", "f", 0).empty());
  EXPECT_TRUE(client().downloadFileToDisk(m_folder + "/f.txt", m_local.path() + "/no/such/dir/f.txt").empty());
}

TEST_F(RepositoryFileTransfer, FailedDownloadToMemoryLeavesTheOutputsUnchanged) {
  char marker = 'm';
  char* data = &marker;
  int size = 77;
  EXPECT_TRUE(client().downloadFileToMemory(m_folder + "/missing.bin", &data, &size).empty());
  EXPECT_EQ(&marker, data);
  EXPECT_EQ(77, size);
}

// ---- uploadLocalFile -------------------------------------------------------

TEST_F(RepositoryFileTransfer, LocalFileIsUploadedUnderItsOwnName) {
  std::string bytes = testBytes(1000, 7);
  writeLocalFile(m_local.path() + "/model.dat", bytes);
  EXPECT_FALSE(client().uploadLocalFile(m_folder, m_local.path() + "/model.dat").empty());
  EXPECT_TRUE(sameBytes(bytes, downloadToMemory(m_folder + "/model.dat")));
}

TEST_F(RepositoryFileTransfer, EmptyLocalFileIsUploadedAsZeroBytes) {
  writeLocalFile(m_local.path() + "/empty.txt", "");
  EXPECT_FALSE(client().uploadLocalFile(m_folder, m_local.path() + "/empty.txt").empty());
  EXPECT_EQ("", downloadToMemory(m_folder + "/empty.txt"));
}

TEST_F(RepositoryFileTransfer, BackslashSeparatedLocalNameUploadsAsItsLastPart) {
  // A file whose own name holds a Windows-style path.
  std::string local = m_local.path() + "/C:\\dir\\model.txt";
  writeLocalFile(local, "windows model");
  EXPECT_FALSE(client().uploadLocalFile(m_folder, local).empty());
  EXPECT_EQ("windows model", downloadToMemory(m_folder + "/model.txt"));
  Handle folder = find(m_folder);
  ASSERT_TRUE(folder);
  EXPECT_EQ(std::vector<std::string>{"model.txt"}, folder->getChildNames());
}

TEST_F(RepositoryFileTransfer, UnreadableLocalFileUploadsNothing) {
  std::string mark = logMark();
  EXPECT_TRUE(client().uploadLocalFile(m_folder, m_local.path() + "/absent.txt").empty());
  EXPECT_TRUE(requestsSince(mark).empty());
  EXPECT_FALSE(exists(m_folder + "/absent.txt"));
}

// ---- UTF-8 names -----------------------------------------------------------

TEST_F(RepositoryFileTransfer, Utf8FileNameRoundTrips) {
  const std::string path = m_folder + "/D\xC3\xBCse 1/caf\xC3\xA9.txt";
  ASSERT_FALSE(client().uploadFile(path, "gr\xC3\xBC\xC3\x9F" "e", 0).empty());
  EXPECT_EQ("gr\xC3\xBC\xC3\x9F" "e", downloadToMemory(path));
  Handle folder = find(m_folder + "/D\xC3\xBCse 1");
  ASSERT_TRUE(folder);
  EXPECT_EQ(std::vector<std::string>{"caf\xC3\xA9.txt"}, folder->getChildNames());
}

}  // namespace
}  // namespace talixdb_test
