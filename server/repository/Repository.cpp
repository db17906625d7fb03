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
#include "repository/SessionKey.h"
#include "storage/StorageTransaction.h"

namespace talixdb::server {

namespace {

const char* accessName(Access access);

}  // namespace

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
    return read([&] {
      m_storage.limitWaits(kUsableWithin);
      return m_storage.object(m_storage.rootId()).has_value();
    });
  } catch (...) {
    return false;
  }
}

StoreFigures Repository::figures() {
  return read([&] { return m_storage.figures(liveSince()); });
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

void Repository::requireSession(Caller& caller, bool toChange) {
  read([&] { enter(caller, toChange ? Use::Changing : Use::Reading); });
}

void pauseBeforeRetry(int attempt) {
  thread_local std::minstd_rand random(std::random_device{}());
  const int ceiling = 1 << std::min(attempt, 6);  // milliseconds, at most 64
  std::uniform_int_distribution<int> microseconds(0, ceiling * 1000);
  std::this_thread::sleep_for(std::chrono::microseconds(microseconds(random)));
}

// ---- helpers shared by the operations -------------------------------------

Repository::Found Repository::enterAt(Caller& caller, Use use, const std::string& path, const std::string& child) {
  std::vector<std::string> names = splitPath(path);
  Found found;
  found.depth = names.size();
  found.path = path;
  if (!child.empty()) names.push_back(child);
  Arrival arrival = m_storage.arrive(caller.session.empty() ? std::string() : sessionKey(caller.session), names);
  found.user = admit(caller, use, arrival.session, arrival.user);
  found.along = std::move(arrival.path);
  return found;
}

StoredUser Repository::enter(Caller& caller, Use use) { return enterAt(caller, use, "/").user; }

StoredUser Repository::admit(Caller& caller, Use use, const std::optional<StoredSession>& session,
                             const std::optional<StoredUser>& user) {
  if (!session || session->lastSeen < liveSince() || !user) throw Refusal("not logged in");
  if (use == Use::Changing && session->kind == SessionKind::Reading)
    throw Refusal("read-only session: a session logged in to read changes nothing");
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

std::string Repository::Found::pathAt(std::size_t index) const {
  std::string result;
  for (std::size_t step = 1; step <= index && step < along.objects.size(); ++step) result += "/" + along.objects[step].name;
  return result.empty() ? "/" : result;
}

const StoredObject& Repository::resolve(const Found& found) {
  if (!found.exists()) throw Refusal("no such object: " + echoPath(canonicalPath(found.path)));
  return found.object();
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

Access Repository::accessOf(const StoredUser& user, const Found& found, std::size_t index) {
  if (user.isAdmin) return Access::FullControl;
  for (std::size_t step = std::min(index, found.along.ownAccess.size() - 1) + 1; step-- > 0;) {
    if (found.along.ownAccess[step]) return *found.along.ownAccess[step];
  }
  return Access::None;
}

Access Repository::accessOf(const StoredUser& user, const StoredObject& object) {
  if (user.isAdmin) return Access::FullControl;
  return accessOf(user.name, object);
}

void Repository::requireAccess(const StoredUser& user, Access granted, Access needed, const std::string& path) {
  if (granted < needed)
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

ObjectView Repository::view(const StoredUser& user, const Found& found) {
  const StoredObject& object = found.object();
  const std::string path = canonicalPath(found.path);
  const bool deletable = object.parent != 0 && !isFixedPath(path) &&
                         accessOf(user, found, found.depth - 1) >= Access::Write;
  return view(object, path, object.parent != 0 ? found.pathAt(found.depth - 1) : std::string(),
              std::move(m_storage.details({object.id}, std::string()).front()),
              accessOf(user, found, found.depth), deletable);
}

ObjectView Repository::view(const StoredObject& object, const std::string& path, const std::string& parentPath,
                            ObjectDetails details, Access access, bool deletable) {
  ObjectView result;
  result.object = object;
  result.path = path;
  result.parentPath = parentPath;
  result.childNames = std::move(details.childNames);
  result.values = std::move(details.values);
  result.declarations = std::move(details.declarations);
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
