// A repository over a real store on each engine (SQLite in a temporary
// directory, PostgreSQL in a new database of the tests' cluster), with a
// clock the test moves by hand and the administrator logged in.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PostgresStore.h"
#include "Repository.h"
#include "SqliteStore.h"
#include "support/Engines.h"
#include "support/PostgresCluster.h"

namespace talixdb_test {

class RepositoryFixture : public ::testing::TestWithParam<Engine> {
 protected:
  static constexpr std::int64_t kTimeout = 60;

  void SetUp() override {
    using talixdb::server::StoreUse;
    if (GetParam() == Engine::Postgres)
      store = std::make_unique<talixdb::server::PostgresStore>(PostgresCluster::shared().createDatabase(),
                                                               StoreUse::Serve);
    else
      store = std::make_unique<talixdb::server::SqliteStore>(dir.path(), StoreUse::Serve);
    storage = store->connect();
    repository = std::make_unique<talixdb::server::Repository>(*storage, kTimeout, [this] { return now; });
    repository->bootstrap("admin-pw");
    repository->login(admin, "root", "admin-pw");
  }

  // A user with a live session.
  talixdb::server::Caller loggedIn(const std::string& name) {
    talixdb::server::Caller caller;
    repository->createUser(admin, name, name + "-pw");
    repository->login(caller, name, name + "-pw");
    return caller;
  }

  // Bytes staged as if an upload had just received them.
  std::unique_ptr<talixdb::server::StagedContent> staged(const std::string& bytes) {
    auto content = storage->stageContent();
    content->write(bytes.data(), bytes.size());
    return content;
  }

  std::string contentOf(const std::string& path) {
    talixdb::server::Download download = repository->fetch(admin, path);
    std::string bytes;
    char buffer[4096];
    long got;
    while ((got = download.content->read(buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(got));
    return bytes;
  }

  TempDir dir;
  std::int64_t now = 1000000;
  std::unique_ptr<talixdb::server::Store> store;
  std::unique_ptr<talixdb::server::Storage> storage;
  std::unique_ptr<talixdb::server::Repository> repository;
  talixdb::server::Caller admin;
};

}  // namespace talixdb_test
