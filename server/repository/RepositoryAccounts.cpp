// Users, groups and access entries.
#include "repository/Repository.h"

#include "base/ClientText.h"
#include "repository/NameRules.h"
#include "repository/PasswordHash.h"
#include "repository/RepositoryPath.h"

namespace talixdb::server {

namespace {

// The groups every user is in (see groups()); access entries may name them.
constexpr const char* kAdministratorsGroup = "administrators";
constexpr const char* kUsersGroup = "users";

Access parsePermission(const std::string& permission);
bool isGroup(const std::string& name) { return name == kAdministratorsGroup || name == kUsersGroup; }

}  // namespace

std::string Repository::createUser(Caller& caller, const std::string& name, const std::string& password) {
  std::string hash;  // made once, when the rules allow the user
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, kUsersPath, name);
    if (!found.user.isAdmin) throw Refusal("permission denied: only the administrator creates users");
    requireValidName(name, "user");
    // A user named like a group would hold what was granted to the group.
    if (isGroup(name)) throw Refusal("invalid user name: '" + name + "' (the name of a group)");
    if (m_storage.user(name)) throw Refusal("user exists already: " + echo(name));
    const StoredObject& users = resolve(found);
    if (found.child()) throw Refusal("user exists already: " + echo(name));
    if (hash.empty()) hash = hashPassword(password);
    ObjectId object = m_storage.addObject(users.id, name, "User", false);
    m_storage.addUser(StoredUser{name, hash, false}, object);
    return childPath(kUsersPath, name);
  });
}

std::vector<std::string> Repository::groups(Caller& caller, const std::string& name) {
  bool isAdmin = read([&] {
    enter(caller);
    std::optional<StoredUser> user = m_storage.user(name);
    if (!user) throw Refusal("no such user: " + echo(name));
    return user->isAdmin;
  });
  if (isAdmin) return {kAdministratorsGroup, kUsersGroup};
  return {kUsersGroup};
}

bool Repository::addPermission(Caller& caller, const std::string& path, const std::string& permission,
                               const std::string& member) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, path);
    const StoredObject& object = resolve(found);
    Access access = parsePermission(permission);
    if (member.empty()) throw Refusal("no member named");
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::FullControl, path);
    // An entry for a name that is no user would pass to a user made later under it.
    if (!isGroup(member) && !m_storage.user(member)) throw Refusal("no such user or group: " + echo(member));
    m_storage.addAccess(object.id, member, access);
    return true;
  });
}

bool Repository::removePermission(Caller& caller, const std::string& path, const std::string& permission,
                                  const std::string& member) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, path);
    const StoredObject& object = resolve(found);
    Access access = parsePermission(permission);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::FullControl, path);
    return m_storage.removeAccess(object.id, member, access);
  });
}

bool Repository::hasPermission(Caller& caller, const std::string& path, const std::string& permission,
                               const std::string& member) {
  return read([&] {
    Found found = enterAt(caller, Use::Reading, path);
    resolve(found);
    Access wanted = parsePermission(permission);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Read, path);
    std::optional<StoredUser> account = m_storage.user(member);
    if (account && account->isAdmin) return true;
    // The member's own entries along the same path.
    Found theirs{StoredUser{member, std::string(), false}, path, m_storage.objectsAlong(splitPath(path), member),
                 found.depth};
    return theirs.exists() && accessOf(theirs.user, theirs, theirs.depth) >= wanted;
  });
}

namespace {

Access parsePermission(const std::string& permission) {
  if (permission == "read") return Access::Read;
  if (permission == "write") return Access::Write;
  if (permission == "fullControl") return Access::FullControl;
  throw Refusal("unknown permission: '" + echo(permission) + "' (expected read, write or fullControl)");
}

}  // namespace

}  // namespace talixdb::server
