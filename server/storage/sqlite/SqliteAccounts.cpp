// Users, permissions and sessions in the SQLite store.
#include "storage/sqlite/SqliteStorage.h"

namespace talixdb::server {

std::optional<StoredUser> SqliteStorage::user(const std::string& name) {
  auto statement = m_db->prepare("SELECT name, password_hash, is_admin FROM users WHERE name = ?1");
  statement.bind(1, name);
  if (!statement.step()) return std::nullopt;
  StoredUser user;
  user.name = statement.text(0);
  user.passwordHash = statement.text(1);
  user.isAdmin = statement.integer(2) != 0;
  return user;
}

std::optional<std::string> SqliteStorage::userOfObject(ObjectId object) {
  auto statement = m_db->prepare("SELECT name FROM users WHERE object = ?1");
  statement.bind(1, object);
  if (!statement.step()) return std::nullopt;
  return statement.text(0);
}

void SqliteStorage::addUser(const StoredUser& user, ObjectId object) {
  auto statement = m_db->prepare("INSERT INTO users(name, password_hash, is_admin, object) VALUES(?1, ?2, ?3, ?4)");
  statement.bind(1, user.name).bind(2, user.passwordHash).bind(3, user.isAdmin ? 1 : 0).bind(4, object);
  statement.run();
}

void SqliteStorage::removeUser(const std::string& name) {
  auto statement = m_db->prepare("DELETE FROM users WHERE name = ?1");
  statement.bind(1, name);
  statement.run();
}

void SqliteStorage::setPasswordHash(const std::string& name, const std::string& passwordHash) {
  auto statement = m_db->prepare("UPDATE users SET password_hash = ?2 WHERE name = ?1");
  statement.bind(1, name).bind(2, passwordHash);
  statement.run();
}

std::optional<Access> SqliteStorage::ownAccess(ObjectId id, const std::string& member) {
  auto statement = m_db->prepare("SELECT MAX(level) FROM access WHERE object = ?1 AND member = ?2");
  statement.bind(1, id).bind(2, member);
  if (!statement.step() || statement.isNull(0)) return std::nullopt;
  return static_cast<Access>(statement.integer(0));
}

void SqliteStorage::addAccess(ObjectId id, const std::string& member, Access access) {
  auto statement = m_db->prepare("INSERT OR IGNORE INTO access(object, member, level) VALUES(?1, ?2, ?3)");
  statement.bind(1, id).bind(2, member).bind(3, static_cast<std::int64_t>(access));
  statement.run();
}

bool SqliteStorage::removeAccess(ObjectId id, const std::string& member, Access access) {
  auto statement = m_db->prepare("DELETE FROM access WHERE object = ?1 AND member = ?2 AND level = ?3");
  statement.bind(1, id).bind(2, member).bind(3, static_cast<std::int64_t>(access));
  statement.run();
  return m_db->changes() > 0;
}

void SqliteStorage::removeAccessOf(const std::string& member) {
  auto statement = m_db->prepare("DELETE FROM access WHERE member = ?1");
  statement.bind(1, member);
  statement.run();
}

void SqliteStorage::addSession(const StoredSession& session) {
  auto statement = m_db->prepare("INSERT INTO sessions(key, user, last_seen, reading) VALUES(?1, ?2, ?3, ?4)");
  statement.bind(1, session.key).bind(2, session.user).bind(3, session.lastSeen);
  statement.bind(4, static_cast<std::int64_t>(session.kind == SessionKind::Reading));
  statement.run();
}

std::optional<StoredSession> SqliteStorage::session(const std::string& key) {
  auto statement = m_db->prepare("SELECT key, user, last_seen, reading FROM sessions WHERE key = ?1");
  statement.bind(1, key);
  if (!statement.step()) return std::nullopt;
  StoredSession session;
  session.key = statement.text(0);
  session.user = statement.text(1);
  session.lastSeen = statement.integer(2);
  session.kind = statement.integer(3) != 0 ? SessionKind::Reading : SessionKind::Full;
  return session;
}

void SqliteStorage::touchSession(const std::string& key, std::int64_t now) {
  auto statement = m_db->prepare("UPDATE sessions SET last_seen = ?2 WHERE key = ?1 AND last_seen <> ?2");
  statement.bind(1, key).bind(2, now);
  statement.run();
}

bool SqliteStorage::removeSession(const std::string& key) {
  auto statement = m_db->prepare("DELETE FROM sessions WHERE key = ?1");
  statement.bind(1, key);
  statement.run();
  return m_db->changes() > 0;
}

void SqliteStorage::removeSessionsOf(const std::string& user) {
  auto statement = m_db->prepare("DELETE FROM sessions WHERE user = ?1");
  statement.bind(1, user);
  statement.run();
}

void SqliteStorage::removeSessionsSeenBefore(std::int64_t cutoff) {
  auto statement = m_db->prepare("DELETE FROM sessions WHERE last_seen < ?1");
  statement.bind(1, cutoff);
  statement.run();
}

std::optional<std::int64_t> SqliteStorage::latestSessionUse(const std::string& user, std::int64_t cutoff) {
  auto statement =
      m_db->prepare("SELECT max(last_seen) FROM sessions WHERE user = ?1 AND last_seen >= ?2 AND reading = 0");
  statement.bind(1, user).bind(2, cutoff);
  if (!statement.step() || statement.isNull(0)) return std::nullopt;
  return statement.integer(0);
}

StoreFigures SqliteStorage::figures(std::int64_t cutoff) {
  auto statement = m_db->prepare(
      "SELECT (SELECT count(*) FROM sessions WHERE last_seen >= ?1), (SELECT count(*) FROM objects), "
      "(SELECT coalesce(sum(size), 0) FROM versions)");
  statement.bind(1, cutoff);
  StoreFigures result;
  if (!statement.step()) return result;
  result.sessions = statement.integer(0);
  result.objects = statement.integer(1);
  result.contentBytes = statement.integer(2);
  return result;
}

}  // namespace talixdb::server
