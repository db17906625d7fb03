// Transactions, objects and properties in the PostgreSQL store.
#include "storage/postgres/PostgresStorage.h"

#include <chrono>
#include <thread>

#include "base/ServerLog.h"

namespace talixdb::server {

namespace {

// Statements that read objects start alike; a macro keeps each statement
// one string literal (statements are prepared per literal).
#define OBJECT_SELECT \
  "SELECT id, COALESCE(parent, 0), name, type_name, is_file, checked_out, checkin_policy FROM objects "

// The access entries on some objects, as one text that changes when any
// entry does (the same expression read as committed and checked).
#define ACCESS_DIGEST                                                                                      \
  "md5(COALESCE(string_agg(a.object::text || ' ' || a.level::text || ' ' || quote_literal(a.member), ',' " \
  "ORDER BY a.object, a.level, a.member), ''))"

// The objects from the root along the names $1, each with its tuple version
// and one row per access entry on it, the digest of those entries, and a
// file's highest version number.
constexpr const char* kAlong =
    "WITH RECURSIVE names(name, depth) AS (SELECT * FROM unnest($1::text[]) WITH ORDINALITY), "
    "chain(depth, id, parent, name, type_name, is_file, checked_out, checkin_policy, version) AS ("
    "SELECT 0::bigint, id, parent, name, type_name, is_file, checked_out, checkin_policy, "
    "ctid::text || ' ' || xmin::text FROM objects WHERE id = 1 "
    "UNION ALL SELECT names.depth, o.id, o.parent, o.name, o.type_name, o.is_file, o.checked_out, "
    "o.checkin_policy, o.ctid::text || ' ' || o.xmin::text FROM chain "
    "JOIN names ON names.depth = chain.depth + 1 JOIN objects o ON o.parent = chain.id AND o.name = names.name) "
    "SELECT chain.id, COALESCE(chain.parent, 0), chain.name, chain.type_name, chain.is_file, chain.checked_out, "
    "chain.checkin_policy, chain.version, e.member, e.level, "
    "(SELECT " ACCESS_DIGEST " FROM access a WHERE a.object IN (SELECT id FROM chain)), "
    "CASE WHEN chain.is_file THEN (SELECT COALESCE(MAX(number), 0) FROM versions WHERE object = chain.id) END "
    "FROM chain LEFT JOIN access e ON e.object = chain.id ORDER BY chain.depth, e.member, e.level";

// Fails the transaction as a conflict unless it sees the row versions $2
// (at the tuple ids $1) and the access entries of the objects $3 as $4.
constexpr const char* kCheck =
    "SELECT talixdb_changed() WHERE (SELECT count(*) FROM objects WHERE ctid = ANY($1::tid[]) "
    "AND ctid::text || ' ' || xmin::text = ANY($2::text[])) <> cardinality($2::text[]) "
    "OR (SELECT " ACCESS_DIGEST " FROM access a WHERE a.object = ANY($3::bigint[])) <> $4";

constexpr const char* kSessionWithUser =
    "SELECT s.key, s.user_name, s.last_seen, s.reading, u.name, u.password_hash, u.is_admin FROM sessions s "
    "LEFT JOIN users u ON u.name = s.user_name WHERE s.key = $1";

constexpr const char* kProperties =
    "SELECT p.property_set, p.position, p.key, p.has_value, p.item_type, p.item_list, i.value "
    "FROM properties p LEFT JOIN property_items i "
    "ON i.object = p.object AND i.property_set = p.property_set AND i.position = p.position "
    "WHERE p.object = $1 ORDER BY p.property_set, p.position, i.item_position";

constexpr const char* kTakeShared = "SELECT pg_advisory_lock_shared(-2)";
constexpr const char* kGiveShared = "SELECT pg_advisory_unlock_shared(-2)";
constexpr const char* kTakeAlone = "SELECT pg_advisory_lock(-2)";
constexpr const char* kGiveAlone = "SELECT pg_advisory_unlock(-2)";

// How long a lost COMMIT's outcome is looked for.
constexpr auto kSettleTime = std::chrono::seconds(10);

// The object in the columns OBJECT_SELECT reads, of row `row`.
StoredObject objectAt(const PgResult& rows, int row);
std::vector<StoredObject> objectsOf(const PgResult& rows);
std::optional<StoredObject> firstObject(const PgResult& rows);
// The entries of set `set` among rows of kProperties.
PropertyList propertiesOf(const PgResult& rows, int set);

}  // namespace

PostgresStorage::PostgresStorage(std::shared_ptr<PgPool> pool) : m_pool(std::move(pool)) {}

PostgresStorage::PostgresStorage(const std::string& uri) : PostgresStorage(std::make_shared<PgPool>(uri, 0)) {}

PostgresStorage::~PostgresStorage() {
  try {
    rollback();
  } catch (...) {
    // Closing the connection rolls back as well.
  }
}

// ---- transactions ----------------------------------------------------------

void PostgresStorage::begin() { start(false, false); }

void PostgresStorage::beginAlone() { start(false, true); }

void PostgresStorage::beginReading() { start(true, false); }

void PostgresStorage::start(bool reading, bool alone) {
  if (m_phase != Phase::Idle) rollback();
  // The connection this worker's staged contents hold, or one of the pool.
  m_db = m_staging.lock();
  if (m_db)
    m_db->reopenIfLost();
  else
    m_db = m_pool->lease();
  m_phase = Phase::Pending;
  m_reading = reading;
  m_alone = alone;
}

void PostgresStorage::limitWaits(int milliseconds) {
  m_waitLimit = milliseconds;
  if (m_phase == Phase::Open) {
    const std::string limit = std::to_string(milliseconds) + "ms";
    m_db->send("SELECT set_config('lock_timeout', $1, true), set_config('statement_timeout', $1, true)", {limit});
    m_sentApart = true;
  }
}

void PostgresStorage::lockAlone() {
  if (!m_alone || m_locked) return;
  m_db->send(kTakeAlone, {});
  m_db->endGroup();
  m_locked = true;
}

void PostgresStorage::open() {
  if (m_phase == Phase::Open) return;
  lockAlone();
  if (!m_reading && !m_alone) {
    // Apart, so that the snapshot is taken after the lock.
    m_db->send(kTakeShared, {});
    m_db->endGroup();
    m_locked = true;
  }
  if (m_reading) {
    m_db->send("BEGIN ISOLATION LEVEL SERIALIZABLE READ ONLY", {});
  } else {
    m_db->send("BEGIN ISOLATION LEVEL SERIALIZABLE", {});
    m_db->send("SELECT pg_current_xact_id()::text", {}, &m_transactionId);
  }
  m_phase = Phase::Open;
  if (m_waitLimit > 0) limitWaits(m_waitLimit);
  for (const Check& check : m_checks)
    m_db->send(kCheck, {pgArray(check.tuples), pgArray(check.versions), pgArray(check.ids), check.accessDigest});
  if (!m_checks.empty()) m_sentApart = true;
}

template <class Body>
auto PostgresStorage::trip(Body&& body) -> decltype(body()) {
  const bool first = !m_answered && !m_sentApart;
  try {
    auto result = body();
    m_answered = true;
    m_sentApart = false;
    return result;
  } catch (const ConnectionLost& lost) {
    if (!first || lost.answered()) throw;
  }
  // The database had ended the connection before any of it ran.
  m_db->reopenIfLost();
  m_phase = Phase::Pending;
  m_locked = false;
  auto result = body();
  m_answered = true;
  m_sentApart = false;
  return result;
}

PgResult PostgresStorage::query(const char* sql, std::initializer_list<PgParam> params, bool binaryResult,
                                bool writes) {
  if (writes && m_reading) throw WriteNeeded("a write in a reading transaction");
  return trip([&] {
    open();
    PgResult rows;
    m_db->send(sql, params, &rows, binaryResult);
    m_db->wait();
    return rows;
  });
}

void PostgresStorage::write(const char* sql, std::initializer_list<PgParam> params) {
  if (m_reading) throw WriteNeeded("a write in a reading transaction");
  open();
  m_db->send(sql, params);
  m_sentApart = true;
}

PgResult PostgresStorage::committedRead(const char* sql, std::initializer_list<PgParam> params) {
  if (m_phase == Phase::Open) return query(sql, params);
  return trip([&] {
    lockAlone();
    PgResult rows;
    m_db->send(sql, params, &rows);
    m_db->endGroup();
    m_db->wait();
    return rows;
  });
}

void PostgresStorage::commit() {
  if (m_phase == Phase::Idle) return;
  PgResult committed;
  const bool open = m_phase == Phase::Open;
  if (open) {
    m_db->send("COMMIT", {}, &committed);
    m_db->endGroup();
  }
  if (m_locked) {
    m_db->send(m_alone ? kGiveAlone : kGiveShared, {});
    m_db->endGroup();
  }
  // Bookkeeping that needs no transaction (see Storage).
  if (m_touch) {
    m_db->send("UPDATE sessions SET last_seen = $2 WHERE key = $1 AND last_seen < $2", {m_touch->first, m_touch->second});
    m_db->endGroup();
  }
  if (m_expireBefore) {
    m_db->send("DELETE FROM sessions WHERE last_seen < $1", {*m_expireBefore});
    m_db->endGroup();
  }
  const std::string transaction = m_transactionId.rows() > 0 ? m_transactionId.text(0, 0) : std::string();
  const int backend = m_db->backendPid();
  try {
    m_db->wait();
  } catch (const ConnectionLost& lost) {
    const bool unknown = open && !m_reading && !committed.answered();
    release();
    if (!unknown) {
      if (open && !committed.answered()) throw;  // a reading transaction: nothing changed
      return;  // committed; only what came after it was cut
    }
    settle(lost, transaction, backend);
    return;
  } catch (...) {
    // A statement sent before the COMMIT failed, and the COMMIT (and all
    // after it) did not run: the transaction is still open.
    if (open && m_db->inTransaction()) {
      m_phase = Phase::Open;
      m_touch.reset();
      m_expireBefore.reset();
      rollback();
    }
    release();
    throw;
  }
  release();
}

void PostgresStorage::rollback() {
  if (m_phase == Phase::Idle) return;
  try {
    if (!m_db->isLost()) {
      if (m_phase == Phase::Open) {
        m_db->send("ROLLBACK", {});
        m_db->endGroup();
      }
      if (m_locked) {
        m_db->send(m_alone ? kGiveAlone : kGiveShared, {});
        m_db->endGroup();
      }
      m_db->wait();
    }
  } catch (...) {
    // What failed before the ROLLBACK shows here; the transaction is over.
  }
  release();
}

void PostgresStorage::release() {
  m_phase = Phase::Idle;
  m_locked = false;
  m_answered = false;
  m_sentApart = false;
  m_waitLimit = 0;
  m_transactionId = PgResult();
  m_checks.clear();
  m_added.clear();
  m_lastVersions.clear();
  m_touch.reset();
  m_expireBefore.reset();
  // Back to the pool, unless staged contents still hold it.
  m_db.reset();
}

void PostgresStorage::settle(const ConnectionLost& lost, const std::string& transaction, int backend) {
  const std::string what = "lost the connection to the database during the commit";
  const auto deadline = std::chrono::steady_clock::now() + kSettleTime;
  std::string last = lost.what();
  while (!transaction.empty()) {
    std::string state;
    try {
      std::shared_ptr<PgConnection> db = m_pool->lease();
      PgResult status = db->run("SELECT pg_xact_status($1::xid8)", {transaction});
      state = status.rows() > 0 && !status.isNull(0, 0) ? status.text(0, 0) : std::string("unknown");
      // The server process that ran it has not noticed yet: end it.
      if (state == "in progress")
        db->run("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid = $1 AND backend_xid::text = "
                "($2::xid8::text::bigint % 4294967296)::text",
                {backend, transaction});
    } catch (const StorageFailure& failure) {
      last = failure.what();  // the database cannot be reached yet
    }
    if (state == "committed") {
      logLine(LogLevel::Info, what + ", which committed (" + last + ")");
      return;
    }
    if (state == "aborted") throw StorageFailure(what + "; nothing was changed", last);
    if (state == "unknown" || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  throw StorageFailure(what + ": outcome unknown, the change may or may not have been made", last);
}

// ---- objects ---------------------------------------------------------------

ObjectId PostgresStorage::rootId() { return 1; }

std::optional<StoredObject> PostgresStorage::object(ObjectId id) {
  return firstObject(query(OBJECT_SELECT "WHERE id = $1", {id}));
}

std::optional<StoredObject> PostgresStorage::child(ObjectId parent, const std::string& name) {
  return firstObject(query(OBJECT_SELECT "WHERE parent = $1 AND name = $2", {parent, name}));
}

std::vector<StoredObject> PostgresStorage::children(ObjectId parent) {
  return objectsOf(query(OBJECT_SELECT "WHERE parent = $1 ORDER BY position", {parent}));
}

ObjectsAlong PostgresStorage::along(const std::string& member, const PgResult& rows) {
  ObjectsAlong result;
  Check check;
  for (int row = 0; row < rows.rows(); ++row) {
    const ObjectId id = rows.integer(row, 0);
    if (result.objects.empty() || result.objects.back().id != id) {
      result.objects.push_back(objectAt(rows, row));
      result.ownAccess.emplace_back();
      const std::string version = rows.text(row, 7);
      check.tuples.push_back(version.substr(0, version.find(' ')));
      check.versions.push_back(version);
      check.ids.push_back(std::to_string(id));
      check.accessDigest = rows.text(row, 10);
      if (!rows.isNull(row, 11)) m_lastVersions[id] = static_cast<int>(rows.integer(row, 11));
    }
    if (!rows.isNull(row, 8) && rows.text(row, 8) == member) {
      auto level = static_cast<Access>(rows.integer(row, 9));
      std::optional<Access>& own = result.ownAccess.back();
      if (!own || *own < level) own = level;
    }
  }
  if (m_phase != Phase::Open && !result.objects.empty()) m_checks.push_back(std::move(check));
  return result;
}

ObjectsAlong PostgresStorage::objectsAlong(const std::vector<std::string>& names, const std::string& member) {
  PgResult rows = committedRead(kAlong, {pgArray(names)});
  return along(member, rows);
}

Arrival PostgresStorage::arrive(const std::string& sessionKey, const std::vector<std::string>& names) {
  PgResult session, path;
  const std::string array = pgArray(names);
  if (m_phase == Phase::Open) {
    session = query(kSessionWithUser, {sessionKey});
    path = query(kAlong, {array});
  } else {
    trip([&] {
      lockAlone();
      m_db->send(kSessionWithUser, {sessionKey}, &session);
      m_db->endGroup();
      m_db->send(kAlong, {array}, &path);
      m_db->endGroup();
      m_db->wait();
      return true;
    });
  }
  Arrival arrival;
  if (session.rows() > 0) {
    arrival.session = StoredSession{session.text(0, 0), session.text(0, 1), session.integer(0, 2),
                                    session.boolean(0, 3) ? SessionKind::Reading : SessionKind::Full};
    if (!session.isNull(0, 4)) arrival.user = StoredUser{session.text(0, 4), session.text(0, 5), session.boolean(0, 6)};
  }
  arrival.path = along(arrival.user ? arrival.user->name : std::string(), path);
  return arrival;
}

std::vector<ObjectDetails> PostgresStorage::details(const std::vector<ObjectId>& ids, const std::string& member) {
  std::vector<PgResult> children(ids.size()), properties(ids.size()), access(ids.size());
  trip([&] {
    open();
    for (std::size_t i = 0; i < ids.size(); ++i) {
      m_db->send("SELECT name FROM objects WHERE parent = $1 ORDER BY position", {ids[i]}, &children[i]);
      m_db->send(kProperties, {ids[i]}, &properties[i]);
      if (!member.empty())
        m_db->send("SELECT MAX(level) FROM access WHERE object = $1 AND member = $2", {ids[i], member}, &access[i]);
    }
    m_db->wait();
    return true;
  });
  std::vector<ObjectDetails> list(ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    for (int row = 0; row < children[i].rows(); ++row) list[i].childNames.push_back(children[i].text(row, 0));
    list[i].values = propertiesOf(properties[i], static_cast<int>(PropertySet::Values));
    list[i].declarations = propertiesOf(properties[i], static_cast<int>(PropertySet::Declarations));
    if (access[i].rows() > 0 && !access[i].isNull(0, 0)) list[i].ownAccess = static_cast<Access>(access[i].integer(0, 0));
  }
  return list;
}

std::vector<StoredObject> PostgresStorage::objectsNamedLike(const std::string& fragment) {
  return objectsOf(query(OBJECT_SELECT "WHERE parent IS NOT NULL AND strpos(name, $1) > 0 ORDER BY id", {fragment}));
}

ObjectId PostgresStorage::addObject(ObjectId parent, const std::string& name, const std::string& typeName,
                                    bool isFile) {
  PgResult row = query("INSERT INTO objects(parent, name, type_name, is_file) VALUES($1, $2, $3, $4) RETURNING id",
                       {parent, name, typeName, isFile}, false, true);
  const ObjectId id = row.integer(0, 0);
  m_added.insert(id);
  return id;
}

void PostgresStorage::moveObject(ObjectId id, ObjectId newParent, const std::string& newName) {
  write("UPDATE objects SET parent = $2, name = $3, position = nextval('object_positions') WHERE id = $1",
        {id, newParent, newName});
}

void PostgresStorage::removeObject(ObjectId id) {
  // Everything below goes too: properties, versions and their contents
  // here, access entries by cascade.
  write(
      "WITH RECURSIVE subtree(id) AS (SELECT $1::bigint UNION ALL "
      "SELECT objects.id FROM objects JOIN subtree ON objects.parent = subtree.id), "
      "gone_versions AS (DELETE FROM versions WHERE object IN (SELECT id FROM subtree) RETURNING content), "
      "gone_chunks AS (DELETE FROM chunks WHERE content IN (SELECT content FROM gone_versions)), "
      "gone_items AS (DELETE FROM property_items WHERE object IN (SELECT id FROM subtree)), "
      "gone_properties AS (DELETE FROM properties WHERE object IN (SELECT id FROM subtree)) "
      "DELETE FROM objects WHERE id IN (SELECT id FROM subtree)",
      {id});
}

void PostgresStorage::setCheckedOut(ObjectId id, bool checkedOut) {
  write("UPDATE objects SET checked_out = $2 WHERE id = $1", {id, checkedOut});
}

void PostgresStorage::setCheckinPolicy(ObjectId id, const std::string& policy) {
  write("UPDATE objects SET checkin_policy = $2 WHERE id = $1", {id, policy});
}

PropertyList PostgresStorage::properties(ObjectId id, PropertySet set) {
  return propertiesOf(query(kProperties, {id}), static_cast<int>(set));
}

void PostgresStorage::replaceProperties(ObjectId id, PropertySet set, const PropertyList& list) {
  const int setCode = static_cast<int>(set);
  // An object made in this transaction has none yet (and deleting would
  // mark the pages of the newest objects as read).
  if (m_added.count(id) == 0) {
    write("DELETE FROM property_items WHERE object = $1 AND property_set = $2", {id, setCode});
    write("DELETE FROM properties WHERE object = $1 AND property_set = $2", {id, setCode});
  }
  for (std::size_t position = 0; position < list.size(); ++position) {
    const PropertyEntry& entry = list[position];
    const int at = static_cast<int>(position);
    write(
        "INSERT INTO properties(object, property_set, position, key, has_value, item_type, item_list) "
        "VALUES($1, $2, $3, $4, $5, $6, $7)",
        {id, setCode, at, entry.key, entry.value.has_value(), entry.value ? entry.value->itemType : 0,
         entry.value && entry.value->itemList});
    if (!entry.value) continue;
    for (std::size_t item = 0; item < entry.value->items.size(); ++item) {
      write(
          "INSERT INTO property_items(object, property_set, position, item_position, value) "
          "VALUES($1, $2, $3, $4, $5)",
          {id, setCode, at, static_cast<int>(item), entry.value->items[item]});
    }
  }
}

namespace {

StoredObject objectAt(const PgResult& rows, int row) {
  StoredObject object;
  object.id = rows.integer(row, 0);
  object.parent = rows.integer(row, 1);
  object.name = rows.text(row, 2);
  object.typeName = rows.text(row, 3);
  object.isFile = rows.boolean(row, 4);
  object.checkedOut = rows.boolean(row, 5);
  object.checkinPolicy = rows.text(row, 6);
  return object;
}

std::vector<StoredObject> objectsOf(const PgResult& rows) {
  std::vector<StoredObject> objects;
  for (int row = 0; row < rows.rows(); ++row) objects.push_back(objectAt(rows, row));
  return objects;
}

std::optional<StoredObject> firstObject(const PgResult& rows) {
  std::vector<StoredObject> objects = objectsOf(rows);
  if (objects.empty()) return std::nullopt;
  return objects.front();
}

PropertyList propertiesOf(const PgResult& rows, int set) {
  PropertyList list;
  std::int64_t position = -1;
  for (int row = 0; row < rows.rows(); ++row) {
    if (rows.integer(row, 0) != set) continue;
    if (rows.integer(row, 1) != position) {
      position = rows.integer(row, 1);
      PropertyEntry entry;
      if (!rows.isNull(row, 2)) entry.key = rows.text(row, 2);
      if (rows.boolean(row, 3)) {
        Variant value;
        value.itemType = static_cast<int>(rows.integer(row, 4));
        value.itemList = rows.boolean(row, 5);
        entry.value = value;
      }
      list.push_back(std::move(entry));
    }
    if (!rows.isNull(row, 6) && list.back().value) list.back().value->items.push_back(rows.text(row, 6));
  }
  return list;
}

}  // namespace

}  // namespace talixdb::server
