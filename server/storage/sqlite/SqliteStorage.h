// The storage seam implemented with SQLite: one database file
// "talixdb.sqlite" and a "blobs" directory of file contents inside the data
// directory. One object per connection; every worker thread opens its own.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storage/Storage.h"
#include "storage/sqlite/ContentFiles.h"
#include "storage/sqlite/Sqlite.h"

namespace talixdb::server {

// The entries of a store's data directory.
constexpr const char* kDatabaseFile = "talixdb.sqlite";
constexpr const char* kBlobDirectory = "blobs";
constexpr const char* kServerLockFile = "server.lock";  // held by the serving process, names its id
constexpr const char* kBackupLockFile = "backup.lock";  // held shared by running backups
// The path of one of them.
std::string storeFile(const std::string& dataDirectory, const char* name);

class SqliteStorage : public Storage {
 public:
  // Opens the store in `dataDirectory`, creating the directory, the database
  // and its schema on first use. Throws StorageFailure when that fails or
  // the database was written by a newer schema. The connections of one
  // process that share `writers` queue on it for their writing
  // transactions, rather than on SQLite's lock, which a waiter polls with
  // growing sleeps.
  explicit SqliteStorage(const std::string& dataDirectory,
                         std::shared_ptr<std::timed_mutex> writers = nullptr);
  ~SqliteStorage() override;

  // Deletes content files that no version refers to (leftovers of a crash).
  // Call once at start, before any request is served, by the process that
  // holds the store. Returns false, having deleted nothing, while a backup runs.
  bool removeUnreferencedContent();

  // Writing transactions run one at a time (BEGIN IMMEDIATE), reading ones
  // beside them and each other, each on its own snapshot of the store.
  void begin() override;
  void beginReading() override;
  void commit() override;
  void rollback() override;

  ObjectId rootId() override;
  std::optional<StoredObject> object(ObjectId id) override;
  std::optional<StoredObject> child(ObjectId parent, const std::string& name) override;
  std::vector<StoredObject> children(ObjectId parent) override;
  std::vector<StoredObject> objectsNamedLike(const std::string& fragment) override;
  ObjectId addObject(ObjectId parent, const std::string& name, const std::string& typeName,
                     bool isFile) override;
  void moveObject(ObjectId id, ObjectId newParent, const std::string& newName) override;
  void removeObject(ObjectId id) override;
  void setCheckedOut(ObjectId id, bool checkedOut) override;
  void setCheckinPolicy(ObjectId id, const std::string& policy) override;

  PropertyList properties(ObjectId id, PropertySet set) override;
  void replaceProperties(ObjectId id, PropertySet set, const PropertyList& list) override;

  std::unique_ptr<StagedContent> stageContent() override;
  void addVersion(ObjectId id, StagedContent& staged, const std::string& creator,
                  std::int64_t created) override;
  std::vector<StoredVersion> versions(ObjectId id) override;
  void setVersionComment(ObjectId id, int version, const std::string& comment) override;
  std::unique_ptr<ContentSource> openContent(ObjectId id, int version) override;
  std::optional<std::uint64_t> contentSpace() override { return m_files.freeSpace(); }

  std::optional<StoredUser> user(const std::string& name) override;
  std::optional<std::string> userOfObject(ObjectId object) override;
  void addUser(const StoredUser& user, ObjectId object) override;
  void removeUser(const std::string& name) override;
  void setPasswordHash(const std::string& name, const std::string& passwordHash) override;

  std::optional<Access> ownAccess(ObjectId id, const std::string& member) override;
  void addAccess(ObjectId id, const std::string& member, Access access) override;
  bool removeAccess(ObjectId id, const std::string& member, Access access) override;
  void removeAccessOf(const std::string& member) override;

  void addSession(const StoredSession& session) override;
  std::optional<StoredSession> session(const std::string& key) override;
  void touchSession(const std::string& key, std::int64_t now) override;
  bool removeSession(const std::string& key) override;
  void removeSessionsOf(const std::string& user) override;
  void removeSessionsSeenBefore(std::int64_t cutoff) override;
  std::optional<std::int64_t> latestSessionUse(const std::string& user, std::int64_t cutoff) override;
  StoreFigures figures(std::int64_t cutoff) override;

 private:
  void ensureSchema();
  void open(bool reading);
  void endWriting();
  std::optional<StoredObject> readObject(SqliteStatement& statement);

  std::shared_ptr<std::timed_mutex> m_writers;
  std::unique_lock<std::timed_mutex> m_writing;  // held from a writing begin to its end
  std::unique_ptr<SqliteConnection> m_db;
  ContentFiles m_files;
  bool m_inTransaction = false;
  // Blob files placed in the open transaction (removed again on rollback)
  // and blob files whose rows it deleted (removed after commit).
  std::vector<std::string> m_placed;
  std::vector<std::string> m_doomed;
};

}  // namespace talixdb::server
