// An online backup of the SQLite store: a consistent copy, made while a
// server may be serving the store.
#pragma once

#include <cstdint>
#include <string>

namespace talixdb::server {

struct BackupSummary {
  std::size_t contentFiles = 0;
  std::uint64_t contentBytes = 0;
};

// Copies the store in `dataDirectory` into the new directory `target`: the
// database through SQLite's online backup (one snapshot), then every content
// file that snapshot refers to, which the serving process keeps meanwhile.
// The copy holds no login sessions. `target` must not exist; it appears,
// owner-only, once the copy is complete. Throws StorageFailure.
BackupSummary backupSqliteStore(const std::string& dataDirectory, const std::string& target);

}  // namespace talixdb::server
