// Login sessions: credentials, session ids, expiry after idle time. The
// store knows a session only by the hash of its id (sessionKey).
#include "repository/Repository.h"

#include "base/ClientText.h"
#include "repository/PasswordHash.h"
#include "repository/SessionKey.h"
#include "storage/RandomToken.h"

namespace talixdb::server {

std::string Repository::login(Caller& caller, const std::string& user, const std::string& password,
                              SessionKind kind) {
  const std::string id = randomToken();
  std::string name = transact([&] {
    std::optional<StoredUser> account = m_storage.user(user);
    // An unknown user costs the same hash as a wrong password.
    bool matches = m_checkPassword(password, account ? account->passwordHash : unknownUserHash());
    if (!account || !matches) throw Refusal("wrong user name or password for " + echo(user));
    m_storage.removeSessionsSeenBefore(liveSince());
    if (!caller.session.empty()) m_storage.removeSession(sessionKey(caller.session));
    m_storage.addSession(StoredSession{sessionKey(id), account->name, m_clock(), kind});
    return account->name;
  });
  caller.session = id;
  caller.user = name;
  return id;
}

bool Repository::isLoggedIn(const std::string& user) {
  return read([&] { return m_storage.latestSessionUse(user, liveSince()).has_value(); });
}

std::optional<SessionUse> Repository::sessionUse(const std::string& user, const std::string& asker,
                                                 const std::string& password) {
  return read([&]() -> std::optional<SessionUse> {
    std::optional<StoredUser> account = m_storage.user(asker);
    bool matches = m_checkPassword(password, account ? account->passwordHash : unknownUserHash());
    if (!account || !matches) throw Refusal("wrong user name or password for " + echo(asker));
    if (account->name != user && !account->isAdmin) return std::nullopt;
    std::optional<std::int64_t> lastUsed = m_storage.latestSessionUse(user, liveSince());
    if (!lastUsed) return std::nullopt;
    return SessionUse{*lastUsed, *lastUsed + m_sessionTimeout + sessionRefreshInterval(m_sessionTimeout)};
  });
}

bool Repository::endSessions(const std::string& name) {
  return transact([&] { return removeSessions(name); });
}

bool Repository::endSessionsOf(const StoredUser& requester, const std::string& user) {
  if (!requester.isAdmin) throw Refusal("permission denied: only the administrator ends the sessions of a user");
  return removeSessions(user);
}

bool Repository::removeSessions(const std::string& user) {
  if (!m_storage.user(user)) throw Refusal("no such user: " + echo(user));
  bool live = m_storage.latestSessionUse(user, liveSince()).has_value();
  m_storage.removeSessionsOf(user);
  return live;
}

void Repository::logout(Caller& caller) {
  transact([&] {
    if (std::optional<StoredSession> session = storedSession(caller.session)) {
      caller.user = session->user;
      m_storage.removeSession(session->key);
    }
  });
}

std::string Repository::sessionId(Caller& caller) {
  return read([&] {
    std::string id;
    if (std::optional<StoredSession> session = liveSession(caller.session)) {
      refresh(*session);
      caller.user = session->user;
      id = caller.session;
    }
    return id;
  });
}

std::string Repository::authenticate(const std::string& sessionId) {
  return read([&] {
    std::string user;
    if (std::optional<StoredSession> session = liveSession(sessionId)) user = session->user;
    return user;
  });
}

bool Repository::invalidate(Caller& caller, const std::string& sessionId) {
  return transact([&] {
    bool ended = false;
    std::optional<StoredSession> own = liveSession(caller.session);
    std::optional<StoredSession> target = liveSession(sessionId);
    if (own && target) {
      caller.user = own->user;
      std::optional<StoredUser> user = m_storage.user(own->user);
      bool allowed = own->kind == SessionKind::Reading ? own->key == target->key
                                                       : own->user == target->user || (user && user->isAdmin);
      if (allowed) ended = m_storage.removeSession(target->key);
    }
    return ended;
  });
}

std::optional<StoredSession> Repository::storedSession(const std::string& sessionId) {
  if (sessionId.empty()) return std::nullopt;
  return m_storage.session(sessionKey(sessionId));
}

std::optional<StoredSession> Repository::liveSession(const std::string& sessionId) {
  std::optional<StoredSession> session = storedSession(sessionId);
  if (session && session->lastSeen < liveSince()) return std::nullopt;
  return session;
}

}  // namespace talixdb::server
