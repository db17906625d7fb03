// The repository's first start and the helpers every operation shares:
// finding the caller, resolving paths, and evaluating access rights.
#include "repository/Repository.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>

#include "base/ClientText.h"
#include "repository/PasswordHash.h"
#include "repository/RepositoryPath.h"
#include "storage/StorageTransaction.h"

namespace talixdb::server {

namespace {

const char* accessName(Access access);

}  // namespace

ContentionTotals& contentionTotals() {
  static ContentionTotals totals;
  return totals;
}

std::int64_t systemClock() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t sessionRefreshInterval(std::int64_t sessionTimeoutSeconds) {
  return std::min<std::int64_t>(sessionTimeoutSeconds / 10, 5);
}

Repository::Repository(Storage& storage, std::int64_t sessionTimeoutSeconds, Clock clock, PasswordCheck checkPassword)
    : m_storage(storage),
      m_sessionTimeout(sessionTimeoutSeconds),
      m_clock(std::move(clock)),
      m_checkPassword(std::move(checkPassword)) {}

bool Repository::bootstrap(const std::string& adminPassword) {
  // Hashed once: the hash is slow on purpose, and a rerun needs no new salt.
  std::string adminHash;
  return transact([&] {
    auto ensureFolder = [this](ObjectId parent, const std::string& name) {
      if (auto existing = m_storage.child(parent, name)) return existing->id;
      return m_storage.addObject(parent, name, "Folder", false);
    };
    ensureFolder(m_storage.rootId(), "Repository");
    ObjectId system = ensureFolder(m_storage.rootId(), "System");
    ObjectId users = ensureFolder(system, "Users");
    if (m_storage.user(kAdministratorName)) return false;
    if (adminHash.empty()) adminHash = hashPassword(adminPassword);
    ObjectId object = ensureFolder(users, kAdministratorName);
    m_storage.addUser(StoredUser{kAdministratorName, adminHash, true}, object);
    return true;
  });
}

bool Repository::hasAdministrator() {
  return read([&] { return m_storage.user(kAdministratorName).has_value(); });
}

bool Repository::isUsable() {
  try {
    return read([&] { return m_storage.object(m_storage.rootId()).has_value(); });
  } catch (...) {
    return false;
  }
}

void Repository::setPassword(const std::string& name, const std::string& password) {
  if (password.empty()) throw Refusal("the new password is empty");
  const std::string hash = hashPassword(password);
  transact([&] {
    if (!m_storage.user(name)) throw Refusal("no such user: " + echo(name));
    m_storage.setPasswordHash(name, hash);
    m_storage.removeSessionsOf(name);
  });
}

void Repository::requireSession(Caller& caller) {
  read([&] { enter(caller); });
}

void pauseBeforeRetry(int attempt) {
  thread_local std::minstd_rand random(std::random_device{}());
  const int ceiling = 1 << std::min(attempt, 6);  // milliseconds, at most 64
  std::uniform_int_distribution<int> microseconds(0, ceiling * 1000);
  std::this_thread::sleep_for(std::chrono::microseconds(microseconds(random)));
}

// ---- helpers shared by the operations -------------------------------------

StoredUser Repository::enter(Caller& caller) {
  std::optional<StoredSession> session = liveSession(caller.session);
  if (!session) throw Refusal("not logged in");
  std::optional<StoredUser> user = m_storage.user(session->user);
  if (!user) throw Refusal("not logged in");
  refresh(*session);
  caller.user = user->name;
  return *user;
}

void Repository::refresh(const StoredSession& session) {
  const std::int64_t now = m_clock();
  if (now - session.lastSeen >= sessionRefreshInterval(m_sessionTimeout)) m_storage.touchSession(session.key, now);
}

std::int64_t Repository::liveSince() {
  return m_clock() - m_sessionTimeout - sessionRefreshInterval(m_sessionTimeout);
}

std::optional<StoredObject> Repository::lookup(const std::string& path) {
  std::optional<StoredObject> current = m_storage.object(m_storage.rootId());
  for (const std::string& name : splitPath(path)) {
    if (!current) break;
    current = m_storage.child(current->id, name);
  }
  return current;
}

StoredObject Repository::resolve(const std::string& path) {
  std::optional<StoredObject> object = lookup(path);
  if (!object) throw Refusal("no such object: " + echoPath(canonicalPath(path)));
  return *object;
}

std::string Repository::pathOf(const StoredObject& object) {
  std::vector<std::string> names;
  StoredObject current = object;
  while (current.parent != 0) {
    names.push_back(current.name);
    std::optional<StoredObject> parent = m_storage.object(current.parent);
    if (!parent) break;
    current = *parent;
  }
  std::string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) path += "/" + *name;
  return path.empty() ? "/" : path;
}

// The member's own entry on the object, or else on its nearest ancestor that
// has one; no entry anywhere grants nothing.
Access Repository::accessOf(const std::string& member, const StoredObject& object) {
  StoredObject current = object;
  for (;;) {
    if (std::optional<Access> own = m_storage.ownAccess(current.id, member)) return *own;
    if (current.parent == 0) return Access::None;
    std::optional<StoredObject> parent = m_storage.object(current.parent);
    if (!parent) return Access::None;
    current = *parent;
  }
}

Access Repository::accessOf(const StoredUser& user, const StoredObject& object) {
  if (user.isAdmin) return Access::FullControl;
  return accessOf(user.name, object);
}

void Repository::requireAccess(const StoredUser& user, const StoredObject& object, Access needed,
                               const std::string& path) {
  if (accessOf(user, object) < needed)
    throw Refusal("permission denied: " + echo(user.name) + " has no " + accessName(needed) + " access to " +
                  echoPath(canonicalPath(path)));
}

bool Repository::isFixedPath(const std::string& path) {
  return path == "/" || path == kRepositoryPath || path == kSystemPath || path == kUsersPath;
}

bool Repository::isBelowUsers(const std::string& path) {
  return path.rfind(std::string(kUsersPath) + "/", 0) == 0;
}

// Objects may be placed only into objects that are not files and not part
// of the user list.
void Repository::requireContainer(const StoredObject& object, const std::string& path) {
  std::string canonical = canonicalPath(path);
  if (object.isFile) throw Refusal("not a folder: " + echoPath(canonical));
  if (canonical == kUsersPath || isBelowUsers(canonical))
    throw Refusal("users are made with createUser, not below " + echoPath(canonical));
}

ObjectView Repository::view(const StoredUser& user, const StoredObject& object, const std::string& path) {
  ObjectView result;
  result.object = object;
  result.path = canonicalPath(path);
  if (object.parent != 0) {
    std::optional<StoredObject> parent = m_storage.object(object.parent);
    if (parent) result.parentPath = pathOf(*parent);
  }
  for (const StoredObject& child : m_storage.children(object.id)) result.childNames.push_back(child.name);
  result.values = m_storage.properties(object.id, PropertySet::Values);
  result.declarations = m_storage.properties(object.id, PropertySet::Declarations);

  Access access = accessOf(user, object);
  bool deletable = false;
  if (object.parent != 0 && !isFixedPath(result.path)) {
    std::optional<StoredObject> parent = m_storage.object(object.parent);
    deletable = parent && accessOf(user, *parent) >= Access::Write;
  }
  if (access >= Access::Read) result.allowedActions.push_back("read");
  if (access >= Access::Write) result.allowedActions.push_back("write");
  if (deletable) result.allowedActions.push_back("delete");
  if (access >= Access::FullControl) result.allowedActions.push_back("fullControl");
  return result;
}

namespace {

const char* accessName(Access access) {
  switch (access) {
    case Access::Read: return "read";
    case Access::Write: return "write";
    case Access::FullControl: return "fullControl";
    case Access::None: break;
  }
  return "no";
}

}  // namespace

}  // namespace talixdb::server
