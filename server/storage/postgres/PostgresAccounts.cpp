// Users, permissions and sessions in the PostgreSQL store.
#include "storage/postgres/PostgresStorage.h"

namespace talixdb::server {

std::optional<StoredUser> PostgresStorage::user(const std::string& name) {
  PgResult row = query("SELECT name, password_hash, is_admin FROM users WHERE name = $1", {name});
  if (row.rows() == 0) return std::nullopt;
  return StoredUser{row.text(0, 0), row.text(0, 1), row.boolean(0, 2)};
}

std::optional<std::string> PostgresStorage::userOfObject(ObjectId object) {
  PgResult row = query("SELECT name FROM users WHERE object = $1", {object});
  if (row.rows() == 0) return std::nullopt;
  return row.text(0, 0);
}

void PostgresStorage::addUser(const StoredUser& user, ObjectId object) {
  write("INSERT INTO users(name, password_hash, is_admin, object) VALUES($1, $2, $3, $4)",
        {user.name, user.passwordHash, user.isAdmin, object});
}

void PostgresStorage::removeUser(const std::string& name) { write("DELETE FROM users WHERE name = $1", {name}); }

void PostgresStorage::setPasswordHash(const std::string& name, const std::string& passwordHash) {
  write("UPDATE users SET password_hash = $2 WHERE name = $1", {name, passwordHash});
}

std::optional<Access> PostgresStorage::ownAccess(ObjectId id, const std::string& member) {
  PgResult row = query("SELECT MAX(level) FROM access WHERE object = $1 AND member = $2", {id, member});
  if (row.rows() == 0 || row.isNull(0, 0)) return std::nullopt;
  return static_cast<Access>(row.integer(0, 0));
}

void PostgresStorage::addAccess(ObjectId id, const std::string& member, Access access) {
  write("INSERT INTO access(object, member, level) VALUES($1, $2, $3) ON CONFLICT DO NOTHING",
        {id, member, static_cast<int>(access)});
}

bool PostgresStorage::removeAccess(ObjectId id, const std::string& member, Access access) {
  PgResult rows = query("DELETE FROM access WHERE object = $1 AND member = $2 AND level = $3 RETURNING 1",
                        {id, member, static_cast<int>(access)}, false, true);
  return rows.rows() > 0;
}

void PostgresStorage::removeAccessOf(const std::string& member) {
  write("DELETE FROM access WHERE member = $1", {member});
}

void PostgresStorage::addSession(const StoredSession& session) {
  write("INSERT INTO sessions(key, user_name, last_seen, reading) VALUES($1, $2, $3, $4)",
        {session.key, session.user, session.lastSeen, session.kind == SessionKind::Reading});
}

std::optional<StoredSession> PostgresStorage::session(const std::string& key) {
  PgResult row = committedRead("SELECT key, user_name, last_seen, reading FROM sessions WHERE key = $1", {key});
  if (row.rows() == 0) return std::nullopt;
  return StoredSession{row.text(0, 0), row.text(0, 1), row.integer(0, 2),
                       row.boolean(0, 3) ? SessionKind::Reading : SessionKind::Full};
}

void PostgresStorage::touchSession(const std::string& key, std::int64_t now) { m_touch.emplace(key, now); }

bool PostgresStorage::removeSession(const std::string& key) {
  return query("DELETE FROM sessions WHERE key = $1 RETURNING 1", {key}, false, true).rows() > 0;
}

void PostgresStorage::removeSessionsOf(const std::string& user) {
  write("DELETE FROM sessions WHERE user_name = $1", {user});
}

void PostgresStorage::removeSessionsSeenBefore(std::int64_t cutoff) { m_expireBefore = cutoff; }

std::optional<std::int64_t> PostgresStorage::latestSessionUse(const std::string& user, std::int64_t cutoff) {
  PgResult result = committedRead(
      "SELECT max(last_seen) FROM sessions WHERE user_name = $1 AND last_seen >= $2 AND NOT reading", {user, cutoff});
  if (result.rows() == 0 || result.isNull(0, 0)) return std::nullopt;
  return result.integer(0, 0);
}

StoreFigures PostgresStorage::figures(std::int64_t cutoff) {
  PgResult row = query(
      "SELECT (SELECT count(*) FROM sessions WHERE last_seen >= $1), (SELECT count(*) FROM objects), "
      "(SELECT coalesce(sum(size), 0) FROM versions)",
      {cutoff});
  return StoreFigures{row.integer(0, 0), row.integer(0, 1), row.integer(0, 2)};
}

}  // namespace talixdb::server
