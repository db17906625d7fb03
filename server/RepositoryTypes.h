// Plain records the stand-in server keeps: objects, property values, file
// versions, users, sessions and access levels, and the two kinds of failure.
// Nothing here knows about SOAP or SQL.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

// A login session as stored: under a hash of its id (see sessionKey), so
// that reading the store gives no live session.
struct StoredSession {
  std::string key;
  std::string user;
  std::int64_t lastSeen = 0;  // seconds since 1970-01-01 UTC
};

// Access levels, each including the ones below it.
enum class Access { None = 0, Read = 1, Write = 2, FullControl = 3 };

// A request the repository rules refuse; the text says what failed.
class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& what) : std::runtime_error(what) {}
};

// The store itself failed (disk, database); the request changed nothing.
class StorageFailure : public std::runtime_error {
 public:
  explicit StorageFailure(const std::string& what) : std::runtime_error(what) {}
};

// The engine gave the transaction up because a concurrent one touched the
// same data (or took the same unique name) at the same moment; nothing of it
// was kept, and running the whole transaction again may succeed.
class StorageConflict : public StorageFailure {
 public:
  explicit StorageConflict(const std::string& what) : StorageFailure(what) {}
};

// A transaction begun for reading (Storage::beginReading) tried to write;
// nothing was written, and the caller runs it again as a writing one.
class WriteNeeded : public StorageFailure {
 public:
  explicit WriteNeeded(const std::string& what) : StorageFailure(what) {}
};

// The store is held by another server process.
class StoreInUse : public StorageFailure {
 public:
  explicit StoreInUse(const std::string& what) : StorageFailure(what) {}
};

}  // namespace talixdb::server
