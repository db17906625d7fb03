// The service operations over the wire, on each engine: what each answers,
// and its refusals as faults (code 12) with their texts. The rules behind
// them are checked in process (storage/RepositoryTest); here the requests,
// answers and faults that carry them.
#include <gtest/gtest.h>


#include "ServiceClient.h"

namespace talixdb_test {
namespace {

constexpr auto npos = std::string::npos;

std::string patternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
  return bytes;
}

class ServiceTest : public ::testing::TestWithParam<Engine> {
 protected:
  static void TearDownTestSuite() { servers.clear(); }
  void SetUp() override {
    server = &servers.get(GetParam(), {"--max-upload", "4194304"});
    client = std::make_unique<ServiceClient>(*server);
    ASSERT_TRUE(Succeeds(client->loginAsAdmin()));
    ASSERT_TRUE(Succeeds(client->createFolder("/Repository", testName(), &folder)));
    ASSERT_EQ(folder, "/Repository/" + testName());
  }
  static SuiteServers servers;
  TestServer* server = nullptr;
  std::unique_ptr<ServiceClient> client;
  std::string folder;
};
SuiteServers ServiceTest::servers;

TEST_P(ServiceTest, SessionsRunFromLoginToLogoutOrInvalidation) {
  ServiceClient anonymous(*server);
  ns2__SoapModelObject object;
  EXPECT_EQ(anonymous.find("/Repository", object).fault, "not logged in");
  EXPECT_EQ(anonymous.sessionId(), "");
  EXPECT_TRUE(anonymous.logout());  // true even without a session
  CallResult wrong = anonymous.login("root", "not-the-password");
  EXPECT_EQ(wrong.code, 12);
  EXPECT_NE(wrong.fault.find("wrong user name or password"), npos) << wrong.fault;
  EXPECT_EQ(anonymous.login("username", "password").code, 12);  // the library's reachability probe

  const std::string first = client->sessionId();
  EXPECT_EQ(first.size(), 32u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), npos) << first;
  ASSERT_TRUE(Succeeds(client->loginAsAdmin()));  // a second login ends the first session
  std::string owner = "?";
  ASSERT_EQ(client->binding().authenticate(first, owner), 0);
  EXPECT_EQ(owner, "");
  ASSERT_EQ(client->binding().authenticate(client->sessionId(), owner), 0);
  EXPECT_EQ(owner, "root");

  ServiceClient other(*server);
  ASSERT_TRUE(Succeeds(other.loginAsAdmin()));
  bool ended = false;
  ASSERT_EQ(client->binding().invalidate(other.sessionId(), ended), 0);
  EXPECT_TRUE(ended);
  EXPECT_EQ(other.sessionId(), "");
  ASSERT_EQ(client->binding().invalidate("no-such-session", ended), 0);
  EXPECT_FALSE(ended);
}

TEST_P(ServiceTest, FixedFoldersAndOperationsNeedingOutsideMachinery) {
  EXPECT_EQ(client->childNames("/System/Users").at(0), "root");
  std::string text;
  ASSERT_EQ(client->binding().getProcessTranscript("1", text), 12);
  EXPECT_STREQ(soap_fault_string(client->soap()), "not supported by this server");
  ns2__SoapModelArray specs;
  EXPECT_EQ(client->binding().getModelSpecs("x", specs), 12);
  LONG64 size = 0;
  EXPECT_EQ(client->binding().exportObjectToFTP(folder, size), 12);
  ns1__GetWorkspacesResponseElement workspaces;
  ASSERT_EQ(client->binding().getWorkspaces(workspaces), 0);
  EXPECT_EQ(workspaces.workspaces, std::vector<std::string>{"Default"});
}

TEST_P(ServiceTest, FilesTravelAsDimeAttachmentsInVersionsWithinTheLimits) {
  const std::string bytes = patternBytes(300000);
  ASSERT_TRUE(Succeeds(client->upload(folder, "data.bin", bytes)));  // answers the stored path
  std::string back;
  ASSERT_TRUE(Succeeds(client->download(folder + "/data.bin", back)));
  EXPECT_TRUE(back == bytes) << back.size();
  ns2__SoapModelObject object;
  ASSERT_TRUE(Succeeds(client->find(folder + "/data.bin", object)));
  EXPECT_TRUE(object.file);
  EXPECT_FALSE(object.folder);
  EXPECT_EQ(object.typeName, "File");
  ASSERT_TRUE(Succeeds(client->upload(folder, "empty", "")));
  ASSERT_TRUE(Succeeds(client->download(folder + "/empty", back)));
  EXPECT_EQ(back, "");

  ASSERT_TRUE(Succeeds(client->upload(folder, "v.txt", "first")));
  ASSERT_TRUE(Succeeds(client->upload(folder, "v.txt", "second")));
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

  struct Refusal {
    CallResult outcome;
    const char* fault;    // part of the fault text, "" for any
    std::string absent;   // stays absent
  };
  const Refusal refusals[] = {
      {client->upload(folder, "wrong.bin", "12345", 4), "size mismatch", folder + "/wrong.bin"},
      {client->upload(folder, "big.bin", patternBytes(5 << 20)), "too large", folder + "/big.bin"},
      {client->download(folder, back), "", ""},
      {client->download(folder + "/missing", back), "", ""},
      {client->upload(folder + "/empty", "inner", "y"), "", folder + "/empty/inner"},
      {client->upload(folder + "/nowhere", "inner", "y"), "", folder + "/nowhere"},
      {client->createFolder(folder + "/empty", "sub"), "", folder + "/empty/sub"},
  };
  for (const Refusal& r : refusals) {
    EXPECT_EQ(r.outcome.code, 12) << r.absent;
    EXPECT_NE(r.outcome.fault.find(r.fault), npos) << r.outcome.fault;
    EXPECT_TRUE(r.absent.empty() || !client->exists(r.absent)) << r.absent;
  }
  EXPECT_TRUE(Succeeds(client->upload(folder, "small.bin", "fits")));
}

INSTANTIATE_TEST_SUITE_P(Engines, ServiceTest, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
