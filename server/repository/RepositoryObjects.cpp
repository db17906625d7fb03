// The object tree: reading, creating, updating, moving and deleting objects.
#include "repository/Repository.h"

#include "base/ClientText.h"
#include "repository/NameRules.h"
#include "repository/RepositoryPath.h"

namespace talixdb::server {

ObjectView Repository::find(Caller& caller, const std::string& path) {
  return read([&] {
    StoredUser user = enter(caller);
    StoredObject object = resolve(path);
    requireAccess(user, object, Access::Read, path);
    return view(user, object, path);
  });
}

std::vector<ObjectView> Repository::children(Caller& caller, const std::string& path) {
  return read([&] {
    StoredUser user = enter(caller);
    StoredObject object = resolve(path);
    requireAccess(user, object, Access::Read, path);
    std::vector<ObjectView> result;
    for (const StoredObject& child : m_storage.children(object.id)) {
      if (accessOf(user, child) >= Access::Read) result.push_back(view(user, child, childPath(path, child.name)));
    }
    return result;
  });
}

std::vector<ObjectView> Repository::query(Caller& caller, const std::string& text) {
  return read([&] {
    StoredUser user = enter(caller);
    std::vector<ObjectView> result;
    for (const StoredObject& object : m_storage.objectsNamedLike(text)) {
      if (accessOf(user, object) >= Access::Read) result.push_back(view(user, object, pathOf(object)));
    }
    return result;
  });
}

std::string Repository::create(Caller& caller, const NewObject& object) {
  return transact([&] {
    StoredUser user = enter(caller, Use::Changing);
    requireValidName(object.name, "object");
    requireValidText(object.typeName, "type name");
    requireValidProperties(object.values);
    requireValidProperties(object.declarations);
    StoredObject parent = resolve(object.parentPath);
    requireContainer(parent, object.parentPath);
    requireAccess(user, parent, Access::Write, object.parentPath);
    std::string path = childPath(object.parentPath, object.name);
    if (m_storage.child(parent.id, object.name)) throw Refusal("object exists already: " + echoPath(path));
    std::string typeName = object.typeName.empty() ? "Folder" : object.typeName;
    ObjectId id = m_storage.addObject(parent.id, object.name, typeName, false);
    m_storage.replaceProperties(id, PropertySet::Values, object.values);
    m_storage.replaceProperties(id, PropertySet::Declarations, object.declarations);
    return path;
  });
}

bool Repository::remove(Caller& caller, const std::string& path) {
  return transact([&] {
    StoredUser user = enter(caller, Use::Changing);
    std::string canonical = canonicalPath(path);
    std::optional<StoredObject> object = lookup(path);
    if (!object && isBelowUsers(canonical)) {
      const std::string suffix = std::string("/") + kSessionsName;
      std::string name = canonical.substr(std::string(kUsersPath).size() + 1);
      if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
          name.find('/') == name.size() - suffix.size())
        return endSessionsOf(user, name.substr(0, name.size() - suffix.size()));
    }
    if (!object || isFixedPath(canonical)) return false;
    if (std::optional<std::string> account = m_storage.userOfObject(object->id)) {
      if (!user.isAdmin) throw Refusal("permission denied: only the administrator deletes users");
      std::optional<StoredUser> target = m_storage.user(*account);
      if (target && target->isAdmin) return false;
      m_storage.removeSessionsOf(*account);
      m_storage.removeAccessOf(*account);
      m_storage.removeUser(*account);
    } else {
      std::optional<StoredObject> parent = m_storage.object(object->parent);
      if (!parent) return false;
      requireAccess(user, *parent, Access::Write, pathOf(*parent));
    }
    m_storage.removeObject(object->id);
    return true;
  });
}

ObjectView Repository::update(Caller& caller, const std::string& path, const std::optional<PropertyList>& values,
                              const std::optional<PropertyList>& declarations) {
  return transact([&] {
    StoredUser user = enter(caller, Use::Changing);
    StoredObject object = resolve(path);
    requireAccess(user, object, Access::Write, path);
    if (values) requireValidProperties(*values);
    if (declarations) requireValidProperties(*declarations);
    if (values) m_storage.replaceProperties(object.id, PropertySet::Values, *values);
    if (declarations) m_storage.replaceProperties(object.id, PropertySet::Declarations, *declarations);
    return view(user, object, path);
  });
}

std::string Repository::move(Caller& caller, const std::string& source, const std::string& destination) {
  return transact([&] {
    StoredUser user = enter(caller, Use::Changing);
    StoredObject object = resolve(source);
    std::string from = canonicalPath(source);
    if (isFixedPath(from) || m_storage.userOfObject(object.id)) throw Refusal("cannot be moved: " + echoPath(from));

    std::vector<std::string> segments = splitPath(destination);
    if (segments.empty()) throw Refusal("invalid destination: '" + echoPath(destination) + "'");
    std::string name = segments.back();
    requireValidName(name, "object");
    segments.pop_back();
    std::string parentPath;
    for (const std::string& segment : segments) parentPath += "/" + segment;
    StoredObject newParent = resolve(parentPath);
    requireContainer(newParent, parentPath);
    std::string to = childPath(parentPath, name);
    if (to == from) return to;
    for (std::optional<StoredObject> step = newParent; step; step = m_storage.object(step->parent)) {
      if (step->id == object.id) throw Refusal("cannot move " + echoPath(from) + " into itself");
      if (step->parent == 0) break;
    }
    if (m_storage.child(newParent.id, name)) throw Refusal("object exists already: " + echoPath(to));
    std::optional<StoredObject> oldParent = m_storage.object(object.parent);
    if (oldParent) requireAccess(user, *oldParent, Access::Write, pathOf(*oldParent));
    requireAccess(user, newParent, Access::Write, parentPath);
    m_storage.moveObject(object.id, newParent.id, name);
    return to;
  });
}

}  // namespace talixdb::server
