#include "storage/sqlite/SqliteStore.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "base/ServerLog.h"
#include "storage/sqlite/PrivateFiles.h"
#include "storage/sqlite/SqliteStorage.h"

namespace talixdb::server {

namespace {

// Takes the store's lock; null when another process holds it.
std::unique_ptr<FileLock> lockStore(const std::string& directory);
// The refusal for a store another process holds.
std::string inUseMessage(const std::string& directory, long processId);
void warnAboutWidePermissions(const std::string& directory, const std::vector<std::string>& changed);

}  // namespace

SqliteStore::SqliteStore(std::string dataDirectory, StoreUse use) : m_directory(std::move(dataDirectory)) {
  struct stat info {};
  if (::stat(m_directory.c_str(), &info) != 0) makePrivateDirectory(m_directory);
  m_lock = lockStore(m_directory);
  if (!m_lock && use == StoreUse::Serve) {
    // The holder writes its id just after taking the lock: give it a moment.
    FileLock other(storeFile(m_directory, kServerLockFile));
    long processId = 0;
    for (int attempt = 0; attempt < 20 && processId == 0; ++attempt) {
      processId = other.processId();
      if (processId == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw StoreInUse(inUseMessage(m_directory, processId));
  }
  warnAboutWidePermissions(m_directory, tightenPermissions(m_directory));
  makePrivateFile(storeFile(m_directory, kDatabaseFile));
  SqliteStorage storage(m_directory);  // creates or upgrades the schema
  if (use == StoreUse::Serve && !storage.removeUnreferencedContent())
    logLine(LogLevel::Info, "a backup of the store is running: unreferenced content files stay until the next start");
}

std::unique_ptr<Storage> SqliteStore::connect() { return std::make_unique<SqliteStorage>(m_directory, m_writers); }

std::string SqliteStore::description() const { return m_directory + " (SQLite)"; }

namespace {

std::unique_ptr<FileLock> lockStore(const std::string& directory) {
  auto lock = std::make_unique<FileLock>(storeFile(directory, kServerLockFile));
  if (!lock->tryExclusive()) return nullptr;
  lock->writeProcessId();
  return lock;
}

std::string inUseMessage(const std::string& directory, long processId) {
  std::string holder = processId > 0 ? "process " + std::to_string(processId) : "a process whose id it did not name";
  return "the store in " + directory + " is in use by another server (" + holder +
         "); one store is served by one server at a time";
}

void warnAboutWidePermissions(const std::string& directory, const std::vector<std::string>& changed) {
  if (changed.empty()) return;
  logLine(LogLevel::Warning, "the store in " + directory + " was open to other users: " +
                                 std::to_string(changed.size()) +
                                 " of its files and directories are now readable by their owner only");
}

}  // namespace

}  // namespace talixdb::server
