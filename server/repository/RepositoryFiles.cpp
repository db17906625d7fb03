// File contents and their versions, and the check-out flags.
#include "repository/Repository.h"

#include "base/ClientText.h"
#include "repository/NameRules.h"
#include "repository/RepositoryPath.h"

namespace talixdb::server {

std::vector<std::string> Repository::store(Caller& caller, const std::string& parentPath,
                                           const std::vector<IncomingFile>& files) {
  return transact([&] {
    // The first file is looked up with its folder.
    Found found = enterAt(caller, Use::Changing, parentPath, files.empty() ? std::string() : files.front().name);
    const StoredUser& user = found.user;
    const StoredObject& parent = resolve(found);
    requireContainer(parent, parentPath);
    requireAccess(user, accessOf(user, found, found.depth), Access::Write, parentPath);
    if (files.empty()) throw Refusal("no file to upload");

    std::vector<std::string> paths;
    for (const IncomingFile& file : files) {
      std::string path = childPath(parentPath, file.name);
      requireValidName(file.name, "file");
      requireValidText(file.typeName, "type name");
      requireValidProperties(file.values);
      if (file.content == nullptr) throw Refusal("no contents received for " + echoPath(path));
      if (file.declaredSize < 0 || static_cast<std::uint64_t>(file.declaredSize) != file.content->size())
        throw Refusal("size mismatch for " + echoPath(path) + ": declared " + std::to_string(file.declaredSize) +
                      " bytes, received " + std::to_string(file.content->size()));
      if (!file.content->finish()) throw StorageFailure("cannot write the contents of " + echoPath(path));

      ObjectId id = 0;
      std::optional<StoredObject> existing =
          &file == &files.front() && !file.name.empty() ? found.child() : m_storage.child(parent.id, file.name);
      if (existing) {
        if (!existing->isFile) throw Refusal("not a file: " + echoPath(path));
        id = existing->id;
      } else {
        id = m_storage.addObject(parent.id, file.name, file.typeName.empty() ? "File" : file.typeName, true);
      }
      if (!file.values.empty()) m_storage.replaceProperties(id, PropertySet::Values, file.values);
      m_storage.addVersion(id, *file.content, user.name, m_clock());
      paths.push_back(path);
    }
    return paths;
  });
}

Download Repository::fetch(Caller& caller, const std::string& path) {
  return read([&] {
    Found found = enterAt(caller, Use::Reading, path);
    const StoredObject& file = resolveFile(found.user, found, Access::Read);
    std::vector<StoredVersion> versions = m_storage.versions(file.id);
    Download download;
    download.path = canonicalPath(path);
    if (versions.empty()) throw Refusal("no contents stored for " + echoPath(download.path));
    download.object = file.id;
    download.version = versions.back().number;
    download.size = versions.back().size;
    return download;
  });
}

std::unique_ptr<ContentSource> Repository::openDownload(const Download& download) {
  std::unique_ptr<ContentSource> source = m_storage.openContent(download.object, download.version);
  if (!source) throw Refusal("the file " + echoPath(download.path) + " was deleted before its contents were sent");
  if (source->size() != download.size)
    throw StorageFailure("the contents of " + echoPath(download.path) + " hold " + std::to_string(source->size()) +
                         " bytes instead of " + std::to_string(download.size));
  return source;
}

std::vector<std::string> Repository::versionNames(Caller& caller, const std::string& path) {
  std::vector<std::string> names;
  for (const StoredVersion& version : changeLogs(caller, path)) names.push_back(std::to_string(version.number));
  return names;
}

std::vector<StoredVersion> Repository::changeLogs(Caller& caller, const std::string& path) {
  return read([&] {
    Found found = enterAt(caller, Use::Reading, path);
    return m_storage.versions(resolveFile(found.user, found, Access::Read).id);
  });
}

bool Repository::checkout(Caller& caller, const std::string& path, bool recursive) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, path);
    const StoredObject& object = resolve(found);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Write, path);
    forSubtree(object, recursive, [this](const StoredObject& each) { m_storage.setCheckedOut(each.id, true); });
    return true;
  });
}

bool Repository::checkin(Caller& caller, const std::string& path, const std::string& comment, bool recursive) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, path);
    const StoredObject& object = resolve(found);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Write, path);
    requireValidText(comment, "check-in comment");
    forSubtree(object, recursive, [this, &comment](const StoredObject& each) {
      m_storage.setCheckedOut(each.id, false);
      if (!each.isFile || comment.empty()) return;
      std::vector<StoredVersion> versions = m_storage.versions(each.id);
      if (!versions.empty()) m_storage.setVersionComment(each.id, versions.back().number, comment);
    });
    return true;
  });
}

bool Repository::isCheckedOut(Caller& caller, const std::string& path) {
  return read([&] {
    Found found = enterAt(caller, Use::Reading, path);
    const StoredObject& object = resolve(found);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Read, path);
    return object.checkedOut;
  });
}

// Checking in is possible while the object is checked out.
bool Repository::isCheckinEnabled(Caller& caller, const std::string& path) {
  return isCheckedOut(caller, path);
}

bool Repository::setCheckinPolicy(Caller& caller, const std::string& path, const std::string& policy,
                                  bool recursive) {
  return transact([&] {
    Found found = enterAt(caller, Use::Changing, path);
    const StoredObject& object = resolve(found);
    requireAccess(found.user, accessOf(found.user, found, found.depth), Access::Write, path);
    requireValidText(policy, "check-in policy");
    forSubtree(object, recursive,
               [this, &policy](const StoredObject& each) { m_storage.setCheckinPolicy(each.id, policy); });
    return true;
  });
}

const StoredObject& Repository::resolveFile(const StoredUser& user, const Found& found, Access needed) {
  const StoredObject& object = resolve(found);
  if (!object.isFile) throw Refusal("not a file: " + echoPath(canonicalPath(found.path)));
  requireAccess(user, accessOf(user, found, found.depth), needed, found.path);
  return object;
}

// Applies `action` to the object and, when recursive, to everything below
// it, parents before children.
void Repository::forSubtree(const StoredObject& object, bool recursive,
                            const std::function<void(const StoredObject&)>& action) {
  std::vector<StoredObject> pending{object};
  while (!pending.empty()) {
    StoredObject current = pending.back();
    pending.pop_back();
    action(current);
    if (!recursive) continue;
    std::vector<StoredObject> children = m_storage.children(current.id);
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
}

}  // namespace talixdb::server
