// A thin RAII layer over libpq: one connection to a PostgreSQL database that
// is opened again after it was lost, statements prepared once per
// connection, and statements sent together so that several cost one round
// trip (libpq's pipeline mode). Failures throw StorageFailure naming the
// statement, StorageConflict for what running the transaction again may
// cure, and ConnectionLost when the connection went.
//
// Every connection reads with index scans where an index serves (a
// sequential scan makes a SERIALIZABLE transaction conflict with every write
// to the table), and, unless the database, its role or the URI set their
// own, has a statement time-out of 60 s and a lock time-out of 10 s; unless
// the URI sets them, connecting gives up after 10 s and TCP keep-alives are
// on (probes after 30 s idle, every 10 s, 3 lost ones end the connection).
// Notices of the database go to the server's log.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <deque>
#include <exception>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/StorageFailure.h"

namespace talixdb::server {

// The connection to the database went while a statement was under way.
class ConnectionLost : public StorageFailure {
 public:
  ConnectionLost(const std::string& detail, bool answered)
      : StorageFailure("lost the connection to the database", detail), m_answered(answered) {}
  // Whether the database had answered anything of the round trip the
  // connection was lost in; when it had not, none of it may have run.
  bool answered() const { return m_answered; }

 private:
  bool m_answered;
};

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

// The rows a statement returned (none while it has not answered).
class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(PGresult* result) : m_result(result) {}
  // Whether the statement answered (with or without rows).
  bool answered() const { return m_result != nullptr; }
  int rows() const { return m_result ? PQntuples(m_result.get()) : 0; }
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

// An SQL array literal of `items` (for a text[] or bigint[] parameter).
std::string pgArray(const std::vector<std::string>& items);

class PgConnection {
 public:
  // Connects to the database a libpq connection URI names. Throws
  // StorageFailure when that fails (saying so when the database refuses
  // more connections).
  explicit PgConnection(const std::string& uri);
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Connects again when the connection was lost, also when the database
  // ended it while it was idle (which shows only once it is read). Throws
  // StorageFailure when the database cannot be reached.
  void reopenIfLost();
  bool isLost() const { return m_ended || PQstatus(m_connection) != CONNECTION_OK; }
  // True while a transaction is open (or failed and not yet ended).
  bool inTransaction() const { return PQtransactionStatus(m_connection) != PQTRANS_IDLE; }
  // Counts the connections made: a value seen before a reconnection no
  // longer equals it after (session state such as advisory locks is gone).
  std::uint64_t generation() const { return m_generation; }
  // The database's process serving this connection.
  int backendPid() const { return PQbackendPID(m_connection); }

  // Sends the statement `sql`, prepared on first use on each connection,
  // without waiting for it; `sql` must be a string literal (the cache keys
  // on its address), and bytes parameters need only live until this
  // returns. Its rows go to `into` when given, in text, or all in binary
  // when `binaryResult` is set. Its failure shows at the next wait().
  void send(const char* sql, std::initializer_list<PgParam> params, PgResult* into = nullptr,
            bool binaryResult = false);
  // Ends the group of statements sent so far: each group runs as a
  // transaction of its own unless it lies within one begun by a statement.
  void endGroup();
  // Waits until everything sent has answered; throws the first failure
  // among it (ConnectionLost when the connection went meanwhile).
  void wait();
  // True while statements were sent and not waited for.
  bool pending() const { return !m_sent.empty(); }
  // Sends `sql` in a group of its own and waits: returns its rows.
  PgResult run(const char* sql, std::initializer_list<PgParam> params, bool binaryResult = false);
  // Runs one or more statements without parameters or results, after
  // waiting for what was sent.
  void execute(const char* sql);
  // Quotes `text` as an SQL literal.
  std::string literal(const std::string& text);

  // Host (or socket directory), port, database and user of the connection.
  std::string describe() const;

 private:
  void connect();
  // Sets the defaults the database leaves open (see above).
  void applyDefaults();
  // The rows of a statement run at once, or its failure thrown.
  PgResult check(PGresult* result, const char* what);
  // The failure `result` reports (of the statement `what`), as thrown.
  std::exception_ptr failureOf(PGresult* result, const char* what);
  // The connection went during a round trip: forgets what was sent.
  [[noreturn]] void lost(const std::string& message, bool answered);
  static void receiveNotice(void* self, const PGresult* notice);

  struct Sent {
    const char* sql;  // null for the end of a group
    PgResult* into;
    bool prepare;  // the statement's preparation, answered apart
  };

  std::string m_uri;
  PGconn* m_connection = nullptr;
  std::uint64_t m_generation = 0;
  bool m_ended = false;  // the database said it ends the connection
  std::map<const char*, std::string> m_prepared;  // statement text -> its name on this connection
  std::uint64_t m_names = 0;  // prepared statement names handed out
  std::deque<Sent> m_sent;  // waiting for their answers, in order
};

// Round trips to the database of every connection in this process so far
// (each statement, or group of statements sent together, and its answer).
std::uint64_t postgresRoundTrips();

// The host, port, database and user a connection URI names ("default" for
// the ones it leaves to libpq), never its password; "" when libpq cannot
// parse it.
std::string describePostgresUri(const std::string& uri);

}  // namespace talixdb::server
