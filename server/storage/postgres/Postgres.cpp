#include "storage/postgres/Postgres.h"

#include <poll.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/ServerLog.h"

namespace talixdb::server {

namespace {

std::atomic<std::uint64_t> g_roundTrips{0};

// SQLSTATEs after which the same transaction run again may succeed: a
// serialization failure, a deadlock, and a unique key another transaction
// took at the same moment (the rerun finds it and refuses by the rules).
bool isConflict(const char* state) {
  return state != nullptr &&
         (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0 || std::strcmp(state, "23505") == 0);
}

bool isFatal(const char* severity) {
  return severity != nullptr && (std::strcmp(severity, "FATAL") == 0 || std::strcmp(severity, "PANIC") == 0);
}

// libpq's error text without its trailing newline.
std::string trimmed(const char* text) {
  std::string message = text != nullptr ? text : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

// Read with index scans, plan each prepared statement once (its plan does
// not depend on the values), read committed outside transactions; time-outs
// only where the database, the role and the URI left them unset (0).
constexpr const char* kDefaults =
    "SELECT set_config('enable_seqscan', 'off', false), "
    "set_config('plan_cache_mode', 'force_generic_plan', false), "
    "set_config('default_transaction_isolation', 'read committed', false), "
    "set_config('statement_timeout', CASE current_setting('statement_timeout') WHEN '0' THEN '60s' "
    "ELSE current_setting('statement_timeout') END, false), "
    "set_config('lock_timeout', CASE current_setting('lock_timeout') WHEN '0' THEN '10s' "
    "ELSE current_setting('lock_timeout') END, false)";

}  // namespace

PgParam PgParam::bytes(const char* data, std::size_t size) {
  PgParam param;
  static const char kEmpty = 0;
  param.m_data = data != nullptr ? data : &kEmpty;
  param.m_size = size;
  return param;
}

std::string PgResult::text(int row, int column) const {
  return std::string(PQgetvalue(m_result.get(), row, column),
                     static_cast<std::size_t>(PQgetlength(m_result.get(), row, column)));
}

std::int64_t PgResult::integer(int row, int column) const {
  return std::strtoll(PQgetvalue(m_result.get(), row, column), nullptr, 10);
}

bool PgResult::boolean(int row, int column) const { return PQgetvalue(m_result.get(), row, column)[0] == 't'; }

std::string pgArray(const std::vector<std::string>& items) {
  std::string array = "{";
  for (const std::string& item : items) {
    if (array.size() > 1) array += ',';
    array += '"';
    for (char c : item) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  return array + "}";
}

PgConnection::PgConnection(const std::string& uri) : m_uri(uri) { connect(); }

PgConnection::~PgConnection() { PQfinish(m_connection); }

void PgConnection::connect() {
  // The defaults first: what the URI names comes later and wins.
  const char* keywords[] = {"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                            "keepalives_count", "dbname", "fallback_application_name", nullptr};
  const char* values[] = {"10", "1", "30", "10", "3", m_uri.c_str(), "talixdb-server", nullptr};
  PGconn* connection = PQconnectdbParams(keywords, values, 1);
  if (connection == nullptr) throw StorageFailure("cannot connect to the database: out of memory");
  if (PQstatus(connection) != CONNECTION_OK) {
    std::string message = trimmed(PQerrorMessage(connection));
    PQfinish(connection);
    if (message.find("too many clients") != std::string::npos ||
        message.find("too many connections") != std::string::npos ||
        message.find("remaining connection slots") != std::string::npos)
      throw StorageFailure("the database refuses more connections",
                           message + ": lower --max-db-connections of its servers or raise its max_connections");
    throw StorageFailure("cannot connect to the database", message);
  }
  PQsetNoticeReceiver(connection, receiveNotice, this);
  PQfinish(m_connection);
  m_connection = connection;
  m_ended = false;
  m_sent.clear();
  m_prepared.clear();
  ++m_generation;
  applyDefaults();
}

void PgConnection::applyDefaults() {
  ++g_roundTrips;
  check(PQexec(m_connection, kDefaults), "the connection's settings");
}

void PgConnection::reopenIfLost() {
  if (!isLost() && m_sent.empty()) {
    // An idle connection hears from the database only when it is ended:
    // read that out (its notice says why), and the end after it.
    pollfd socket{PQsocket(m_connection), POLLIN, 0};
    if (::poll(&socket, 1, 0) > 0) {
      for (int round = 0; round < 2 && PQconsumeInput(m_connection) == 1; ++round) PQisBusy(m_connection);
    }
  }
  if (isLost()) connect();
}

void PgConnection::send(const char* sql, std::initializer_list<PgParam> params, PgResult* into,
                        bool binaryResult) {
  if (m_sent.empty() && PQpipelineStatus(m_connection) == PQ_PIPELINE_OFF) PQenterPipelineMode(m_connection);
  auto found = m_prepared.find(sql);
  if (found == m_prepared.end()) {
    std::string name = "talixdb_" + std::to_string(m_names++);
    if (PQsendPrepare(m_connection, name.c_str(), sql, 0, nullptr) == 0) {
      if (isLost()) lost(trimmed(PQerrorMessage(m_connection)), false);
      throw StorageFailure("cannot send a statement", trimmed(PQerrorMessage(m_connection)));
    }
    found = m_prepared.emplace(sql, name).first;
    m_sent.push_back(Sent{sql, nullptr, true});
  }
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  for (const PgParam& param : params) {
    values.push_back(param.value());
    lengths.push_back(param.length());
    formats.push_back(param.binary() ? 1 : 0);
  }
  if (PQsendQueryPrepared(m_connection, found->second.c_str(), static_cast<int>(values.size()), values.data(),
                          lengths.data(), formats.data(), binaryResult ? 1 : 0) == 0) {
    if (isLost()) lost(trimmed(PQerrorMessage(m_connection)), false);
    throw StorageFailure("cannot send a statement", trimmed(PQerrorMessage(m_connection)));
  }
  m_sent.push_back(Sent{sql, into, false});
}

void PgConnection::endGroup() {
  if (m_sent.empty() || m_sent.back().sql == nullptr) return;
  if (PQpipelineSync(m_connection) == 0) {
    if (isLost()) lost(trimmed(PQerrorMessage(m_connection)), false);
    throw StorageFailure("cannot send a statement", trimmed(PQerrorMessage(m_connection)));
  }
  m_sent.push_back(Sent{nullptr, nullptr, false});
}

void PgConnection::wait() {
  if (m_sent.empty()) return;
  endGroup();
  ++g_roundTrips;
  bool answered = false;
  std::exception_ptr first;
  std::string lostMessage;
  while (!m_sent.empty()) {
    const Sent item = m_sent.front();
    PGresult* raw = PQgetResult(m_connection);
    if (raw == nullptr) {
      if (isLost()) lost(lostMessage.empty() ? trimmed(PQerrorMessage(m_connection)) : lostMessage, answered);
      // A statement's answers end with a null; nothing more of it is coming.
      m_sent.pop_front();
      continue;
    }
    PgResult result(raw);
    const ExecStatusType status = PQresultStatus(raw);
    if (item.sql == nullptr) {
      // The end of a group answers once, with no null after it.
      m_sent.pop_front();
      answered = answered || status == PGRES_PIPELINE_SYNC;
      continue;
    }
    if (isFatal(PQresultErrorField(raw, PG_DIAG_SEVERITY_NONLOCALIZED))) m_ended = true;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
      answered = true;
      if (item.into != nullptr) *item.into = std::move(result);
    } else {
      if (item.prepare) m_prepared.erase(item.sql);
      if (status != PGRES_PIPELINE_ABORTED) {
        if (isLost()) lostMessage = trimmed(PQresultErrorMessage(raw));
        if (!first) first = failureOf(raw, item.sql);
      }
    }
    // Whatever else it answered, up to its null.
    while (PGresult* extra = PQgetResult(m_connection)) PQclear(extra);
    m_sent.pop_front();
    if (isLost()) lost(lostMessage.empty() ? trimmed(PQerrorMessage(m_connection)) : lostMessage, answered);
  }
  PQexitPipelineMode(m_connection);
  if (first) std::rethrow_exception(first);
}

PgResult PgConnection::run(const char* sql, std::initializer_list<PgParam> params, bool binaryResult) {
  PgResult result;
  send(sql, params, &result, binaryResult);
  wait();
  return result;
}

void PgConnection::execute(const char* sql) {
  wait();
  ++g_roundTrips;
  check(PQexec(m_connection, sql), sql);
}

std::string PgConnection::literal(const std::string& text) {
  char* quoted = PQescapeLiteral(m_connection, text.data(), text.size());
  if (quoted == nullptr) throw StorageFailure("cannot quote a value", trimmed(PQerrorMessage(m_connection)));
  std::string result = quoted;
  PQfreemem(quoted);
  return result;
}

std::string PgConnection::describe() const {
  auto field = [](const char* value) { return std::string(value != nullptr && *value != '\0' ? value : "default"); };
  return "database " + field(PQdb(m_connection)) + " on " + field(PQhost(m_connection)) + " port " +
         field(PQport(m_connection)) + " as user " + field(PQuser(m_connection));
}

PgResult PgConnection::check(PGresult* raw, const char* what) {
  PgResult result(raw);
  const ExecStatusType status = PQresultStatus(raw);
  if (raw != nullptr && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)) return result;
  if (raw != nullptr && isFatal(PQresultErrorField(raw, PG_DIAG_SEVERITY_NONLOCALIZED))) m_ended = true;
  std::rethrow_exception(failureOf(raw, what));
}

std::exception_ptr PgConnection::failureOf(PGresult* raw, const char* what) {
  std::string message = trimmed(raw != nullptr ? PQresultErrorMessage(raw) : PQerrorMessage(m_connection));
  if (message.empty()) message = trimmed(PQerrorMessage(m_connection));
  if (isLost()) return std::make_exception_ptr(ConnectionLost(message, false));
  const char* state = raw != nullptr ? PQresultErrorField(raw, PG_DIAG_SQLSTATE) : nullptr;
  if (isConflict(state))
    return std::make_exception_ptr(StorageConflict("a concurrent change took the same data", message));
  // A write in a READ ONLY transaction (Storage::beginReading).
  if (state != nullptr && std::strcmp(state, "25006") == 0)
    return std::make_exception_ptr(WriteNeeded("a write in a reading transaction", message));
  return std::make_exception_ptr(StorageFailure("database error", message + " in: " + what));
}

void PgConnection::lost(const std::string& message, bool answered) {
  m_sent.clear();
  m_ended = true;
  throw ConnectionLost(message, answered);
}

void PgConnection::receiveNotice(void* self, const PGresult* notice) {
  const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
  const char* state = PQresultErrorField(notice, PG_DIAG_SQLSTATE);
  const bool fatal = isFatal(severity);
  if (fatal) static_cast<PgConnection*>(self)->m_ended = true;
  // A warning may need the operator; "no transaction in progress" and
  // plain notices are the server's own business.
  const bool warning = severity != nullptr && std::strcmp(severity, "WARNING") == 0 &&
                       (state == nullptr || std::strcmp(state, "25P01") != 0);
  logLine(fatal || warning ? LogLevel::Warning : LogLevel::Debug,
          "database connection: " + trimmed(PQresultErrorMessage(notice)));
}

std::uint64_t postgresRoundTrips() { return g_roundTrips.load(); }

std::string describePostgresUri(const std::string& uri) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
  PQfreemem(error);  // it may quote the URI, password and all
  if (options == nullptr) return std::string();
  std::map<std::string, std::string> fields;
  for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val != nullptr && *option->val != '\0') fields[option->keyword] = option->val;
  }
  PQconninfoFree(options);
  auto field = [&fields](const char* name) {
    auto found = fields.find(name);
    return found != fields.end() ? found->second : std::string("default");
  };
  return "database " + field("dbname") + " on " + field("host") + " port " + field("port") + " as user " +
         field("user");
}

}  // namespace talixdb::server
