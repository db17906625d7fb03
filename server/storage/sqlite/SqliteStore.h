// The SQLite store as a whole, as one process holds it: its data directory,
// readable by its user only and locked for one server at a time (the file
// "server.lock" names the holder's process id), and the source of one
// SqliteStorage connection per worker.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "storage/Storage.h"
#include "storage/sqlite/FileLock.h"

namespace talixdb::server {

class SqliteStore : public Store {
 public:
  // Opens the store in `dataDirectory`, creating it on first use: takes the
  // lock, narrows permissions wider than owner-only (with a warning in the
  // log) and brings the schema up to date. Throws StoreInUse when `use` is
  // Serve and another process holds the store, StorageFailure when the
  // store cannot be used.
  SqliteStore(std::string dataDirectory, StoreUse use);

  std::unique_ptr<Storage> connect() override;
  std::string description() const override;

 private:
  std::string m_directory;
  std::shared_ptr<std::timed_mutex> m_writers = std::make_shared<std::timed_mutex>();
  std::unique_ptr<FileLock> m_lock;  // null when administering beside a server
};

}  // namespace talixdb::server
