// The one seam between the repository rules and the database engine: objects,
// properties, file contents, users, permissions and sessions. The rules never
// see SQL; another engine could sit behind the same interface.
//
// Every call except stageContent(), openContent() and contentSpace() runs
// inside a transaction opened with begin(). Failures of the engine throw
// StorageFailure; the caller rolls back. Besides the single reads, a few
// calls read at once what requests need together (arrive, objectsAlong,
// details), so that an engine behind a network asks for it in one go; their
// defaults use the single reads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/RepositoryTypes.h"

namespace talixdb::server {

// Bytes received for a new file version, kept apart until a transaction
// adopts them with Storage::addVersion. Dropping an unadopted one discards it.
class StagedContent {
 public:
  virtual ~StagedContent() = default;
  // Appends bytes; false when the store could not take them.
  virtual bool write(const char* data, std::size_t size) = 0;
  // Makes the bytes durable; false on failure.
  virtual bool finish() = 0;
  virtual std::uint64_t size() const = 0;
};

// The bytes of one stored version as they were when it was opened (even
// when a later request deletes the file meanwhile).
class ContentSource {
 public:
  virtual ~ContentSource() = default;
  // Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
  virtual long read(char* data, std::size_t size) = 0;
  virtual std::uint64_t size() const = 0;
};

class Storage {
 public:
  virtual ~Storage() = default;

  // ---- transactions: a request's changes become visible together or not at all
  virtual void begin() = 0;
  // Begins a transaction that runs alone: no other one that the engine
  // would find in conflict with it runs beside it, in any process. For a
  // transaction that already lost to concurrent ones (see StorageConflict);
  // an engine that runs its transactions one at a time just begins.
  virtual void beginAlone() { begin(); }
  // Begins a transaction expected only to read. An engine that runs reading
  // transactions beside each other and beside a writing one refuses a write
  // in it with WriteNeeded, before changing anything; the caller rolls back
  // and runs the transaction again after begin().
  virtual void beginReading() { begin(); }
  virtual void commit() = 0;
  virtual void rollback() = 0;
  // Waits of this transaction for locks (and its statements) end in a
  // failure after `milliseconds`, for checks that must answer soon.
  virtual void limitWaits(int milliseconds) { (void)milliseconds; }

  // ---- objects
  virtual ObjectId rootId() = 0;
  virtual std::optional<StoredObject> object(ObjectId id) = 0;
  virtual std::optional<StoredObject> child(ObjectId parent, const std::string& name) = 0;
  // Children in the order they were created (or moved in).
  virtual std::vector<StoredObject> children(ObjectId parent) = 0;
  // The objects from the root along `names` with `member`'s own access.
  virtual ObjectsAlong objectsAlong(const std::vector<std::string>& names, const std::string& member);
  // The session stored under `sessionKey`, its user, and the objects along
  // `names` with that user's own access.
  virtual Arrival arrive(const std::string& sessionKey, const std::vector<std::string>& names);
  // Children's names, properties and `member`'s own access of each object.
  virtual std::vector<ObjectDetails> details(const std::vector<ObjectId>& ids, const std::string& member);
  // Every object whose name contains `fragment`, the root excluded.
  virtual std::vector<StoredObject> objectsNamedLike(const std::string& fragment) = 0;
  virtual ObjectId addObject(ObjectId parent, const std::string& name, const std::string& typeName,
                             bool isFile) = 0;
  virtual void moveObject(ObjectId id, ObjectId newParent, const std::string& newName) = 0;
  // Removes the object and everything below it: properties, contents, permissions.
  virtual void removeObject(ObjectId id) = 0;
  virtual void setCheckedOut(ObjectId id, bool checkedOut) = 0;
  virtual void setCheckinPolicy(ObjectId id, const std::string& policy) = 0;

  // ---- properties, in the order they were stored
  virtual PropertyList properties(ObjectId id, PropertySet set) = 0;
  virtual void replaceProperties(ObjectId id, PropertySet set, const PropertyList& list) = 0;

  // ---- file contents
  // A place for incoming bytes; may be called outside a transaction.
  virtual std::unique_ptr<StagedContent> stageContent() = 0;
  // Adopts finished staged bytes as the next version of file `id`.
  virtual void addVersion(ObjectId id, StagedContent& staged, const std::string& creator,
                         std::int64_t created) = 0;
  virtual std::vector<StoredVersion> versions(ObjectId id) = 0;
  virtual void setVersionComment(ObjectId id, int version, const std::string& comment) = 0;
  // Opens a stored version, outside a transaction; null when there is no
  // such version. The source may read through this connection: nothing else
  // uses it until the source is destroyed.
  virtual std::unique_ptr<ContentSource> openContent(ObjectId id, int version) = 0;
  // Bytes the store can still take for new contents, when the engine can
  // tell (a database on another host cannot); may be called outside a
  // transaction.
  virtual std::optional<std::uint64_t> contentSpace() { return std::nullopt; }

  // ---- users (each also appears as an object, linked by `object`)
  virtual std::optional<StoredUser> user(const std::string& name) = 0;
  virtual std::optional<std::string> userOfObject(ObjectId object) = 0;
  virtual void addUser(const StoredUser& user, ObjectId object) = 0;
  virtual void removeUser(const std::string& name) = 0;
  virtual void setPasswordHash(const std::string& name, const std::string& passwordHash) = 0;

  // ---- permissions: entries (object, member, access), several per member allowed
  // The highest access among the member's own entries on the object, or
  // nothing when it has none there.
  virtual std::optional<Access> ownAccess(ObjectId id, const std::string& member) = 0;
  virtual void addAccess(ObjectId id, const std::string& member, Access access) = 0;
  // Removes one entry; false when it did not exist.
  virtual bool removeAccess(ObjectId id, const std::string& member, Access access) = 0;
  virtual void removeAccessOf(const std::string& member) = 0;

  // ---- sessions, found by their key (the rules above hash the ids)
  // A session's last use, and the removal of sessions long unused, are
  // bookkeeping no reader of the repository sees: an engine may store them
  // apart from the transaction (and drop them when it rolls back), and
  // read sessions as committed when the request began.
  virtual void addSession(const StoredSession& session) = 0;
  virtual std::optional<StoredSession> session(const std::string& key) = 0;
  virtual void touchSession(const std::string& key, std::int64_t now) = 0;
  virtual bool removeSession(const std::string& key) = 0;
  virtual void removeSessionsOf(const std::string& user) = 0;
  // Removes sessions last seen before `cutoff`.
  virtual void removeSessionsSeenBefore(std::int64_t cutoff) = 0;
  // The last use of the latest full session (not a reading one) of `user`
  // seen at or after `cutoff`, or none.
  virtual std::optional<std::int64_t> latestSessionUse(const std::string& user, std::int64_t cutoff) = 0;

  // ---- figures: sessions seen at or after `cutoff`, objects and content bytes
  virtual StoreFigures figures(std::int64_t cutoff) = 0;
};

// A store as one server process holds it from start to stop, and the source
// of one Storage connection per worker. Opening one (see its engine) makes
// it ready to serve: created on first use, its schema brought up to date,
// and held against other servers.
// What a store is opened for.
enum class StoreUse {
  // A server: the store must be free; leftovers of a crash (content no
  // version refers to) are removed.
  Serve,
  // A one-off change beside a server that may be running: the change goes
  // through the engine's own locking.
  Administer,
};

class Store {
 public:
  virtual ~Store() = default;
  // A new connection for one worker thread.
  virtual std::unique_ptr<Storage> connect() = 0;
  // Where the store is and what keeps it, for the log ("DIR (SQLite)").
  virtual std::string description() const = 0;
};

}  // namespace talixdb::server
