// The repository rules of the stand-in server, independent of SOAP: sessions,
// the object tree, file versions, users and access rights, over the storage
// seam. Every public operation is one transaction: it either completes or
// leaves the store as it was.
//
// A conflict with a concurrent transaction (another server process on the
// same database) is not a failure: the operation runs again, a few times at
// most, and then sees what the other one committed.
//
// Operations that need a session take the Caller (the session id its cookie
// named); they refuse with Refusal("not logged in") when that session is not
// live, and fill in Caller::user otherwise. Refusals and storage failures are
// thrown; the SOAP layer turns them into faults.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "repository/Contention.h"
#include "repository/PasswordHash.h"
#include "storage/RepositoryTypes.h"
#include "storage/Storage.h"
#include "storage/StorageTransaction.h"

namespace talixdb::server {

// Seconds since 1970-01-01 UTC; replaceable in tests.
using Clock = std::function<std::int64_t()>;
std::int64_t systemClock();

// A session's last use is stored again only once the stored one is at least
// this many seconds old (a tenth of the idle timeout, at most 5 s), so that
// most requests write nothing. A session is therefore kept this much longer
// than the timeout after its stored last use: it ends no sooner than the
// timeout after its real last use, and at most this many seconds later.
std::int64_t sessionRefreshInterval(std::int64_t sessionTimeoutSeconds);

// Whether a password matches a stored hash (verifyPassword); replaceable in tests.
using PasswordCheck = std::function<bool(const std::string& password, const std::string& hash)>;

// The fixed parts of the tree.
constexpr const char* kRepositoryPath = "/Repository";
constexpr const char* kSystemPath = "/System";
constexpr const char* kUsersPath = "/System/Users";
constexpr const char* kAdministratorName = "root";
// Deleting "/System/Users/NAME/Sessions" (the administrator only) ends every
// session of NAME; no object is ever stored there.
constexpr const char* kSessionsName = "Sessions";

// When a user's latest live session was last used and when it ends unless
// used again (seconds since 1970).
struct SessionUse {
  std::int64_t lastUsed = 0;
  std::int64_t expires = 0;
};

struct Caller {
  std::string session;  // the session the request names ("" for none)
  std::string user;     // who made it, once the session was found live
};

// One object as a reader sees it.
struct ObjectView {
  StoredObject object;
  std::string path;
  std::string parentPath;  // "" for the root
  std::vector<std::string> childNames;
  PropertyList values;
  PropertyList declarations;
  std::vector<std::string> allowedActions;
};

struct NewObject {
  std::string name;
  std::string parentPath;
  std::string typeName;
  PropertyList values;
  PropertyList declarations;
};

// One file of an upload: its description and the bytes received for it.
struct IncomingFile {
  std::string name;
  std::string typeName;
  std::int64_t declaredSize = 0;
  PropertyList values;
  StagedContent* content = nullptr;  // not owned
};

// The stored version a download names: found, and the caller's right to
// read it checked, before the reply begins; its bytes are opened only as the
// reply reaches them (openDownload).
struct Download {
  std::string path;
  ObjectId object = 0;
  int version = 0;
  std::uint64_t size = 0;
};

class Repository {
 public:
  Repository(Storage& storage, std::int64_t sessionTimeoutSeconds, Clock clock = systemClock,
             PasswordCheck checkPassword = verifyPassword);

  // Creates what a first start needs: "/Repository", "/System",
  // "/System/Users" and the administrator "root" with `adminPassword`.
  // Leaves an existing store as it is.
  // Returns true when it created the administrator.
  bool bootstrap(const std::string& adminPassword);
  // True once the administrator exists (after the first start).
  bool hasAdministrator();
  // True when the store answers: a transaction that reads the root
  // commits, waiting at most kUsableWithin milliseconds for locks.
  static constexpr int kUsableWithin = 2000;
  bool isUsable();
  // What the store holds (live sessions, objects, content bytes), for operators.
  StoreFigures figures();
  // Gives the existing user `name` a new password and ends its sessions;
  // refuses an unknown user and an empty password.
  void setPassword(const std::string& name, const std::string& password);
  // Ends every session of the existing user `name` (for the store's owner);
  // true when one was live.
  bool endSessions(const std::string& name);

  // ---- sessions (no session needed)
  // Checks the credentials, ends the caller's previous session and starts a
  // new one of `kind`; returns its id (also stored in the caller). An unknown
  // user costs the same password check as a known one, so that the time of a
  // refusal does not tell whether the user exists. A reading session may do
  // all that only reads; every operation that changes something refuses it.
  std::string login(Caller& caller, const std::string& user, const std::string& password,
                    SessionKind kind = SessionKind::Full);
  // True while `user` has at least one live full session (reading ones do not count).
  bool isLoggedIn(const std::string& user);
  // The use of `user`'s latest live session, told only to `asker` with its
  // right `password` when `asker` is `user` or the administrator; none when
  // there is no such session or `asker` may not know. A wrong user name or
  // password is refused as a login's is (and costs what a login's check does).
  std::optional<SessionUse> sessionUse(const std::string& user, const std::string& asker,
                                       const std::string& password);
  // Ends the caller's session, if any.
  void logout(Caller& caller);
  // The caller's session id while it is live, else "".
  std::string sessionId(Caller& caller);
  // The user of a live session, else "".
  std::string authenticate(const std::string& sessionId);
  // Ends `sessionId` when the caller owns it or is the administrator (a
  // reading session ends only itself); true when a session was ended.
  bool invalidate(Caller& caller, const std::string& sessionId);
  // Only checks (and refreshes) the caller's session; one that is to change
  // something must be a full one.
  void requireSession(Caller& caller, bool toChange = false);

  // ---- objects
  ObjectView find(Caller& caller, const std::string& path);
  // The children the caller may read, in creation order.
  std::vector<ObjectView> children(Caller& caller, const std::string& path);
  // Readable objects whose name contains `text`.
  std::vector<ObjectView> query(Caller& caller, const std::string& text);
  // Returns the new object's path.
  std::string create(Caller& caller, const NewObject& object);
  // Deletes the object and everything below it; false for a missing path and
  // for the fixed parts of the tree and the administrator.
  bool remove(Caller& caller, const std::string& path);
  // Replaces the maps that are given; returns the object as stored.
  ObjectView update(Caller& caller, const std::string& path, const std::optional<PropertyList>& values,
                    const std::optional<PropertyList>& declarations);
  // Moves (and renames) an object; returns its new path.
  std::string move(Caller& caller, const std::string& source, const std::string& destination);

  // ---- file contents
  // A place for the bytes of one incoming file, filled as they arrive and
  // adopted by store(); throws StorageFailure when the store cannot take it.
  std::unique_ptr<StagedContent> stageContent() { return m_storage.stageContent(); }
  // Bytes the store can still take for new contents, when its engine can tell.
  std::optional<std::uint64_t> contentSpace() { return m_storage.contentSpace(); }
  // Stores each file below `parentPath`, a new file or a new version of an
  // existing one; returns the stored files' paths.
  std::vector<std::string> store(Caller& caller, const std::string& parentPath,
                                 const std::vector<IncomingFile>& files);
  // The latest version of the file at `path`.
  Download fetch(Caller& caller, const std::string& path);
  // Opens the bytes of a version fetch() found, outside any transaction (see
  // Storage::openContent): they stay readable until the source is destroyed,
  // also when a later request deletes the file. Throws Refusal when the
  // version is gone meanwhile, StorageFailure when it cannot be read.
  std::unique_ptr<ContentSource> openDownload(const Download& download);
  std::vector<std::string> versionNames(Caller& caller, const std::string& path);
  std::vector<StoredVersion> changeLogs(Caller& caller, const std::string& path);

  // ---- check-out flags and policies
  bool checkout(Caller& caller, const std::string& path, bool recursive);
  bool checkin(Caller& caller, const std::string& path, const std::string& comment, bool recursive);
  bool isCheckedOut(Caller& caller, const std::string& path);
  bool isCheckinEnabled(Caller& caller, const std::string& path);
  bool setCheckinPolicy(Caller& caller, const std::string& path, const std::string& policy, bool recursive);

  // ---- users and access rights
  // Administrator only; returns the user object's path.
  std::string createUser(Caller& caller, const std::string& name, const std::string& password);
  std::vector<std::string> groups(Caller& caller, const std::string& user);
  bool addPermission(Caller& caller, const std::string& path, const std::string& permission,
                     const std::string& member);
  // True when an entry was removed.
  bool removePermission(Caller& caller, const std::string& path, const std::string& permission,
                        const std::string& member);
  bool hasPermission(Caller& caller, const std::string& path, const std::string& permission,
                     const std::string& member);

  // The reruns since the last resetContention() (each request starts anew).
  const Contention& contention() const { return m_contention; }
  void resetContention() { m_contention = Contention{}; }

 private:
  // Runs `body` as one transaction and commits it; on a StorageConflict it
  // is rolled back and run again after a short random pause, alone once it
  // lost kOptimisticAttempts times (so that it cannot lose again), at most
  // kTransactionAttempts times in all.
  template <class Body>
  auto transact(Body&& body) -> decltype(body()) {
    return run(body, StorageTransaction::Kind::Writing);
  }
  // The same for a body that usually only reads: it begins as a reading
  // transaction and, when it turns out to write (WriteNeeded), runs again at
  // once as a writing one.
  template <class Body>
  auto read(Body&& body) -> decltype(body()) {
    return run(body, StorageTransaction::Kind::Reading);
  }
  template <class Body>
  auto run(Body& body, StorageTransaction::Kind kind) -> decltype(body());

  // "/", "/Repository", "/System" and "/System/Users" (canonical paths).
  static bool isFixedPath(const std::string& path);
  // True for a path strictly below "/System/Users".
  static bool isBelowUsers(const std::string& path);

  // What an operation does with the caller's session.
  enum class Use { Reading, Changing };
  // The caller and the objects along the path a request names.
  struct Found {
    StoredUser user;
    std::string path;    // as the request named it
    ObjectsAlong along;  // from the root, as far as the names lead
    std::size_t depth = 0;  // names in `path`
    bool exists() const { return along.objects.size() > depth; }
    const StoredObject& object() const { return along.objects[depth]; }
    // The object below it named `child`, when it exists.
    std::optional<StoredObject> child() const {
      if (along.objects.size() <= depth + 1) return std::nullopt;
      return along.objects[depth + 1];
    }
    // The canonical path of the object at `index` along the path.
    std::string pathAt(std::size_t index) const;
  };
  // Reads the caller and the objects along `path` at once (see
  // Storage::arrive); `child`, when not empty, is looked up below the path
  // too. Refuses as admit() does.
  Found enterAt(Caller& caller, Use use, const std::string& path, const std::string& child = std::string());
  // The caller's user alone.
  StoredUser enter(Caller& caller, Use use = Use::Reading);
  // The user of a live session, refreshing it; refuses a missing session
  // ("not logged in"), and a reading session for a change.
  StoredUser admit(Caller& caller, Use use, const std::optional<StoredSession>& session,
                   const std::optional<StoredUser>& user);
  // Ends every session of `user` when `requester` is the administrator
  // (remove of "/System/Users/NAME/Sessions"); true when one was live.
  bool endSessionsOf(const StoredUser& requester, const std::string& user);
  // The same for anyone, inside a transaction.
  bool removeSessions(const std::string& user);
  // Stores now as the session's last use unless the stored one is recent.
  void refresh(const StoredSession& session);
  // The stored session of a session id ("" has none), live or not.
  std::optional<StoredSession> storedSession(const std::string& sessionId);
  // The same while it is live.
  std::optional<StoredSession> liveSession(const std::string& sessionId);
  // The object the path names, or Refusal("no such object").
  const StoredObject& resolve(const Found& found);
  std::string pathOf(const StoredObject& object);
  Access accessOf(const std::string& member, const StoredObject& object);
  // The user's access to the object at `index` along a found path.
  Access accessOf(const StoredUser& user, const Found& found, std::size_t index);
  Access accessOf(const StoredUser& user, const StoredObject& object);
  void requireAccess(const StoredUser& user, Access granted, Access needed, const std::string& path);
  void requireContainer(const StoredObject& object, const std::string& path);
  // The object a found path leads to, as its user sees it.
  ObjectView view(const StoredUser& user, const Found& found);
  ObjectView view(const StoredObject& object, const std::string& path, const std::string& parentPath,
                  ObjectDetails details, Access access, bool deletable);
  const StoredObject& resolveFile(const StoredUser& user, const Found& found, Access needed);
  void forSubtree(const StoredObject& object, bool recursive, const std::function<void(const StoredObject&)>& action);
  std::int64_t liveSince();

  Storage& m_storage;
  std::int64_t m_sessionTimeout;
  Clock m_clock;
  PasswordCheck m_checkPassword;
  Contention m_contention;
};

constexpr int kOptimisticAttempts = 2;
constexpr int kTransactionAttempts = 5;
// Sleeps a random while that grows with the attempts made so far.
void pauseBeforeRetry(int attempt);

template <class Body>
auto Repository::run(Body& body, StorageTransaction::Kind kind) -> decltype(body()) {
  using Kind = StorageTransaction::Kind;
  for (int attempt = 1;; ++attempt) {
    const bool alone = attempt > kOptimisticAttempts;
    ++m_contention.transactions;
    if (alone) ++m_contention.alone;
    try {
      StorageTransaction transaction(m_storage, alone ? Kind::Alone : kind);
      if constexpr (std::is_void_v<decltype(body())>) {
        body();
        transaction.commit();
        return;
      } else {
        auto result = body();
        transaction.commit();
        return result;
      }
    } catch (const WriteNeeded&) {
      if (kind != Kind::Reading) throw;
      kind = Kind::Writing;
      --attempt;  // not a lost race: no pause, no attempt spent
      continue;
    } catch (const StorageConflict&) {
      if (attempt >= kTransactionAttempts) throw;
      ++m_contention.retries;
    }
    pauseBeforeRetry(attempt);
  }
}

}  // namespace talixdb::server
