// A thin RAII layer over libpq: one connection to a PostgreSQL database that
// is opened again after it was lost, and statements prepared once per
// connection. Failures throw StorageFailure naming the statement, and
// StorageConflict for what running the transaction again may cure.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace talixdb::server {

// One parameter of a statement: text (or SQL NULL), or raw bytes for a bytea.
class PgParam {
 public:
  PgParam(std::int64_t value) : m_text(std::to_string(value)) {}  // NOLINT: implicit on purpose
  PgParam(int value) : m_text(std::to_string(value)) {}           // NOLINT
  PgParam(bool value) : m_text(value ? "t" : "f") {}              // NOLINT
  PgParam(const std::string& value) : m_text(value) {}            // NOLINT
  PgParam(const char* value) : m_text(value) {}                   // NOLINT
  PgParam(const std::optional<std::string>& value) : m_text(value) {}  // NOLINT
  static PgParam bytes(const char* data, std::size_t size);

  const char* value() const { return m_data != nullptr ? m_data : m_text ? m_text->c_str() : nullptr; }
  int length() const { return static_cast<int>(m_size); }
  bool binary() const { return m_data != nullptr; }

 private:
  PgParam() = default;
  std::optional<std::string> m_text;
  const char* m_data = nullptr;  // not owned
  std::size_t m_size = 0;
};

// The rows a statement returned.
class PgResult {
 public:
  explicit PgResult(PGresult* result) : m_result(result) {}
  int rows() const { return PQntuples(m_result.get()); }
  bool isNull(int row, int column) const { return PQgetisnull(m_result.get(), row, column) != 0; }
  std::string text(int row, int column) const;
  std::int64_t integer(int row, int column) const;
  bool boolean(int row, int column) const;
  // The raw value (a bytea read in binary) and its length.
  const char* data(int row, int column) const { return PQgetvalue(m_result.get(), row, column); }
  std::size_t size(int row, int column) const {
    return static_cast<std::size_t>(PQgetlength(m_result.get(), row, column));
  }

 private:
  struct Clear {
    void operator()(PGresult* result) const { PQclear(result); }
  };
  std::unique_ptr<PGresult, Clear> m_result;
};

class PgConnection {
 public:
  // Connects to the database a libpq connection URI names. Throws
  // StorageFailure when that fails.
  explicit PgConnection(const std::string& uri);
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Connects again when the connection was lost. Throws StorageFailure when
  // the database cannot be reached.
  void reopenIfLost();
  bool isLost() const { return PQstatus(m_connection) != CONNECTION_OK; }
  // True while a transaction is open (or failed and not yet ended).
  bool inTransaction() const { return PQtransactionStatus(m_connection) != PQTRANS_IDLE; }
  // Counts the connections made: a value seen before a reconnection no
  // longer equals it after (session state such as advisory locks is gone).
  std::uint64_t generation() const { return m_generation; }

  // Runs one or more statements without parameters or results.
  void execute(const char* sql);
  // Runs the statement `sql`, prepared on first use on each connection; `sql`
  // must be a string literal (the cache keys on its address). Columns come
  // back as text, or all in binary when `binaryResult` is set.
  PgResult run(const char* sql, std::initializer_list<PgParam> params, bool binaryResult = false);
  // Quotes `text` as an SQL literal.
  std::string literal(const std::string& text);

  // Host (or socket directory), port, database and user of the connection.
  std::string describe() const;

 private:
  void connect();
  PgResult check(PGresult* result, const char* what);

  std::string m_uri;
  PGconn* m_connection = nullptr;
  std::uint64_t m_generation = 0;
  std::map<const char*, std::string> m_prepared;  // statement text -> its name on this connection
};

// Round trips to the database of every connection in this process so far
// (each statement, or group of statements sent together, and its answer).
std::uint64_t postgresRoundTrips();

// The host, port, database and user a connection URI names ("default" for
// the ones it leaves to libpq), never its password; "" when libpq cannot
// parse it.
std::string describePostgresUri(const std::string& uri);

}  // namespace talixdb::server
