// The SQLite side of the storage seam: schema, transactions, content files.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "SqliteStorage.h"
#include "StorageTransaction.h"
#include "support/TestServer.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

class SqliteStorageTest : public ::testing::Test {
 protected:
  std::size_t contentFiles() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "/blobs")) count += entry.is_regular_file();
    return count;
  }
  // A new file "f" below the root with "abc" as its first version.
  ObjectId addFile(SqliteStorage& storage) {
    auto staged = storage.stageContent();
    staged->write("abc", 3);
    EXPECT_TRUE(staged->finish());
    ObjectId id = storage.addObject(storage.rootId(), "f", "File", true);
    storage.addVersion(id, *staged, "root", 1);
    return id;
  }
  TempDir dir;
};

// What a transaction rolls back is not seen, and its content file goes;
// a removed object's content file goes when the removal commits.
TEST_F(SqliteStorageTest, ContentFilesFollowTheTransactions) {
  SqliteStorage storage(dir.path());
  {
    StorageTransaction transaction(storage);
    storage.addObject(storage.rootId(), "gone", "Folder", false);
    addFile(storage);
  }
  EXPECT_EQ(contentFiles(), 0u);
  StorageTransaction create(storage);
  EXPECT_FALSE(storage.child(storage.rootId(), "gone").has_value());
  ObjectId id = addFile(storage);
  create.commit();
  EXPECT_EQ(contentFiles(), 1u);
  StorageTransaction remove(storage);
  storage.removeObject(id);
  EXPECT_EQ(contentFiles(), 1u);
  remove.commit();
  EXPECT_EQ(contentFiles(), 0u);
}

TEST_F(SqliteStorageTest, LeftoversOfAnInterruptedUploadAreRemovedAtStart) {
  {
    SqliteStorage storage(dir.path());
    std::ofstream(dir.path() + "/blobs/incoming-0123.part") << "half";
    std::ofstream(dir.path() + "/blobs/0123.blob") << "never committed";
  }
  SqliteStorage storage(dir.path());
  storage.removeUnreferencedContent();
  EXPECT_EQ(contentFiles(), 0u);
}

TEST_F(SqliteStorageTest, StoreOfANewerSchemaIsRefused) {
  { SqliteStorage storage(dir.path()); }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir.path() + "/talixdb.sqlite").c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_THROW(SqliteStorage storage(dir.path()), StorageFailure);
}

// Schema 1 kept session ids in the clear: upgrading drops those sessions.
TEST_F(SqliteStorageTest, StoreOfSchemaOneIsUpgradedAndItsClearSessionsDropped) {
  { SqliteStorage storage(dir.path()); }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir.path() + "/talixdb.sqlite").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "DROP TABLE sessions;"
                         "CREATE TABLE sessions(id TEXT PRIMARY KEY, user TEXT NOT NULL, last_seen INTEGER NOT NULL);"
                         "INSERT INTO sessions VALUES('0123456789abcdef0123456789abcdef', 'root', 1);"
                         "PRAGMA user_version = 1;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  SqliteStorage storage(dir.path());
  StorageTransaction transaction(storage);
  EXPECT_FALSE(storage.hasSessionSeenSince("root", 0));
  storage.addSession(StoredSession{"key", "root", 5});
  EXPECT_TRUE(storage.session("key").has_value());
}

TEST_F(SqliteStorageTest, ChildrenComeBackInCreationOrderAndMovedOnesLast) {
  SqliteStorage storage(dir.path());
  StorageTransaction transaction(storage);
  ObjectId a = storage.addObject(storage.rootId(), "a", "Folder", false);
  ObjectId b = storage.addObject(storage.rootId(), "b", "Folder", false);
  ObjectId z = storage.addObject(a, "z", "Folder", false);
  storage.addObject(b, "y", "Folder", false);
  storage.moveObject(z, b, "z");
  std::vector<std::string> names;
  for (const StoredObject& child : storage.children(b)) names.push_back(child.name);
  EXPECT_EQ(names, (std::vector<std::string>{"y", "z"}));
}

}  // namespace
}  // namespace talixdb_test
