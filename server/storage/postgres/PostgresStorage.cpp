// Transactions, objects and properties in the PostgreSQL store.
#include "storage/postgres/PostgresStorage.h"

namespace talixdb::server {

namespace {

// Statements that read objects start alike; a macro keeps each statement
// one string literal (statements are prepared per literal).
#define OBJECT_SELECT \
  "SELECT id, COALESCE(parent, 0), name, type_name, is_file, checked_out, checkin_policy FROM objects "

std::vector<StoredObject> objectsOf(const PgResult& rows);
std::optional<StoredObject> firstObject(const PgResult& rows);

}  // namespace

PostgresStorage::PostgresStorage(const std::string& uri)
    : m_db(std::make_shared<PgConnection>(uri)) {}

PostgresStorage::~PostgresStorage() {
  try {
    rollback();
  } catch (...) {
    // Closing the connection rolls back as well.
  }
}

namespace {

constexpr const char* kTakeShared = "SELECT pg_advisory_lock_shared(-2)";
constexpr const char* kBeginSerializable = "BEGIN ISOLATION LEVEL SERIALIZABLE";

}  // namespace

void PostgresStorage::begin() { open(kTakeShared, false, kBeginSerializable); }

void PostgresStorage::beginAlone() { open("SELECT pg_advisory_lock(-2)", true, kBeginSerializable); }

void PostgresStorage::beginReading() { open(kTakeShared, false, "BEGIN ISOLATION LEVEL SERIALIZABLE READ ONLY"); }

void PostgresStorage::commit() {
  close("COMMIT; SELECT pg_advisory_unlock_shared(-2)", "COMMIT; SELECT pg_advisory_unlock(-2)");
}

void PostgresStorage::rollback() {
  if (!m_inTransaction) return;
  close("ROLLBACK; SELECT pg_advisory_unlock_shared(-2)", "ROLLBACK; SELECT pg_advisory_unlock(-2)");
}

void PostgresStorage::open(const char* lock, bool alone, const char* begin) {
  m_db->reopenIfLost();
  try {
    m_db->execute(lock);
  } catch (const StorageFailure&) {
    // A connection lost while idle shows only now; nothing was done in it yet.
    if (!m_db->isLost()) throw;
    m_db->reopenIfLost();
    m_db->execute(lock);
  }
  m_alone = alone;
  // Apart, so that the snapshot is taken after the lock.
  try {
    m_db->execute(begin);
  } catch (...) {
    if (!m_db->isLost()) m_db->execute(alone ? "SELECT pg_advisory_unlock(-2)" : "SELECT pg_advisory_unlock_shared(-2)");
    throw;
  }
  m_inTransaction = true;
}

void PostgresStorage::close(const char* endShared, const char* endAlone) {
  // A failed COMMIT ends the transaction too; a lost connection has let go of the lock.
  m_inTransaction = false;
  try {
    m_db->execute(m_alone ? endAlone : endShared);
  } catch (...) {
    if (!m_db->isLost()) {
      try {
        m_db->execute(m_alone ? "SELECT pg_advisory_unlock(-2)" : "SELECT pg_advisory_unlock_shared(-2)");
      } catch (...) {
      }
    }
    throw;
  }
}

ObjectId PostgresStorage::rootId() { return 1; }

std::optional<StoredObject> PostgresStorage::object(ObjectId id) {
  return firstObject(m_db->run(OBJECT_SELECT "WHERE id = $1", {id}));
}

std::optional<StoredObject> PostgresStorage::child(ObjectId parent, const std::string& name) {
  return firstObject(m_db->run(OBJECT_SELECT "WHERE parent = $1 AND name = $2", {parent, name}));
}

std::vector<StoredObject> PostgresStorage::children(ObjectId parent) {
  return objectsOf(m_db->run(OBJECT_SELECT "WHERE parent = $1 ORDER BY position", {parent}));
}

std::vector<StoredObject> PostgresStorage::objectsNamedLike(const std::string& fragment) {
  return objectsOf(m_db->run(OBJECT_SELECT "WHERE parent IS NOT NULL AND strpos(name, $1) > 0 ORDER BY id", {fragment}));
}

ObjectId PostgresStorage::addObject(ObjectId parent, const std::string& name, const std::string& typeName,
                                    bool isFile) {
  PgResult row = m_db->run("INSERT INTO objects(parent, name, type_name, is_file) VALUES($1, $2, $3, $4) RETURNING id",
                           {parent, name, typeName, isFile});
  return row.integer(0, 0);
}

void PostgresStorage::moveObject(ObjectId id, ObjectId newParent, const std::string& newName) {
  m_db->run("UPDATE objects SET parent = $2, name = $3, position = nextval('object_positions') WHERE id = $1",
            {id, newParent, newName});
}

void PostgresStorage::removeObject(ObjectId id) {
  // Everything below goes by cascade; the contents of its versions with it.
  m_db->run(
      "WITH RECURSIVE subtree(id) AS (SELECT $1::bigint UNION ALL "
      "SELECT objects.id FROM objects JOIN subtree ON objects.parent = subtree.id), "
      "contents AS (DELETE FROM chunks WHERE content IN "
      "(SELECT content FROM versions WHERE object IN (SELECT id FROM subtree))) "
      "DELETE FROM objects WHERE id IN (SELECT id FROM subtree)",
      {id});
}

void PostgresStorage::setCheckedOut(ObjectId id, bool checkedOut) {
  m_db->run("UPDATE objects SET checked_out = $2 WHERE id = $1", {id, checkedOut});
}

void PostgresStorage::setCheckinPolicy(ObjectId id, const std::string& policy) {
  m_db->run("UPDATE objects SET checkin_policy = $2 WHERE id = $1", {id, policy});
}

PropertyList PostgresStorage::properties(ObjectId id, PropertySet set) {
  const int setCode = static_cast<int>(set);
  PropertyList list;
  PgResult entries = m_db->run(
      "SELECT key, has_value, item_type, item_list FROM properties "
      "WHERE object = $1 AND property_set = $2 ORDER BY position",
      {id, setCode});
  for (int row = 0; row < entries.rows(); ++row) {
    PropertyEntry entry;
    if (!entries.isNull(row, 0)) entry.key = entries.text(row, 0);
    if (entries.boolean(row, 1)) {
      Variant value;
      value.itemType = static_cast<int>(entries.integer(row, 2));
      value.itemList = entries.boolean(row, 3);
      entry.value = value;
    }
    list.push_back(std::move(entry));
  }
  PgResult items = m_db->run(
      "SELECT position, value FROM property_items WHERE object = $1 AND property_set = $2 "
      "ORDER BY position, item_position",
      {id, setCode});
  for (int row = 0; row < items.rows(); ++row) {
    auto position = static_cast<std::size_t>(items.integer(row, 0));
    if (position < list.size() && list[position].value) list[position].value->items.push_back(items.text(row, 1));
  }
  return list;
}

void PostgresStorage::replaceProperties(ObjectId id, PropertySet set, const PropertyList& list) {
  const int setCode = static_cast<int>(set);
  m_db->run("DELETE FROM properties WHERE object = $1 AND property_set = $2", {id, setCode});
  for (std::size_t position = 0; position < list.size(); ++position) {
    const PropertyEntry& entry = list[position];
    const int at = static_cast<int>(position);
    m_db->run(
        "INSERT INTO properties(object, property_set, position, key, has_value, item_type, item_list) "
        "VALUES($1, $2, $3, $4, $5, $6, $7)",
        {id, setCode, at, entry.key, entry.value.has_value(), entry.value ? entry.value->itemType : 0,
         entry.value && entry.value->itemList});
    if (!entry.value) continue;
    for (std::size_t item = 0; item < entry.value->items.size(); ++item) {
      m_db->run(
          "INSERT INTO property_items(object, property_set, position, item_position, value) "
          "VALUES($1, $2, $3, $4, $5)",
          {id, setCode, at, static_cast<int>(item), entry.value->items[item]});
    }
  }
}

namespace {

std::vector<StoredObject> objectsOf(const PgResult& rows) {
  std::vector<StoredObject> objects;
  for (int row = 0; row < rows.rows(); ++row) {
    StoredObject object;
    object.id = rows.integer(row, 0);
    object.parent = rows.integer(row, 1);
    object.name = rows.text(row, 2);
    object.typeName = rows.text(row, 3);
    object.isFile = rows.boolean(row, 4);
    object.checkedOut = rows.boolean(row, 5);
    object.checkinPolicy = rows.text(row, 6);
    objects.push_back(std::move(object));
  }
  return objects;
}

std::optional<StoredObject> firstObject(const PgResult& rows) {
  std::vector<StoredObject> objects = objectsOf(rows);
  if (objects.empty()) return std::nullopt;
  return objects.front();
}

}  // namespace

}  // namespace talixdb::server
