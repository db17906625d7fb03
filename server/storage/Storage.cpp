// The defaults of the storage seam's combined reads: one single read at a
// time, for an engine where each costs no more than a function call.
#include "storage/Storage.h"

namespace talixdb::server {

ObjectsAlong Storage::objectsAlong(const std::vector<std::string>& names, const std::string& member) {
  ObjectsAlong along;
  std::optional<StoredObject> current = object(rootId());
  for (std::size_t next = 0; current; ++next) {
    along.objects.push_back(*current);
    along.ownAccess.push_back(member.empty() ? std::nullopt : ownAccess(current->id, member));
    if (next == names.size()) break;
    current = child(current->id, names[next]);
  }
  return along;
}

Arrival Storage::arrive(const std::string& sessionKey, const std::vector<std::string>& names) {
  Arrival arrival;
  if (!sessionKey.empty()) arrival.session = session(sessionKey);
  if (arrival.session) arrival.user = user(arrival.session->user);
  arrival.path = objectsAlong(names, arrival.user ? arrival.user->name : std::string());
  return arrival;
}

std::vector<ObjectDetails> Storage::details(const std::vector<ObjectId>& ids, const std::string& member) {
  std::vector<ObjectDetails> list;
  for (ObjectId id : ids) {
    ObjectDetails details;
    for (const StoredObject& child : children(id)) details.childNames.push_back(child.name);
    details.values = properties(id, PropertySet::Values);
    details.declarations = properties(id, PropertySet::Declarations);
    if (!member.empty()) details.ownAccess = ownAccess(id, member);
    list.push_back(std::move(details));
  }
  return list;
}

}  // namespace talixdb::server
