// The storage seam implemented with PostgreSQL: one object per worker,
// borrowing a connection of the server's pool for each transaction.
// Transactions are SERIALIZABLE, so that requests served by several server
// processes at once behave as if served one after the other; a transaction
// the database gives up for a concurrent one throws StorageConflict and the
// rules run it again. Every writing transaction holds an advisory lock
// shared, from before its snapshot until it ends; a transaction begun alone
// holds it exclusively, so it waits for the writing ones in flight and no
// other writes beside it (it cannot lose again). Reading transactions need
// no lock: one that only reads can make no other lose.
//
// Few round trips, few conflicts. Statements go out together and are waited
// for only when their answer is needed (libpq's pipeline): writes travel
// with the next read or with the COMMIT, and what opens the transaction
// travels with its first statement. What a request reads first (its
// session, the objects along its path and the access entries on them) is
// read as committed, before the transaction begins, in one round trip; the
// transaction then checks, with its first statement, that it still sees
// those very row versions and entries (by their tuple ids, which marks only
// those rows as read) and otherwise fails as a conflict. A serializable
// read through an index marks whole index pages as read, so that any two
// requests that insert near each other in a small table would conflict;
// read this way, only what the rules really relied on is watched.
// Sessions are read as committed when the request begins, and their last
// use stored after the commit (see Storage).
//
// A lost connection. One the database ended while it was idle is opened
// again before anything is sent; one lost before the database answered
// anything of the transaction's first round trip is opened again and the
// round trip sent again (none of it can have run). Otherwise the request
// fails: when the COMMIT was under way, the transaction's id tells on a new
// connection whether it committed (a server process still running it is
// ended first); only when that cannot be found out does the failure say
// "outcome unknown".
//
// File contents are rows of about 1 MiB ("chunks") written as an upload
// arrives, each in a transaction of its own, under a content id listed in
// "staging" while no version refers to it. Adopting them as a version is one
// row in the request's transaction; until then no reader finds them. While
// the connection that stages them is open it holds an advisory lock on
// their id; a sweep removes staged contents whose lock is free (their server
// or its connection is gone). A worker's transaction runs on the connection
// its staged contents hold. A download reads a content of several chunks
// through a connection of its own, in a read-only transaction that lasts as
// long as the content is open (openContent).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "storage/Storage.h"
#include "storage/postgres/Postgres.h"
#include "storage/postgres/PostgresPool.h"

namespace talixdb::server {

// Bytes of one stored chunk.
constexpr std::size_t kChunkSize = 1 << 20;

class PostgresStorage : public Storage {
 public:
  // Borrows its connections from `pool`; the database's schema must be in
  // place (see PostgresStore).
  explicit PostgresStorage(std::shared_ptr<PgPool> pool);
  // The same with a pool of its own, without a limit.
  explicit PostgresStorage(const std::string& uri);
  ~PostgresStorage() override;

  void begin() override;
  void beginAlone() override;
  // A READ ONLY transaction: a write in it throws WriteNeeded, and
  // PostgreSQL tracks less for the serializable guarantee meanwhile.
  void beginReading() override;
  void commit() override;
  void rollback() override;
  void limitWaits(int milliseconds) override;

  ObjectId rootId() override;
  std::optional<StoredObject> object(ObjectId id) override;
  std::optional<StoredObject> child(ObjectId parent, const std::string& name) override;
  std::vector<StoredObject> children(ObjectId parent) override;
  ObjectsAlong objectsAlong(const std::vector<std::string>& names, const std::string& member) override;
  Arrival arrive(const std::string& sessionKey, const std::vector<std::string>& names) override;
  std::vector<ObjectDetails> details(const std::vector<ObjectId>& ids, const std::string& member) override;
  std::vector<StoredObject> objectsNamedLike(const std::string& fragment) override;
  ObjectId addObject(ObjectId parent, const std::string& name, const std::string& typeName,
                     bool isFile) override;
  void moveObject(ObjectId id, ObjectId newParent, const std::string& newName) override;
  void removeObject(ObjectId id) override;
  void setCheckedOut(ObjectId id, bool checkedOut) override;
  void setCheckinPolicy(ObjectId id, const std::string& policy) override;

  PropertyList properties(ObjectId id, PropertySet set) override;
  void replaceProperties(ObjectId id, PropertySet set, const PropertyList& list) override;

  std::unique_ptr<StagedContent> stageContent() override;
  void addVersion(ObjectId id, StagedContent& staged, const std::string& creator,
                  std::int64_t created) override;
  std::vector<StoredVersion> versions(ObjectId id) override;
  void setVersionComment(ObjectId id, int version, const std::string& comment) override;
  std::unique_ptr<ContentSource> openContent(ObjectId id, int version) override;

  std::optional<StoredUser> user(const std::string& name) override;
  std::optional<std::string> userOfObject(ObjectId object) override;
  void addUser(const StoredUser& user, ObjectId object) override;
  void removeUser(const std::string& name) override;
  void setPasswordHash(const std::string& name, const std::string& passwordHash) override;

  std::optional<Access> ownAccess(ObjectId id, const std::string& member) override;
  void addAccess(ObjectId id, const std::string& member, Access access) override;
  bool removeAccess(ObjectId id, const std::string& member, Access access) override;
  void removeAccessOf(const std::string& member) override;

  void addSession(const StoredSession& session) override;
  std::optional<StoredSession> session(const std::string& key) override;
  void touchSession(const std::string& key, std::int64_t now) override;
  bool removeSession(const std::string& key) override;
  void removeSessionsOf(const std::string& user) override;
  void removeSessionsSeenBefore(std::int64_t cutoff) override;
  std::optional<std::int64_t> latestSessionUse(const std::string& user, std::int64_t cutoff) override;
  StoreFigures figures(std::int64_t cutoff) override;

 private:
  enum class Phase {
    Idle,     // no transaction
    Pending,  // begun: reads so far were as committed, nothing sent opens it yet
    Open,     // what opens it is sent
  };
  // Rows read as committed that the transaction must still see.
  struct Check {
    std::vector<std::string> tuples;    // tuple ids of the objects
    std::vector<std::string> versions;  // "tuple id, creating transaction" of each
    std::vector<std::string> ids;       // the objects, whose access entries
    std::string accessDigest;           // read as this
  };

  void start(bool reading, bool alone);
  // Sends, ahead of a round trip, the lock a transaction begun alone takes
  // before it reads anything.
  void lockAlone();
  // Sends what opens the transaction, once: the shared lock, BEGIN, the
  // transaction's id, the checks.
  void open();
  // Runs `body`, a round trip of this transaction; sends it once more on a
  // new connection when the first one was lost before any answer.
  template <class Body>
  auto trip(Body&& body) -> decltype(body());
  // A statement in the transaction, answered at once.
  PgResult query(const char* sql, std::initializer_list<PgParam> params, bool binaryResult = false,
                 bool writes = false);
  // A statement in the transaction whose answer may wait.
  void write(const char* sql, std::initializer_list<PgParam> params);
  // A read outside the transaction, as committed, while it is not open yet.
  PgResult committedRead(const char* sql, std::initializer_list<PgParam> params);
  // The objects along a path from rows that list them with every access
  // entry on them (`member`'s count); rows read before the transaction
  // opened are kept to be checked when it does.
  ObjectsAlong along(const std::string& member, const PgResult& rows);
  // After the connection went during the COMMIT: whether it committed.
  void settle(const ConnectionLost& lost, const std::string& transaction, int backend);
  // Ends the transaction's state and gives the connection back.
  void release();

  std::shared_ptr<PgPool> m_pool;
  std::shared_ptr<PgConnection> m_db;         // lent while a transaction runs
  std::weak_ptr<PgConnection> m_staging;      // the one this worker's staged contents hold
  Phase m_phase = Phase::Idle;
  bool m_reading = false;
  bool m_alone = false;
  bool m_locked = false;     // the advisory lock was sent
  bool m_answered = false;   // a round trip of this transaction was answered
  bool m_sentApart = false;  // statements went out that no round trip answered yet
  int m_waitLimit = 0;       // milliseconds, 0 for the defaults
  PgResult m_transactionId;
  std::vector<Check> m_checks;
  std::set<ObjectId> m_added;  // objects this transaction made (no properties to replace)
  std::map<ObjectId, int> m_lastVersions;  // files' highest version numbers, as read
  std::optional<std::pair<std::string, std::int64_t>> m_touch;  // after the commit
  std::optional<std::int64_t> m_expireBefore;                   // after the commit
};

// Removes staged contents whose connection is gone (see above), using
// `db`, which must stage nothing itself; opens `db` again when it was lost
// and runs again once when it goes meanwhile. Returns how many it removed.
int sweepStagedContents(PgConnection& db);

}  // namespace talixdb::server
