// File contents over the wire: DIME uploads and downloads, versions, limits.
#include <gtest/gtest.h>

#include "ServiceClient.h"

namespace talixdb_test {
namespace {

std::string patternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
  return bytes;
}

class FilesTest : public ::testing::TestWithParam<Engine> {
 protected:
  static void TearDownTestSuite() { servers.clear(); }
  void SetUp() override {
    server = &servers.get(GetParam(), {"--max-upload", "4194304"});
    client = std::make_unique<ServiceClient>(*server);
    ASSERT_TRUE(Succeeds(client->loginAsAdmin()));
    folder = "/Repository/" + testName();
    ASSERT_TRUE(Succeeds(client->createFolder("/Repository", testName())));
  }
  static SuiteServers servers;
  TestServer* server = nullptr;
  std::unique_ptr<ServiceClient> client;
  std::string folder;
};
SuiteServers FilesTest::servers;

TEST_P(FilesTest, BinaryContentRoundTripsByteForByte) {
  std::string bytes = patternBytes(300000);
  ASSERT_TRUE(Succeeds(client->upload(folder, "data.bin", bytes)));
  std::string back;
  ASSERT_TRUE(Succeeds(client->download(folder + "/data.bin", back)));
  EXPECT_EQ(back.size(), bytes.size());
  EXPECT_TRUE(back == bytes);
}

TEST_P(FilesTest, UploadAnswersTheStoredPathAndMakesAFileObject) {
  ns2__UploadFile file;
  file.name = "a.txt";
  file.size = 3;
  file.typeName = "File";
  ns2__UploadFilesRequestStruct request;
  request.parent = folder;
  request.uploadFiles.push_back(&file);
  ns2__UploadFilesResponseStruct response;
  soap_set_dime(client->soap());
  soap_set_dime_attachment(client->soap(), "abc", 3, "application/octet-stream", "a.txt", 0, nullptr);
  ASSERT_EQ(client->binding().uploadFiles(&request, response), 0);
  soap_clr_dime(client->soap());
  ASSERT_EQ(response.item.size(), 1u);
  EXPECT_EQ(response.item[0], folder + "/a.txt");
  ns2__SoapModelObject object;
  ASSERT_TRUE(Succeeds(client->find(folder + "/a.txt", object)));
  EXPECT_TRUE(object.file);
  EXPECT_FALSE(object.folder);
  EXPECT_EQ(object.typeName, "File");
}

TEST_P(FilesTest, EmptyFileRoundTrips) {
  ASSERT_TRUE(Succeeds(client->upload(folder, "empty", "")));
  std::string back = "not empty";
  ASSERT_TRUE(Succeeds(client->download(folder + "/empty", back)));
  EXPECT_EQ(back, "");
}

TEST_P(FilesTest, SecondUploadBecomesANewVersion) {
  ASSERT_TRUE(Succeeds(client->upload(folder, "v.txt", "first")));
  ASSERT_TRUE(Succeeds(client->upload(folder, "v.txt", "second")));
  std::string back;
  ASSERT_TRUE(Succeeds(client->download(folder + "/v.txt", back)));
  EXPECT_EQ(back, "second");
  ns1__GetVersionNamesResponseElement names;
  ASSERT_EQ(client->binding().getVersionNames(folder + "/v.txt", names), 0);
  EXPECT_EQ(names.names, (std::vector<std::string>{"1", "2"}));
  ns2__ChangeLogs logs;
  ASSERT_EQ(client->binding().getChangeLogs(folder + "/v.txt", logs), 0);
  ASSERT_EQ(logs.entry.size(), 2u);
  EXPECT_EQ(logs.entry[1]->version, "2");
  EXPECT_EQ(logs.entry[1]->creator, "root");
}

TEST_P(FilesTest, DeclaredSizeDifferentFromTheAttachmentStoresNothing) {
  CallResult outcome = client->upload(folder, "wrong.bin", "12345", 4);
  EXPECT_EQ(outcome.code, 12);
  EXPECT_NE(outcome.fault.find("size mismatch"), std::string::npos) << outcome.fault;
  EXPECT_FALSE(client->exists(folder + "/wrong.bin"));
}

TEST_P(FilesTest, FileLargerThanTheUploadLimitIsRefusedAndNothingStored) {
  CallResult outcome = client->upload(folder, "big.bin", patternBytes(5 * 1024 * 1024));
  EXPECT_EQ(outcome.code, 12);
  EXPECT_NE(outcome.fault.find("too large"), std::string::npos) << outcome.fault;
  EXPECT_FALSE(client->exists(folder + "/big.bin"));
  EXPECT_TRUE(Succeeds(client->upload(folder, "small.bin", "fits")));
}

TEST_P(FilesTest, DownloadOfAFolderOrAMissingPathIsAFault) {
  std::string back;
  EXPECT_EQ(client->download(folder, back).code, 12);
  EXPECT_EQ(client->download(folder + "/missing", back).code, 12);
}

TEST_P(FilesTest, UploadIntoAFileOrAMissingFolderIsRefused) {
  ASSERT_TRUE(Succeeds(client->upload(folder, "plain", "x")));
  EXPECT_EQ(client->upload(folder + "/plain", "inner", "y").code, 12);
  EXPECT_EQ(client->upload(folder + "/nowhere", "inner", "y").code, 12);
  EXPECT_EQ(client->createFolder(folder + "/plain", "sub").code, 12);
}


TEST(LargeFiles, TwentyMegabytesRoundTrip) {
  TestServer server({"--quiet"});
  ServiceClient client(server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  std::string bytes = patternBytes(20 * 1024 * 1024 + 17);
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "large.bin", bytes)));
  client.clear();
  std::string back;
  ASSERT_TRUE(Succeeds(client.download("/Repository/large.bin", back)));
  EXPECT_TRUE(back == bytes);
}

INSTANTIATE_TEST_SUITE_P(Engines, FilesTest, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
