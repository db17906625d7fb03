// Login sessions: credentials, session ids, expiry after idle time.
#include "Repository.h"

#include "PasswordHash.h"
#include "RandomToken.h"
#include "StorageTransaction.h"

namespace talixdb::server {

std::string Repository::login(Caller& caller, const std::string& user, const std::string& password) {
  StorageTransaction transaction(m_storage);
  std::optional<StoredUser> account = m_storage.user(user);
  if (!account || !verifyPassword(password, account->passwordHash))
    throw Refusal("wrong user name or password for " + user);
  m_storage.removeSessionsSeenBefore(liveSince());
  if (!caller.session.empty()) m_storage.removeSession(caller.session);
  StoredSession session{randomToken(), account->name, m_clock()};
  m_storage.addSession(session);
  transaction.commit();
  caller.session = session.id;
  caller.user = account->name;
  return session.id;
}

bool Repository::isLoggedIn(const std::string& user) {
  StorageTransaction transaction(m_storage);
  bool live = m_storage.hasSessionSeenSince(user, liveSince());
  transaction.commit();
  return live;
}

void Repository::logout(Caller& caller) {
  StorageTransaction transaction(m_storage);
  if (!caller.session.empty()) {
    if (std::optional<StoredSession> session = m_storage.session(caller.session)) caller.user = session->user;
    m_storage.removeSession(caller.session);
  }
  transaction.commit();
}

std::string Repository::sessionId(Caller& caller) {
  StorageTransaction transaction(m_storage);
  std::string id;
  if (!caller.session.empty()) {
    std::optional<StoredSession> session = m_storage.session(caller.session);
    if (session && session->lastSeen >= liveSince()) {
      m_storage.touchSession(session->id, m_clock());
      caller.user = session->user;
      id = session->id;
    }
  }
  transaction.commit();
  return id;
}

std::string Repository::authenticate(const std::string& sessionId) {
  StorageTransaction transaction(m_storage);
  std::string user;
  if (!sessionId.empty()) {
    std::optional<StoredSession> session = m_storage.session(sessionId);
    if (session && session->lastSeen >= liveSince()) user = session->user;
  }
  transaction.commit();
  return user;
}

bool Repository::invalidate(Caller& caller, const std::string& sessionId) {
  StorageTransaction transaction(m_storage);
  bool ended = false;
  std::optional<StoredSession> own;
  if (!caller.session.empty()) own = m_storage.session(caller.session);
  std::optional<StoredSession> target;
  if (!sessionId.empty()) target = m_storage.session(sessionId);
  if (own && own->lastSeen >= liveSince() && target && target->lastSeen >= liveSince()) {
    caller.user = own->user;
    std::optional<StoredUser> user = m_storage.user(own->user);
    if (own->user == target->user || (user && user->isAdmin)) ended = m_storage.removeSession(target->id);
  }
  transaction.commit();
  return ended;
}

}  // namespace talixdb::server
