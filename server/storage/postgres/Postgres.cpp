#include "storage/postgres/Postgres.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "storage/StorageFailure.h"

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

// libpq's error text without its trailing newline.
std::string trimmed(const char* text) {
  std::string message = text != nullptr ? text : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

// Notices (such as "there is no transaction in progress") are no failures
// and do not belong on the server's standard error.
void ignoreNotice(void*, const char*) {}

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

PgConnection::PgConnection(const std::string& uri) : m_uri(uri) { connect(); }

PgConnection::~PgConnection() { PQfinish(m_connection); }

void PgConnection::connect() {
  const char* keywords[] = {"dbname", "fallback_application_name", nullptr};
  const char* values[] = {m_uri.c_str(), "talixdb-server", nullptr};
  PGconn* connection = PQconnectdbParams(keywords, values, 1);
  if (connection == nullptr) throw StorageFailure("cannot connect to the database: out of memory");
  if (PQstatus(connection) != CONNECTION_OK) {
    std::string message = trimmed(PQerrorMessage(connection));
    PQfinish(connection);
    throw StorageFailure("cannot connect to the database: " + message);
  }
  PQsetNoticeProcessor(connection, ignoreNotice, nullptr);
  PQfinish(m_connection);
  m_connection = connection;
  m_prepared.clear();
  ++m_generation;
}

void PgConnection::reopenIfLost() {
  if (!isLost()) return;
  connect();
}

void PgConnection::execute(const char* sql) { check(PQexec(m_connection, sql), sql); }

PgResult PgConnection::run(const char* sql, std::initializer_list<PgParam> params, bool binaryResult) {
  auto found = m_prepared.find(sql);
  if (found == m_prepared.end()) {
    std::string name = "talixdb_" + std::to_string(m_prepared.size());
    check(PQprepare(m_connection, name.c_str(), sql, 0, nullptr), sql);
    found = m_prepared.emplace(sql, name).first;
  }
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  for (const PgParam& param : params) {
    values.push_back(param.value());
    lengths.push_back(param.length());
    formats.push_back(param.binary() ? 1 : 0);
  }
  return check(PQexecPrepared(m_connection, found->second.c_str(), static_cast<int>(values.size()), values.data(),
                              lengths.data(), formats.data(), binaryResult ? 1 : 0),
               sql);
}

std::string PgConnection::literal(const std::string& text) {
  char* quoted = PQescapeLiteral(m_connection, text.data(), text.size());
  if (quoted == nullptr) throw StorageFailure("cannot quote a value: " + trimmed(PQerrorMessage(m_connection)));
  std::string result = quoted;
  PQfreemem(quoted);
  return result;
}

std::string PgConnection::describe() const {
  auto field = [](const char* value) { return std::string(value != nullptr && *value != '\0' ? value : "default"); };
  return "database " + field(PQdb(m_connection)) + " on " + field(PQhost(m_connection)) + " port " +
         field(PQport(m_connection)) + " as user " + field(PQuser(m_connection));
}

std::uint64_t postgresRoundTrips() { return g_roundTrips.load(); }

PgResult PgConnection::check(PGresult* raw, const char* what) {
  ++g_roundTrips;
  PgResult result(raw);
  ExecStatusType status = PQresultStatus(raw);
  if (raw != nullptr && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)) return result;
  std::string message = trimmed(raw != nullptr ? PQresultErrorMessage(raw) : PQerrorMessage(m_connection));
  if (message.empty()) message = trimmed(PQerrorMessage(m_connection));
  if (isLost()) throw StorageFailure("lost the connection to the database: " + message);
  const char* state = raw != nullptr ? PQresultErrorField(raw, PG_DIAG_SQLSTATE) : nullptr;
  if (isConflict(state)) throw StorageConflict(message);
  // A write in a READ ONLY transaction (Storage::beginReading).
  if (state != nullptr && std::strcmp(state, "25006") == 0) throw WriteNeeded(message);
  throw StorageFailure("database error (" + message + ") in: " + what);
}

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
