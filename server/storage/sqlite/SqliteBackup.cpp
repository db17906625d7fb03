#include "storage/sqlite/SqliteBackup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "storage/RepositoryTypes.h"
#include "storage/sqlite/FileLock.h"
#include "storage/sqlite/PrivateFiles.h"
#include "storage/sqlite/Sqlite.h"
#include "storage/sqlite/SqliteStorage.h"

namespace talixdb::server {

namespace {

// A directory that is removed with its contents unless kept.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& near);
  ~ScratchDirectory();
  const std::string& path() const { return m_path; }
  // Renames it to `target` and keeps it.
  void keepAs(const std::string& target);

 private:
  std::string m_path;
  bool m_kept = false;
};

// Copies the database as one snapshot; returns the content files that
// snapshot refers to, with their recorded sizes.
std::map<std::string, std::uint64_t> copyDatabase(const std::string& source, const std::string& target);
// Copies one file, flushed to disk, readable by its owner only; returns its size.
std::uint64_t copyFile(const std::string& source, const std::string& target);
bool exists(const std::string& path);

}  // namespace

BackupSummary backupSqliteStore(const std::string& dataDirectory, const std::string& target) {
  const std::string database = storeFile(dataDirectory, kDatabaseFile);
  if (!exists(database)) throw StorageFailure("there is no store in " + dataDirectory);
  if (exists(target)) throw StorageFailure(target + " exists already; a backup goes into a new directory");

  // While this lock is held, no content file of the snapshot is removed.
  FileLock backupLock(storeFile(dataDirectory, kBackupLockFile));
  backupLock.lockShared();

  ScratchDirectory scratch(target);
  std::map<std::string, std::uint64_t> blobs = copyDatabase(database, storeFile(scratch.path(), kDatabaseFile));
  const std::string sourceBlobs = storeFile(dataDirectory, kBlobDirectory);
  const std::string targetBlobs = storeFile(scratch.path(), kBlobDirectory);
  makePrivateDirectory(targetBlobs);
  BackupSummary summary;
  for (const auto& [blob, size] : blobs) {
    std::uint64_t copied = copyFile(sourceBlobs + "/" + blob, targetBlobs + "/" + blob);
    if (copied != size)
      throw StorageFailure("content file " + blob + " holds " + std::to_string(copied) + " bytes, not " +
                           std::to_string(size));
    ++summary.contentFiles;
    summary.contentBytes += copied;
  }
  syncDirectory(targetBlobs);
  scratch.keepAs(target);
  return summary;
}

namespace {

ScratchDirectory::ScratchDirectory(const std::string& near) {
  makeParentDirectories(near);
  std::string pattern = near + ".incomplete-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr)
    throw StorageFailure("cannot create a directory beside " + near + ": " + std::strerror(errno));
  m_path = buffer.data();
  makePrivateDirectory(m_path);
}

ScratchDirectory::~ScratchDirectory() {
  if (m_kept) return;
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

void ScratchDirectory::keepAs(const std::string& target) {
  syncDirectory(m_path);
  if (::rename(m_path.c_str(), target.c_str()) != 0)
    throw StorageFailure("cannot rename " + m_path + " to " + target + ": " + std::strerror(errno));
  m_kept = true;
  std::filesystem::path parent = std::filesystem::path(target).parent_path();
  syncDirectory(parent.empty() ? "." : parent.string());
}

std::map<std::string, std::uint64_t> copyDatabase(const std::string& source, const std::string& target) {
  SqliteConnection from(source, false);
  from.execute("PRAGMA busy_timeout = 30000");
  // The read transaction fixes the snapshot that both the list of content
  // files and the copy see; the server goes on writing beside it.
  from.execute("BEGIN");
  std::map<std::string, std::uint64_t> blobs;
  {
    auto statement = from.prepare("SELECT blob, size FROM versions");
    while (statement.step()) blobs[statement.text(0)] = static_cast<std::uint64_t>(statement.integer(1));
  }
  makePrivateFile(target);
  {
    SqliteConnection to(target);
    sqlite3_backup* backup = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (backup == nullptr) to.check(sqlite3_errcode(to.handle()), "backup");
    int stepped = sqlite3_backup_step(backup, -1);
    int finished = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE) to.check(stepped, "backup");
    to.check(finished, "backup");
    // Sessions stay with the store they were made on.
    to.execute("DELETE FROM sessions");
  }
  from.execute("COMMIT");
  return blobs;
}

std::uint64_t copyFile(const std::string& source, const std::string& target) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw StorageFailure("cannot open " + source + ": " + std::strerror(errno));
  int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    int error = errno;
    ::close(in);
    throw StorageFailure("cannot create " + target + ": " + std::strerror(error));
  }
  std::vector<char> buffer(1 << 20);
  std::uint64_t total = 0;
  std::string failure;
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failure = "cannot read " + source + ": " + std::strerror(errno);
    if (got <= 0) break;
    for (ssize_t done = 0; done < got && failure.empty();) {
      ssize_t written = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) failure = "cannot write " + target + ": " + std::strerror(errno);
      else done += written;
    }
    if (!failure.empty()) break;
    total += static_cast<std::uint64_t>(got);
  }
  if (failure.empty() && ::fsync(out) != 0) failure = "cannot write " + target + ": " + std::strerror(errno);
  ::close(in);
  if (::close(out) != 0 && failure.empty()) failure = "cannot write " + target + ": " + std::strerror(errno);
  if (!failure.empty()) throw StorageFailure(failure);
  return total;
}


bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

}  // namespace talixdb::server
