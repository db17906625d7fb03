// Plain records the stand-in server keeps: objects, property values, file
// versions, users, sessions and access levels, and a refusal by the rules
// (the store's own failures: StorageFailure.h).
// Nothing here knows about SOAP or SQL.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "storage/StorageFailure.h"

namespace talixdb::server {

using ObjectId = std::int64_t;

// One property value exactly as a client sent it.
struct Variant {
  int itemType = 0;
  bool itemList = false;
  std::vector<std::string> items;
};

// One map entry; a client may leave out the key or the value.
struct PropertyEntry {
  std::optional<std::string> key;
  std::optional<Variant> value;
};
using PropertyList = std::vector<PropertyEntry>;

// The two maps an object carries: values and their declarations.
enum class PropertySet { Values = 0, Declarations = 1 };

struct StoredObject {
  ObjectId id = 0;
  ObjectId parent = 0;  // 0 for the root
  std::string name;
  std::string typeName;
  bool isFile = false;
  bool checkedOut = false;
  std::string checkinPolicy;
};

struct StoredVersion {
  int number = 0;
  std::uint64_t size = 0;
  std::string creator;
  std::int64_t created = 0;  // seconds since 1970-01-01 UTC
  std::string comment;
};

struct StoredUser {
  std::string name;
  std::string passwordHash;
  bool isAdmin = false;
};

// What a session may do: a full session all that its user may, a reading
// session (a viewer's) only read; the one-session-per-user check of the
// client library (isLoggedIn) does not count reading sessions.
enum class SessionKind { Full = 0, Reading = 1 };

// A login session as stored: under a hash of its id (see sessionKey), so
// that reading the store gives no live session.
struct StoredSession {
  std::string key;
  std::string user;
  std::int64_t lastSeen = 0;  // seconds since 1970-01-01 UTC
  SessionKind kind = SessionKind::Full;
};

// What a store holds, for operators' figures.
struct StoreFigures {
  std::int64_t sessions = 0;      // live ones
  std::int64_t objects = 0;       // the root included
  std::int64_t contentBytes = 0;  // of every stored version of every file
};

// Access levels, each including the ones below it.
enum class Access { None = 0, Read = 1, Write = 2, FullControl = 3 };

// The objects from the root along some names, as far as they lead (the
// root alone for none), and one member's own access on each.
struct ObjectsAlong {
  std::vector<StoredObject> objects;
  std::vector<std::optional<Access>> ownAccess;  // one per object
};

// What a request that names a session and a path reads first.
struct Arrival {
  std::optional<StoredSession> session;
  std::optional<StoredUser> user;  // the session's, when both exist
  ObjectsAlong path;               // with the user's own access ("" without a user)
};

// What a reader sees of an object besides its record.
struct ObjectDetails {
  std::vector<std::string> childNames;  // in the order of Storage::children
  PropertyList values;
  PropertyList declarations;
  std::optional<Access> ownAccess;  // of the member asked about
};

// A request the repository rules refuse; the text says what failed.
class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace talixdb::server
