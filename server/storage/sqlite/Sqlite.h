// A thin RAII layer over the SQLite C interface: one connection with a cache
// of prepared statements. Every failure throws StorageFailure naming the call.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace talixdb::server {

class SqliteConnection;

// A cached prepared statement, borrowed for one use: bind, step, read columns.
// Resets itself (and its bindings) when it goes out of scope.
class SqliteStatement {
 public:
  SqliteStatement(SqliteConnection& connection, sqlite3_stmt* statement);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Parameters are numbered from 1.
  SqliteStatement& bind(int index, std::int64_t value);
  SqliteStatement& bind(int index, const std::string& value);
  SqliteStatement& bind(int index, const std::optional<std::string>& value);
  // Advances to the next row; false when there is none.
  bool step();
  // Runs a statement that returns no rows.
  void run();
  // Columns are numbered from 0.
  std::int64_t integer(int column) const;
  std::string text(int column) const;
  bool isNull(int column) const;

 private:
  SqliteConnection& m_connection;
  sqlite3_stmt* m_statement;
};

class SqliteConnection {
 public:
  // Opens the database file, creating it when missing unless `create` is false.
  explicit SqliteConnection(const std::string& file, bool create = true);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  // Runs one or more statements without results.
  void execute(const char* sql);
  // A statement for `sql`, prepared once per connection. `sql` must be a
  // string literal (the cache keys on its address).
  SqliteStatement prepare(const char* sql);
  // While on, a statement that would write fails with WriteNeeded and
  // changes nothing (PRAGMA query_only).
  void setQueryOnly(bool on);
  bool queryOnly() const { return m_queryOnly; }
  std::int64_t lastInsertId() const;
  int changes() const;
  // Throws StorageFailure for a result code other than the expected ones.
  void check(int code, const char* what) const;
  // The connection itself, for calls this layer does not wrap (backups).
  sqlite3* handle() { return m_db; }

 private:
  sqlite3* m_db = nullptr;
  std::map<const char*, sqlite3_stmt*> m_statements;
  bool m_queryOnly = false;
};

}  // namespace talixdb::server
