// Opening the store, its schema, and transactions.
#include "storage/sqlite/SqliteStorage.h"

#include <chrono>
#include <filesystem>
#include <set>

namespace talixdb::server {

namespace {

// The schema of version 1, as the first stores were made; every store starts
// from it and is then brought forward by the steps below.
constexpr const char* kFirstSchema = R"sql(
CREATE TABLE objects(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES objects(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  type_name TEXT NOT NULL,
  is_file INTEGER NOT NULL DEFAULT 0,
  position INTEGER NOT NULL,
  checked_out INTEGER NOT NULL DEFAULT 0,
  checkin_policy TEXT NOT NULL DEFAULT '');
CREATE UNIQUE INDEX objects_by_name ON objects(parent, name);
CREATE INDEX objects_by_position ON objects(parent, position);
CREATE TABLE properties(
  object INTEGER NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  property_set INTEGER NOT NULL,
  position INTEGER NOT NULL,
  key TEXT,
  has_value INTEGER NOT NULL,
  item_type INTEGER NOT NULL,
  item_list INTEGER NOT NULL,
  PRIMARY KEY(object, property_set, position));
CREATE TABLE property_items(
  object INTEGER NOT NULL,
  property_set INTEGER NOT NULL,
  position INTEGER NOT NULL,
  item_position INTEGER NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(object, property_set, position, item_position),
  FOREIGN KEY(object, property_set, position)
    REFERENCES properties(object, property_set, position) ON DELETE CASCADE);
CREATE TABLE versions(
  object INTEGER NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  number INTEGER NOT NULL,
  blob TEXT NOT NULL,
  size INTEGER NOT NULL,
  creator TEXT NOT NULL,
  created INTEGER NOT NULL,
  comment TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(object, number));
CREATE TABLE users(
  name TEXT PRIMARY KEY,
  password_hash TEXT NOT NULL,
  is_admin INTEGER NOT NULL,
  object INTEGER REFERENCES objects(id) ON DELETE SET NULL);
CREATE TABLE access(
  object INTEGER NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  member TEXT NOT NULL,
  level INTEGER NOT NULL,
  PRIMARY KEY(object, member, level));
CREATE INDEX access_by_member ON access(member);
CREATE TABLE sessions(
  id TEXT PRIMARY KEY,
  user TEXT NOT NULL,
  last_seen INTEGER NOT NULL);
CREATE INDEX sessions_by_user ON sessions(user);
INSERT INTO objects(id, parent, name, type_name, position) VALUES(1, NULL, '', 'Folder', 0);
PRAGMA user_version = 1;
)sql";

// kUpgrades[i] brings a store of version i + 1 to version i + 2.
constexpr const char* kUpgrades[] = {
    // 2: sessions are kept under the hash of their id. The ids kept in the
    // clear before may have been read already (the store used to be open to
    // every local user): they are dropped, and their users log in again.
    R"sql(
DROP TABLE sessions;
CREATE TABLE sessions(
  key TEXT PRIMARY KEY,
  user TEXT NOT NULL,
  last_seen INTEGER NOT NULL);
CREATE INDEX sessions_by_user ON sessions(user);
PRAGMA user_version = 2;
)sql",
    // 3: a session is full or reading (SessionKind); the ones before were full.
    R"sql(
ALTER TABLE sessions ADD COLUMN reading INTEGER NOT NULL DEFAULT 0;
PRAGMA user_version = 3;
)sql",
};

constexpr const char* kBusyTimeout = "PRAGMA busy_timeout = 30000";
constexpr auto kWriterWait = std::chrono::seconds(30);  // as long as SQLite waits for its lock

constexpr int kSchemaVersion = 1 + static_cast<int>(sizeof kUpgrades / sizeof kUpgrades[0]);

}  // namespace

std::string storeFile(const std::string& dataDirectory, const char* name) { return dataDirectory + "/" + name; }

SqliteStorage::SqliteStorage(const std::string& dataDirectory, std::shared_ptr<std::timed_mutex> writers)
    : m_writers(std::move(writers)),
      m_files(storeFile(dataDirectory, kBlobDirectory), storeFile(dataDirectory, kBackupLockFile)) {
  m_db = std::make_unique<SqliteConnection>(storeFile(dataDirectory, kDatabaseFile));
  m_db->execute(kBusyTimeout);
  m_db->execute("PRAGMA journal_mode = WAL");
  m_db->execute("PRAGMA synchronous = FULL");
  m_db->execute("PRAGMA foreign_keys = ON");
  ensureSchema();
}

SqliteStorage::~SqliteStorage() {
  if (m_inTransaction) {
    try {
      rollback();
    } catch (...) {
      // Closing the connection rolls back as well.
    }
  }
}

void SqliteStorage::ensureSchema() {
  begin();
  try {
    int version = 0;
    {
      auto statement = m_db->prepare("PRAGMA user_version");
      if (statement.step()) version = static_cast<int>(statement.integer(0));
    }  // reset here: a pending statement keeps tables from being dropped
    if (version > kSchemaVersion)
      throw StorageFailure("the store was written by a newer server (schema " + std::to_string(version) + ")");
    if (version == 0) {
      m_db->execute(kFirstSchema);
      version = 1;
    }
    for (; version < kSchemaVersion; ++version) m_db->execute(kUpgrades[version - 1]);
    commit();
  } catch (...) {
    rollback();
    throw;
  }
}

bool SqliteStorage::removeUnreferencedContent() {
  std::set<std::string> referenced;
  begin();
  try {
    auto statement = m_db->prepare("SELECT blob FROM versions");
    while (statement.step()) referenced.insert(statement.text(0));
    bool removed = m_files.removeUnreferenced(referenced);
    commit();
    return removed;
  } catch (...) {
    rollback();
    throw;
  }
}

void SqliteStorage::begin() { open(false); }

void SqliteStorage::beginReading() { open(true); }

void SqliteStorage::open(bool reading) {
  if (!reading && m_writers) {
    std::unique_lock<std::timed_mutex> turn(*m_writers, kWriterWait);
    if (!turn.owns_lock()) throw StorageFailure("database error (the store stayed busy) in: BEGIN IMMEDIATE");
    m_writing = std::move(turn);
  }
  try {
    m_db->setQueryOnly(reading);
    m_db->execute(reading ? "BEGIN DEFERRED" : "BEGIN IMMEDIATE");
  } catch (...) {
    endWriting();
    throw;
  }
  m_inTransaction = true;
  m_placed.clear();
  m_doomed.clear();
}

void SqliteStorage::commit() {
  m_db->execute("COMMIT");
  m_inTransaction = false;
  endWriting();
  std::vector<std::string> doomed;
  doomed.swap(m_doomed);
  m_placed.clear();
  try {
    m_files.discard(doomed);
  } catch (...) {
    // The commit stands; blobs left behind are removed at the next start.
  }
}

void SqliteStorage::rollback() {
  if (!m_inTransaction) return;
  m_inTransaction = false;
  for (const std::string& blob : m_placed) m_files.remove(blob);
  m_placed.clear();
  m_doomed.clear();
  try {
    m_db->execute("ROLLBACK");
  } catch (...) {
    endWriting();
    throw;
  }
  endWriting();
}

void SqliteStorage::endWriting() {
  if (m_writing.owns_lock()) m_writing.unlock();
}

}  // namespace talixdb::server
