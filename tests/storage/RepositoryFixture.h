// A repository over a real SQLite store in a temporary directory, with a
// clock the test moves by hand and the administrator logged in.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Repository.h"
#include "SqliteStorage.h"
#include "support/TestServer.h"

namespace talixdb_test {

class RepositoryFixture : public ::testing::Test {
 protected:
  static constexpr std::int64_t kTimeout = 60;

  void SetUp() override {
    storage = std::make_unique<talixdb::server::SqliteStorage>(dir.path());
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
  std::unique_ptr<talixdb::server::SqliteStorage> storage;
  std::unique_ptr<talixdb::server::Repository> repository;
  talixdb::server::Caller admin;
};

}  // namespace talixdb_test
