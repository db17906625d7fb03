#include "storage/sqlite/ContentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "storage/RandomToken.h"
#include "storage/StorageFailure.h"
#include "storage/sqlite/PrivateFiles.h"

namespace talixdb::server {

namespace {

// The kinds of file in the directory: bytes still arriving, and stored contents.
constexpr const char* kPartSuffix = ".part";
constexpr const char* kBlobSuffix = ".blob";
// Incoming bytes are handed to the disk every this many.
constexpr std::uint64_t kWriteBackStep = std::uint64_t(8) << 20;

// Incoming bytes in a "*.part" file, deleted unless placed.
class StagedFile : public StagedContent {
 public:
  explicit StagedFile(std::string path) : m_path(std::move(path)) {
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_fd < 0) throw StorageFailure("cannot create a content file", m_path + ": " + std::strerror(errno));
  }
  ~StagedFile() override {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_placed) ::unlink(m_path.c_str());
  }

  bool write(const char* data, std::size_t size) override {
    while (size > 0 && m_fd >= 0) {
      ssize_t written = ::write(m_fd, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      data += written;
      size -= static_cast<std::size_t>(written);
      m_size += static_cast<std::uint64_t>(written);
    }
    // The disk writes while more arrives, so that finish() has little left
    // to sync and the page cache few dirty pages.
    if (m_fd >= 0 && m_size - m_flushed >= kWriteBackStep) {
      ::sync_file_range(m_fd, static_cast<off_t>(m_flushed), static_cast<off_t>(m_size - m_flushed),
                        SYNC_FILE_RANGE_WRITE);
      m_flushed = m_size;
    }
    return m_fd >= 0;
  }

  bool finish() override {
    if (m_fd < 0) return m_finished;
    bool ok = ::fsync(m_fd) == 0;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    m_finished = ok;
    return ok;
  }

  std::uint64_t size() const override { return m_size; }

  const std::string& path() const { return m_path; }
  bool finished() const { return m_finished; }
  void markPlaced() { m_placed = true; }

 private:
  std::string m_path;
  int m_fd = -1;
  std::uint64_t m_size = 0;
  std::uint64_t m_flushed = 0;  // bytes whose write-back has begun
  bool m_finished = false;
  bool m_placed = false;
};

// A stored version read through an open descriptor.
class FileSource : public ContentSource {
 public:
  FileSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
  ~FileSource() override { ::close(m_fd); }

  long read(char* data, std::size_t size) override {
    for (;;) {
      ssize_t got = ::read(m_fd, data, size);
      if (got < 0 && errno == EINTR) continue;
      return static_cast<long>(got);
    }
  }
  std::uint64_t size() const override { return m_size; }

 private:
  int m_fd;
  std::uint64_t m_size;
};

bool endsWith(const std::string& text, const std::string& suffix);

}  // namespace

ContentFiles::ContentFiles(std::string directory, std::string backupLockFile)
    : m_directory(std::move(directory)), m_backupLock(std::move(backupLockFile)) {
  makePrivateDirectory(m_directory);
}

ContentFiles::~ContentFiles() {
  // Blobs still kept for a backup stay behind as unreferenced files; the
  // next start removes them.
  try {
    discard({});
  } catch (...) {
  }
}

std::unique_ptr<StagedContent> ContentFiles::stage() {
  return std::make_unique<StagedFile>(m_directory + "/incoming-" + randomToken() + kPartSuffix);
}

std::string ContentFiles::place(StagedContent& staged) {
  auto* file = dynamic_cast<StagedFile*>(&staged);
  if (file == nullptr || !file->finished()) throw StorageFailure("staged content is not ready");
  std::string blob = randomToken() + kBlobSuffix;
  std::string target = m_directory + "/" + blob;
  if (::rename(file->path().c_str(), target.c_str()) != 0)
    throw StorageFailure("cannot place a content file", target + ": " + std::strerror(errno));
  file->markPlaced();
  syncDirectory(m_directory);
  return blob;
}

std::unique_ptr<ContentSource> ContentFiles::open(const std::string& blob) const {
  std::string path = m_directory + "/" + blob;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw StorageFailure("cannot open a content file", path + ": " + std::strerror(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    throw StorageFailure("cannot read a content file", path + ": " + std::strerror(errno));
  }
  // Read from start to end: the kernel may read further ahead.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(info.st_size));
}

std::uint64_t ContentFiles::freeSpace() const {
  struct statvfs info {};
  if (::statvfs(m_directory.c_str(), &info) != 0)
    throw StorageFailure("cannot tell the free space of " + m_directory + ": " + std::strerror(errno));
  return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

void ContentFiles::remove(const std::string& blob) const {
  ::unlink((m_directory + "/" + blob).c_str());
}

void ContentFiles::discard(const std::vector<std::string>& blobs) {
  m_discarded.insert(m_discarded.end(), blobs.begin(), blobs.end());
  if (m_discarded.empty() || !m_backupLock.tryExclusive()) return;
  for (const std::string& blob : m_discarded) remove(blob);
  m_backupLock.unlock();
  m_discarded.clear();
}

bool ContentFiles::removeUnreferenced(const std::set<std::string>& referenced) {
  if (!m_backupLock.tryExclusive()) return false;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(m_directory, error)) {
    std::string name = entry.path().filename().string();
    bool leftover = endsWith(name, kPartSuffix);
    bool orphan = endsWith(name, kBlobSuffix) && referenced.count(name) == 0;
    if (leftover || orphan) std::filesystem::remove(entry.path(), error);
  }
  m_backupLock.unlock();
  return true;
}

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}


}  // namespace

}  // namespace talixdb::server
