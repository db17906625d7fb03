// The object tree: reading, creating, updating, moving and deleting objects.
#include "repository/Repository.h"

#include "base/ClientText.h"
#include "repository/NameRules.h"
#include "repository/RepositoryPath.h"

namespace talixdb::server {

ObjectView Repository::find(Caller& caller, const std::string& path) {
  return read([&] {
    Found found = enterAt(caller, Use::Reading, path);
    resolve(found);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Read, path);
    return view(found.user, found);
  });
}

std::vector<ObjectView> Repository::children(Caller& caller, const std::string& path) {
  return read([&] {
    Found found = enterAt(caller, Use::Reading, path);
    const StoredObject& object = resolve(found);
    const Access access = accessOf(found.user, found, found.depth);
    requireAccess(found.user, access, Access::Read, path);
    std::vector<StoredObject> children = m_storage.children(object.id);
    std::vector<ObjectId> ids;
    for (const StoredObject& child : children) ids.push_back(child.id);
    std::vector<ObjectDetails> details =
        m_storage.details(ids, found.user.isAdmin ? std::string() : found.user.name);
    const std::string parentPath = canonicalPath(path);
    std::vector<ObjectView> result;
    for (std::size_t i = 0; i < children.size(); ++i) {
      // A child's own entry decides, else what it inherits from here.
      Access own = found.user.isAdmin ? Access::FullControl : details[i].ownAccess.value_or(access);
      if (own < Access::Read) continue;
      const std::string childAt = childPath(path, children[i].name);
      const bool deletable = !isFixedPath(childAt) && access >= Access::Write;
      result.push_back(view(children[i], childAt, parentPath, std::move(details[i]), own, deletable));
    }
    return result;
  });
}

std::vector<ObjectView> Repository::query(Caller& caller, const std::string& text) {
  return read([&] {
    StoredUser user = enter(caller);
    std::vector<ObjectView> result;
    for (const StoredObject& object : m_storage.objectsNamedLike(text)) {
      const Access access = accessOf(user, object);
      if (access < Access::Read) continue;
      const std::string path = pathOf(object);
      std::optional<StoredObject> parent = m_storage.object(object.parent);
      const bool deletable = parent && !isFixedPath(path) && accessOf(user, *parent) >= Access::Write;
      result.push_back(view(object, path, parent ? pathOf(*parent) : std::string(),
                            std::move(m_storage.details({object.id}, std::string()).front()), access, deletable));
    }
    return result;
  });
}

std::string Repository::create(Caller& caller, const NewObject& object) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, object.parentPath, object.name);
    requireValidName(object.name, "object");
    requireValidText(object.typeName, "type name");
    requireValidProperties(object.values);
    requireValidProperties(object.declarations);
    const StoredObject& parent = resolve(found);
    requireContainer(parent, object.parentPath);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Write, object.parentPath);
    std::string path = childPath(object.parentPath, object.name);
    if (found.child()) throw Refusal("object exists already: " + echoPath(path));
    std::string typeName = object.typeName.empty() ? "Folder" : object.typeName;
    ObjectId id = m_storage.addObject(parent.id, object.name, typeName, false);
    m_storage.replaceProperties(id, PropertySet::Values, object.values);
    m_storage.replaceProperties(id, PropertySet::Declarations, object.declarations);
    return path;
  });
}

bool Repository::remove(Caller& caller, const std::string& path) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, path);
    const StoredUser& user = found.user;
    std::string canonical = canonicalPath(path);
    if (!found.exists() && isBelowUsers(canonical)) {
      const std::string suffix = std::string("/") + kSessionsName;
      std::string name = canonical.substr(std::string(kUsersPath).size() + 1);
      if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
          name.find('/') == name.size() - suffix.size())
        return endSessionsOf(user, name.substr(0, name.size() - suffix.size()));
    }
    if (!found.exists() || isFixedPath(canonical)) return false;
    const StoredObject& object = found.object();
    if (std::optional<std::string> account = m_storage.userOfObject(object.id)) {
      if (!user.isAdmin) throw Refusal("permission denied: only the administrator deletes users");
      std::optional<StoredUser> target = m_storage.user(*account);
      if (target && target->isAdmin) return false;
      m_storage.removeSessionsOf(*account);
      m_storage.removeAccessOf(*account);
      m_storage.removeUser(*account);
    } else {
      requireAccess(user, accessOf(user, found, found.depth - 1), Access::Write, found.pathAt(found.depth - 1));
    }
    m_storage.removeObject(object.id);
    return true;
  });
}

ObjectView Repository::update(Caller& caller, const std::string& path, const std::optional<PropertyList>& values,
                              const std::optional<PropertyList>& declarations) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, path);
    const StoredObject& object = resolve(found);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Write, path);
    if (values) requireValidProperties(*values);
    if (declarations) requireValidProperties(*declarations);
    if (values) m_storage.replaceProperties(object.id, PropertySet::Values, *values);
    if (declarations) m_storage.replaceProperties(object.id, PropertySet::Declarations, *declarations);
    return view(found.user, found);
  });
}

std::string Repository::move(Caller& caller, const std::string& source, const std::string& destination) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, source);
    const StoredUser& user = found.user;
    const StoredObject& object = resolve(found);
    std::string from = canonicalPath(source);
    if (isFixedPath(from)) throw Refusal("cannot be moved: " + echoPath(from));

    std::vector<std::string> segments = splitPath(destination);
    // The destination's folder and the name in it, read with the source.
    ObjectsAlong target;
    if (!segments.empty()) target = m_storage.objectsAlong(segments, user.isAdmin ? std::string() : user.name);
    if (m_storage.userOfObject(object.id)) throw Refusal("cannot be moved: " + echoPath(from));
    if (segments.empty()) throw Refusal("invalid destination: '" + echoPath(destination) + "'");
    std::string name = segments.back();
    requireValidName(name, "object");
    segments.pop_back();
    std::string parentPath;
    for (const std::string& segment : segments) parentPath += "/" + segment;
    Found into{user, parentPath, std::move(target), segments.size()};
    const StoredObject& newParent = resolve(into);
    requireContainer(newParent, parentPath);
    std::string to = childPath(parentPath, name);
    if (to == from) return to;
    for (std::size_t step = 0; step <= into.depth; ++step) {
      if (into.along.objects[step].id == object.id) throw Refusal("cannot move " + echoPath(from) + " into itself");
    }
    if (into.child()) throw Refusal("object exists already: " + echoPath(to));
    requireAccess(user, accessOf(user, found, found.depth - 1), Access::Write, found.pathAt(found.depth - 1));
    requireAccess(user, accessOf(user, into, into.depth), Access::Write, parentPath);
    m_storage.moveObject(object.id, newParent.id, name);
    return to;
  });
}

}  // namespace talixdb::server
