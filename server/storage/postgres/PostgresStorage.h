// The storage seam implemented with PostgreSQL: one object per connection,
// every worker thread holds its own. Transactions are SERIALIZABLE, so that
// requests served by several server processes at once behave as if served
// one after the other; a transaction the database gives up for a concurrent
// one throws StorageConflict and the rules run it again. Every transaction
// holds an advisory lock shared, from before its snapshot until it ends; a
// transaction begun alone holds it exclusively, so it waits for the ones in
// flight and no other runs beside it (it cannot lose again).
//
// File contents are rows of about 1 MiB ("chunks") written as an upload
// arrives, each in a transaction of its own, under a content id listed in
// "staging" while no version refers to it. Adopting them as a version is one
// row in the request's transaction; until then no reader finds them. While
// the connection that stages them is open it holds an advisory lock on
// their id; a sweep removes staged contents whose lock is free (their server
// or its connection is gone). A download reads its chunks through the
// storage's own connection, in a read-only transaction of its own that lasts
// as long as the content is open (openContent).
//
// A lost connection fails the statement in flight with StorageFailure and is
// opened again by the next transaction (or the next staging).
#pragma once

#include <memory>
#include <string>

#include "storage/Storage.h"
#include "storage/postgres/Postgres.h"

namespace talixdb::server {

// Bytes of one stored chunk.
constexpr std::size_t kChunkSize = 1 << 20;

class PostgresStorage : public Storage {
 public:
  // Connects to the database `uri` names; its schema must be in place
  // (see PostgresStore). Throws StorageFailure.
  explicit PostgresStorage(const std::string& uri);
  ~PostgresStorage() override;

  void begin() override;
  void beginAlone() override;
  // A READ ONLY transaction: PostgreSQL refuses a write in it (WriteNeeded),
  // and tracks less for the serializable guarantee meanwhile.
  void beginReading() override;
  void commit() override;
  void rollback() override;

  ObjectId rootId() override;
  std::optional<StoredObject> object(ObjectId id) override;
  std::optional<StoredObject> child(ObjectId parent, const std::string& name) override;
  std::vector<StoredObject> children(ObjectId parent) override;
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
  int addVersion(ObjectId id, StagedContent& staged, const std::string& creator,
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
  bool hasSessionSeenSince(const std::string& user, std::int64_t cutoff) override;

 private:
  // Shared with the contents it stages, which may outlive this object.
  std::shared_ptr<PgConnection> m_db;
  // Takes the lock with `lock` and opens a transaction with `begin`.
  void open(const char* lock, bool alone, const char* begin);
  // Ends it with `sql`, which gives the lock back after; gives it back
  // itself when `sql` fails.
  void close(const char* endShared, const char* endAlone);

  bool m_inTransaction = false;
  bool m_alone = false;
};

// Removes staged contents whose connection is gone (see above), using
// `db`, which must stage nothing itself. Returns how many it removed.
int sweepStagedContents(PgConnection& db);

}  // namespace talixdb::server
