#include "storage/sqlite/Sqlite.h"

#include "storage/StorageFailure.h"

namespace talixdb::server {

SqliteStatement::SqliteStatement(SqliteConnection& connection, sqlite3_stmt* statement)
    : m_connection(connection), m_statement(statement) {}

SqliteStatement::~SqliteStatement() {
  sqlite3_reset(m_statement);
  sqlite3_clear_bindings(m_statement);
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
  m_connection.check(sqlite3_bind_int64(m_statement, index, value), "bind");
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::string& value) {
  m_connection.check(sqlite3_bind_text64(m_statement, index, value.data(), value.size(),
                                         SQLITE_TRANSIENT, SQLITE_UTF8),
                     "bind");
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::optional<std::string>& value) {
  if (value) return bind(index, *value);
  m_connection.check(sqlite3_bind_null(m_statement, index), "bind");
  return *this;
}

bool SqliteStatement::step() {
  int code = sqlite3_step(m_statement);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  m_connection.check(code, sqlite3_sql(m_statement));
  return false;
}

void SqliteStatement::run() {
  while (step()) {
  }
}

std::int64_t SqliteStatement::integer(int column) const {
  return sqlite3_column_int64(m_statement, column);
}

std::string SqliteStatement::text(int column) const {
  const void* data = sqlite3_column_blob(m_statement, column);
  int size = sqlite3_column_bytes(m_statement, column);
  if (data == nullptr || size <= 0) return std::string();
  return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

bool SqliteStatement::isNull(int column) const {
  return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

SqliteConnection::SqliteConnection(const std::string& file, bool create) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int code = sqlite3_open_v2(file.c_str(), &m_db, flags, nullptr);
  if (code != SQLITE_OK) {
    std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
    sqlite3_close(m_db);
    m_db = nullptr;
    throw StorageFailure("cannot open the database", file + ": " + message);
  }
  sqlite3_extended_result_codes(m_db, 1);
}

SqliteConnection::~SqliteConnection() {
  for (auto& entry : m_statements) sqlite3_finalize(entry.second);
  sqlite3_close(m_db);
}

void SqliteConnection::execute(const char* sql) {
  char* error = nullptr;
  int code = sqlite3_exec(m_db, sql, nullptr, nullptr, &error);
  if (code != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errstr(code);
    sqlite3_free(error);
    throw StorageFailure("database statement failed", message);
  }
}

SqliteStatement SqliteConnection::prepare(const char* sql) {
  auto found = m_statements.find(sql);
  if (found != m_statements.end()) return SqliteStatement(*this, found->second);
  sqlite3_stmt* statement = nullptr;
  check(sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr), sql);
  m_statements.emplace(sql, statement);
  return SqliteStatement(*this, statement);
}

void SqliteConnection::setQueryOnly(bool on) {
  if (on == m_queryOnly) return;
  prepare(on ? "PRAGMA query_only = 1" : "PRAGMA query_only = 0").run();
  m_queryOnly = on;
}

std::int64_t SqliteConnection::lastInsertId() const { return sqlite3_last_insert_rowid(m_db); }

int SqliteConnection::changes() const { return sqlite3_changes(m_db); }

void SqliteConnection::check(int code, const char* what) const {
  if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return;
  if ((code & 0xff) == SQLITE_READONLY && m_queryOnly)
    throw WriteNeeded("a write in a reading transaction", what);
  throw StorageFailure("database error", std::string(sqlite3_errmsg(m_db)) + " in: " + what);
}

}  // namespace talixdb::server
