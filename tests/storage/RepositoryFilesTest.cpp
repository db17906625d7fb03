// File versions, size checks and all-or-nothing uploads.
#include "RepositoryFixture.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

using RepositoryFiles = RepositoryFixture;

TEST_P(RepositoryFiles, EachUploadAddsAVersionAndTheLatestIsFetched) {
  auto first = staged("one");
  auto second = staged("second");
  repository->store(admin, "/Repository", {{"f", "File", 3, {}, first.get()}});
  now += 10;
  repository->store(admin, "/Repository", {{"f", "File", 6, {}, second.get()}});
  EXPECT_EQ(contentOf("/Repository/f"), "second");
  EXPECT_EQ(repository->versionNames(admin, "/Repository/f"), (std::vector<std::string>{"1", "2"}));
  std::vector<StoredVersion> logs = repository->changeLogs(admin, "/Repository/f");
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[1].created, logs[0].created + 10);
  EXPECT_EQ(logs[1].creator, "root");
  EXPECT_TRUE(repository->find(admin, "/Repository/f").object.isFile);
}

TEST_P(RepositoryFiles, SizeMismatchInAnyFileStoresNoneOfThem) {
  auto good = staged("good");
  auto bad = staged("bad");
  EXPECT_THROW(repository->store(admin, "/Repository", {{"g", "File", 4, {}, good.get()}, {"b", "File", 99, {}, bad.get()}}),
               Refusal);
  EXPECT_TRUE(repository->find(admin, "/Repository").childNames.empty());
}

TEST_P(RepositoryFiles, AFolderIsNeitherOverwrittenNorDownloaded) {
  repository->create(admin, NewObject{"dir", "/Repository", "Folder", {}, {}});
  auto bytes = staged("x");
  EXPECT_THROW(repository->store(admin, "/Repository", {{"dir", "File", 1, {}, bytes.get()}}), Refusal);
  EXPECT_THROW(repository->fetch(admin, "/Repository/dir"), Refusal);
  EXPECT_THROW(repository->versionNames(admin, "/Repository/dir"), Refusal);
}

TEST_P(RepositoryFiles, FetchedContentStaysReadableAfterTheFileIsDeleted) {
  auto bytes = staged("kept while reading");
  repository->store(admin, "/Repository", {{"f", "File", 18, {}, bytes.get()}});
  Download download = repository->fetch(admin, "/Repository/f");
  EXPECT_TRUE(repository->remove(admin, "/Repository/f"));
  std::string back(64, '\0');
  long got = download.content->read(&back[0], back.size());
  EXPECT_EQ(std::string(back.data(), static_cast<std::size_t>(got)), "kept while reading");
}

TEST_P(RepositoryFiles, CheckinCommentLandsOnTheLatestVersion) {
  auto bytes = staged("x");
  repository->store(admin, "/Repository", {{"f", "File", 1, {}, bytes.get()}});
  EXPECT_TRUE(repository->checkout(admin, "/Repository/f", false));
  EXPECT_TRUE(repository->isCheckedOut(admin, "/Repository/f"));
  EXPECT_TRUE(repository->isCheckinEnabled(admin, "/Repository/f"));
  EXPECT_TRUE(repository->checkin(admin, "/Repository/f", "reviewed", false));
  EXPECT_FALSE(repository->isCheckedOut(admin, "/Repository/f"));
  EXPECT_EQ(repository->changeLogs(admin, "/Repository/f").back().comment, "reviewed");
}

TEST_P(RepositoryFiles, RecursiveCheckoutMarksEverythingBelow) {
  repository->create(admin, NewObject{"a", "/Repository", "Folder", {}, {}});
  repository->create(admin, NewObject{"b", "/Repository/a", "Folder", {}, {}});
  repository->checkout(admin, "/Repository/a", true);
  EXPECT_TRUE(repository->isCheckedOut(admin, "/Repository/a/b"));
  repository->checkin(admin, "/Repository/a", "", false);
  EXPECT_FALSE(repository->isCheckedOut(admin, "/Repository/a"));
  EXPECT_TRUE(repository->isCheckedOut(admin, "/Repository/a/b"));
}

INSTANTIATE_TEST_SUITE_P(Engines, RepositoryFiles, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
