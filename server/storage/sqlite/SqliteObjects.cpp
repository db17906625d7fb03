// Objects, properties and file contents in the SQLite store.
#include "storage/sqlite/SqliteStorage.h"

namespace talixdb::server {

namespace {

// Statements that read objects start alike; a macro keeps each statement
// one string literal (the statement cache keys on the literal).
#define OBJECT_SELECT "SELECT id, COALESCE(parent, 0), name, type_name, is_file, checked_out, checkin_policy FROM objects "

StoredObject objectFromRow(const SqliteStatement& row);
std::vector<StoredObject> allObjects(SqliteStatement& statement);

}  // namespace

std::optional<StoredObject> SqliteStorage::readObject(SqliteStatement& statement) {
  if (!statement.step()) return std::nullopt;
  return objectFromRow(statement);
}

ObjectId SqliteStorage::rootId() { return 1; }

std::optional<StoredObject> SqliteStorage::object(ObjectId id) {
  auto statement = m_db->prepare(OBJECT_SELECT "WHERE id = ?1");
  statement.bind(1, id);
  return readObject(statement);
}

std::optional<StoredObject> SqliteStorage::child(ObjectId parent, const std::string& name) {
  auto statement = m_db->prepare(OBJECT_SELECT "WHERE parent = ?1 AND name = ?2");
  statement.bind(1, parent).bind(2, name);
  return readObject(statement);
}

std::vector<StoredObject> SqliteStorage::children(ObjectId parent) {
  auto statement = m_db->prepare(OBJECT_SELECT "WHERE parent = ?1 ORDER BY position");
  statement.bind(1, parent);
  return allObjects(statement);
}

std::vector<StoredObject> SqliteStorage::objectsNamedLike(const std::string& fragment) {
  auto statement = m_db->prepare(OBJECT_SELECT "WHERE parent IS NOT NULL AND instr(name, ?1) > 0 ORDER BY id");
  statement.bind(1, fragment);
  return allObjects(statement);
}

ObjectId SqliteStorage::addObject(ObjectId parent, const std::string& name, const std::string& typeName,
                                  bool isFile) {
  auto statement = m_db->prepare(
      "INSERT INTO objects(parent, name, type_name, is_file, position) "
      "VALUES(?1, ?2, ?3, ?4, (SELECT COALESCE(MAX(position), 0) + 1 FROM objects WHERE parent = ?1))");
  statement.bind(1, parent).bind(2, name).bind(3, typeName).bind(4, isFile ? 1 : 0);
  statement.run();
  return m_db->lastInsertId();
}

void SqliteStorage::moveObject(ObjectId id, ObjectId newParent, const std::string& newName) {
  auto statement = m_db->prepare(
      "UPDATE objects SET parent = ?2, name = ?3, "
      "position = (SELECT COALESCE(MAX(position), 0) + 1 FROM objects WHERE parent = ?2) WHERE id = ?1");
  statement.bind(1, id).bind(2, newParent).bind(3, newName);
  statement.run();
}

void SqliteStorage::removeObject(ObjectId id) {
  {
    auto blobs = m_db->prepare(
        "WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL "
        "SELECT objects.id FROM objects JOIN subtree ON objects.parent = subtree.id) "
        "SELECT blob FROM versions WHERE object IN subtree");
    blobs.bind(1, id);
    while (blobs.step()) m_doomed.push_back(blobs.text(0));
  }
  auto statement = m_db->prepare(
      "DELETE FROM objects WHERE id IN (WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL "
      "SELECT objects.id FROM objects JOIN subtree ON objects.parent = subtree.id) SELECT id FROM subtree)");
  statement.bind(1, id);
  statement.run();
}

void SqliteStorage::setCheckedOut(ObjectId id, bool checkedOut) {
  auto statement = m_db->prepare("UPDATE objects SET checked_out = ?2 WHERE id = ?1");
  statement.bind(1, id).bind(2, checkedOut ? 1 : 0);
  statement.run();
}

void SqliteStorage::setCheckinPolicy(ObjectId id, const std::string& policy) {
  auto statement = m_db->prepare("UPDATE objects SET checkin_policy = ?2 WHERE id = ?1");
  statement.bind(1, id).bind(2, policy);
  statement.run();
}

PropertyList SqliteStorage::properties(ObjectId id, PropertySet set) {
  PropertyList list;
  {
    auto entries = m_db->prepare(
        "SELECT key, has_value, item_type, item_list FROM properties "
        "WHERE object = ?1 AND property_set = ?2 ORDER BY position");
    entries.bind(1, id).bind(2, static_cast<std::int64_t>(set));
    while (entries.step()) {
      PropertyEntry entry;
      if (!entries.isNull(0)) entry.key = entries.text(0);
      if (entries.integer(1) != 0) {
        Variant value;
        value.itemType = static_cast<int>(entries.integer(2));
        value.itemList = entries.integer(3) != 0;
        entry.value = value;
      }
      list.push_back(std::move(entry));
    }
  }
  auto items = m_db->prepare(
      "SELECT position, value FROM property_items WHERE object = ?1 AND property_set = ?2 "
      "ORDER BY position, item_position");
  items.bind(1, id).bind(2, static_cast<std::int64_t>(set));
  while (items.step()) {
    auto position = static_cast<std::size_t>(items.integer(0));
    if (position < list.size() && list[position].value) list[position].value->items.push_back(items.text(1));
  }
  return list;
}

void SqliteStorage::replaceProperties(ObjectId id, PropertySet set, const PropertyList& list) {
  const auto setCode = static_cast<std::int64_t>(set);
  {
    auto clear = m_db->prepare("DELETE FROM properties WHERE object = ?1 AND property_set = ?2");
    clear.bind(1, id).bind(2, setCode);
    clear.run();
  }
  for (std::size_t position = 0; position < list.size(); ++position) {
    const PropertyEntry& entry = list[position];
    {
      auto insert = m_db->prepare(
          "INSERT INTO properties(object, property_set, position, key, has_value, item_type, item_list) "
          "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
      insert.bind(1, id).bind(2, setCode).bind(3, static_cast<std::int64_t>(position)).bind(4, entry.key);
      insert.bind(5, entry.value ? 1 : 0);
      insert.bind(6, entry.value ? entry.value->itemType : 0);
      insert.bind(7, entry.value && entry.value->itemList ? 1 : 0);
      insert.run();
    }
    if (!entry.value) continue;
    for (std::size_t item = 0; item < entry.value->items.size(); ++item) {
      auto insert = m_db->prepare(
          "INSERT INTO property_items(object, property_set, position, item_position, value) "
          "VALUES(?1, ?2, ?3, ?4, ?5)");
      insert.bind(1, id).bind(2, setCode).bind(3, static_cast<std::int64_t>(position));
      insert.bind(4, static_cast<std::int64_t>(item)).bind(5, entry.value->items[item]);
      insert.run();
    }
  }
}

std::unique_ptr<StagedContent> SqliteStorage::stageContent() { return m_files.stage(); }

void SqliteStorage::addVersion(ObjectId id, StagedContent& staged, const std::string& creator,
                               std::int64_t created) {
  // Placing the staged bytes cannot be undone for a second run: ask first.
  if (m_db->queryOnly()) throw WriteNeeded("a new version in a reading transaction");
  int number = 1;
  {
    auto last = m_db->prepare("SELECT COALESCE(MAX(number), 0) + 1 FROM versions WHERE object = ?1");
    last.bind(1, id);
    if (last.step()) number = static_cast<int>(last.integer(0));
  }
  std::string blob = m_files.place(staged);
  m_placed.push_back(blob);
  auto insert = m_db->prepare(
      "INSERT INTO versions(object, number, blob, size, creator, created) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  insert.bind(1, id).bind(2, static_cast<std::int64_t>(number)).bind(3, blob);
  insert.bind(4, static_cast<std::int64_t>(staged.size())).bind(5, creator).bind(6, created);
  insert.run();
}

std::vector<StoredVersion> SqliteStorage::versions(ObjectId id) {
  auto statement = m_db->prepare(
      "SELECT number, size, creator, created, comment FROM versions WHERE object = ?1 ORDER BY number");
  statement.bind(1, id);
  std::vector<StoredVersion> list;
  while (statement.step()) {
    StoredVersion version;
    version.number = static_cast<int>(statement.integer(0));
    version.size = static_cast<std::uint64_t>(statement.integer(1));
    version.creator = statement.text(2);
    version.created = statement.integer(3);
    version.comment = statement.text(4);
    list.push_back(std::move(version));
  }
  return list;
}

void SqliteStorage::setVersionComment(ObjectId id, int version, const std::string& comment) {
  auto statement = m_db->prepare("UPDATE versions SET comment = ?3 WHERE object = ?1 AND number = ?2");
  statement.bind(1, id).bind(2, static_cast<std::int64_t>(version)).bind(3, comment);
  statement.run();
}

std::unique_ptr<ContentSource> SqliteStorage::openContent(ObjectId id, int version) {
  std::string blob;
  {
    auto statement = m_db->prepare("SELECT blob FROM versions WHERE object = ?1 AND number = ?2");
    statement.bind(1, id).bind(2, static_cast<std::int64_t>(version));
    if (!statement.step()) return nullptr;
    blob = statement.text(0);
  }
  return m_files.open(blob);
}

namespace {

StoredObject objectFromRow(const SqliteStatement& row) {
  StoredObject object;
  object.id = row.integer(0);
  object.parent = row.integer(1);
  object.name = row.text(2);
  object.typeName = row.text(3);
  object.isFile = row.integer(4) != 0;
  object.checkedOut = row.integer(5) != 0;
  object.checkinPolicy = row.text(6);
  return object;
}

std::vector<StoredObject> allObjects(SqliteStatement& statement) {
  std::vector<StoredObject> objects;
  while (statement.step()) objects.push_back(objectFromRow(statement));
  return objects;
}

}  // namespace

}  // namespace talixdb::server
