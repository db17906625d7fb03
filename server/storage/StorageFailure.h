// How the store reports that it failed: one exception type and its kinds,
// shared by the storage seam, its engines and the files they keep.
#pragma once

#include <stdexcept>
#include <string>

namespace talixdb::server {

// The store itself failed (disk, database); the request changed nothing.
// Its summary is what a client may be told: it quotes no SQL and names no
// file of the server. The detail (the engine's message, the statement, the
// path) is for the server's log only; what() holds both.
class StorageFailure : public std::runtime_error {
 public:
  explicit StorageFailure(const std::string& summary, const std::string& detail = std::string())
      : std::runtime_error(detail.empty() ? summary : summary + ": " + detail), m_summary(summary) {}
  const std::string& summary() const { return m_summary; }

 private:
  std::string m_summary;
};

// The engine gave the transaction up because a concurrent one touched the
// same data (or took the same unique name) at the same moment; nothing of it
// was kept, and running the whole transaction again may succeed.
class StorageConflict : public StorageFailure {
 public:
  explicit StorageConflict(const std::string& summary, const std::string& detail = std::string())
      : StorageFailure(summary, detail) {}
};

// A transaction begun for reading (Storage::beginReading) tried to write;
// nothing was written, and the caller runs it again as a writing one.
class WriteNeeded : public StorageFailure {
 public:
  explicit WriteNeeded(const std::string& summary, const std::string& detail = std::string())
      : StorageFailure(summary, detail) {}
};

// The store is held by another server process.
class StoreInUse : public StorageFailure {
 public:
  explicit StoreInUse(const std::string& summary, const std::string& detail = std::string())
      : StorageFailure(summary, detail) {}
};

}  // namespace talixdb::server
