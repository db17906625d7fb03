// The service operations over the wire, on each engine: what each answers,
// and its refusals as faults (code 12) with their texts. The rules behind
// them are checked in process (storage/RepositoryTest); here the requests,
// answers and faults that carry them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

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

TEST_P(ServiceTest, UsersAndPermissions) {
  ASSERT_TRUE(Succeeds(client->createUser("alice", "alice-pw")));
  ASSERT_TRUE(Succeeds(client->createUser("bob", "bob-pw")));
  EXPECT_EQ(client->childNames("/System/Users"), (std::vector<std::string>{"root", "alice", "bob"}));
  ns2__SoapModelObject record;
  ASSERT_TRUE(Succeeds(client->find("/System/Users/alice", record)));
  EXPECT_EQ(record.typeName, "User");
  EXPECT_EQ(client->createUser("alice", "again").code, 12);
  ServiceClient alice(*server);
  ASSERT_TRUE(Succeeds(alice.login("alice", "alice-pw")));
  EXPECT_TRUE(client->isLoggedIn("alice"));
  EXPECT_EQ(alice.createUser("mallory", "pw").code, 12);  // the administrator's alone
  CallResult denied = alice.find(folder, record);
  EXPECT_EQ(denied.code, 12);
  EXPECT_NE(denied.fault.find("permission denied"), npos) << denied.fault;
  ASSERT_TRUE(Succeeds(client->permission("add", folder, "write", "alice")));
  EXPECT_TRUE(Succeeds(client->permission("has", folder, "read", "alice")));
  EXPECT_FALSE(client->permission("has", folder, "fullControl", "alice").ok());
  EXPECT_TRUE(Succeeds(alice.createFolder(folder, "by-alice")));
  ASSERT_TRUE(Succeeds(client->permission("remove", folder, "write", "alice")));
  EXPECT_FALSE(client->permission("has", folder, "read", "alice").ok());
  EXPECT_TRUE(alice.logout());
  EXPECT_FALSE(client->isLoggedIn("alice"));

  ServiceClient bob(*server);  // deleting a user ends its sessions
  ASSERT_TRUE(Succeeds(bob.login("bob", "bob-pw")));
  EXPECT_TRUE(client->remove("/System/Users/bob"));
  EXPECT_EQ(bob.sessionId(), "");
}

TEST_P(ServiceTest, ObjectsAreMadeFoundUpdatedMovedAndDeleted) {
  ns2__SoapModelObject object;
  ASSERT_TRUE(Succeeds(client->find(folder, object)));
  EXPECT_EQ(object.name, testName());
  EXPECT_EQ(object.parent, "/Repository");
  EXPECT_EQ(object.path, folder);
  EXPECT_EQ(object.typeName, "Folder");
  EXPECT_TRUE(object.folder);
  EXPECT_FALSE(object.file);
  ASSERT_NE(object.properties, nullptr);
  ASSERT_NE(object.dynProperties, nullptr);
  EXPECT_TRUE(object.properties->item.empty());
  EXPECT_NE(std::find(object.allowedActions.begin(), object.allowedActions.end(), "fullControl"),
            object.allowedActions.end());

  // Properties come back exactly as sent and in order, names outside ASCII byte for byte.
  const std::string cafe = "caf\xc3\xa9";
  const std::vector<TestProperty> sent = {{"m_szName", {"D\xc3\xbcse 1"}, 5, false},
                                          {"m_iNrPorts", {"3"}, 5, false},
                                          {"m_aszComponents", {"water", "", "ethanol"}, 0, true},
                                          {"a_first_letter_last", {"z"}, 7, false}};
  std::string path;
  ASSERT_TRUE(Succeeds(client->createFolder(folder, cafe, &path, sent)));
  EXPECT_EQ(path, folder + "/" + cafe);
  ASSERT_TRUE(Succeeds(client->find(path, object)));
  EXPECT_EQ(object.name, cafe);
  std::vector<TestProperty> back = readProperties(object.properties);
  ASSERT_EQ(back.size(), sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(back[i].key, sent[i].key);
    EXPECT_EQ(back[i].items, sent[i].items);
    EXPECT_EQ(back[i].itemType, sent[i].itemType);
    EXPECT_EQ(back[i].itemList, sent[i].itemList);
  }
  EXPECT_EQ(readProperties(object.dynProperties).at(2).items, std::vector<std::string>{"User Specified Properties"});

  // Children in creation order; a refusal is a fault that names the object.
  for (const char* name : {"zeta", "alpha", "Mid"}) ASSERT_TRUE(Succeeds(client->createFolder(path, name)));
  EXPECT_EQ(client->createFolder(path, "zeta").code, 12);
  EXPECT_EQ(client->childNames(path), (std::vector<std::string>{"zeta", "alpha", "Mid"}));
  CallResult missing = client->find(path + "/nothing", object);
  EXPECT_EQ(missing.code, 12);
  EXPECT_EQ(missing.fault, "no such object: " + path + "/nothing");
  // An update replaces the maps it sends and keeps the others.
  ns2__SoapModelObject request;
  request.path = path;
  std::string key = "new";
  ns2__SoapVariant value;
  value.itemType = 5;
  value.item = {"2"};
  ns2__SoapVariantMapItem item;
  item.key = &key;
  item.item = &value;
  ns2__SoapVariantMap values;
  values.item.push_back(&item);
  request.properties = &values;
  ns2__SoapModelObject updated;
  ASSERT_EQ(client->binding().updateModelObject(&request, updated), 0);
  ASSERT_EQ(readProperties(updated.properties).size(), 1u);
  EXPECT_EQ(readProperties(updated.properties)[0].key, "new");
  EXPECT_EQ(readProperties(updated.dynProperties).size(), sent.size());

  // A move renames; a move into itself is refused.
  ns1__MoveRequestElement move;
  move.source = path + "/zeta";
  move.destination = path + "/alpha/renamed";
  std::string answer;
  ASSERT_EQ(client->binding().move(&move, answer), 0);
  EXPECT_EQ(answer, path + "/alpha/renamed");
  move.source = path + "/alpha";
  move.destination = path + "/alpha/renamed/loop";
  EXPECT_EQ(client->binding().move(&move, answer), 12);

  ns2__SoapModelObjectArray children;
  ASSERT_EQ(client->binding().findChildrenOfPath(path, children), 0);
  ASSERT_EQ(children.item.size(), 2u);
  EXPECT_EQ(children.item[1]->path, path + "/Mid");
  ns2__SoapModelObjectArray found;
  ASSERT_EQ(client->binding().findByQuery("renamed", found), 0);
  ASSERT_EQ(found.item.size(), 1u);
  EXPECT_EQ(found.item[0]->path, path + "/alpha/renamed");
  ASSERT_EQ(client->binding().findByQuery("no object has this name", found), 0);
  EXPECT_TRUE(found.item.empty());

  EXPECT_TRUE(client->remove(path + "/alpha"));
  EXPECT_FALSE(client->exists(path + "/alpha/renamed"));
  EXPECT_FALSE(client->remove(path + "/alpha"));
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

TEST(ServiceLimits, TwentyMegabytesRoundTrip) {
  TestServer server({"--quiet"});
  ServiceClient client(server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  const std::string bytes = patternBytes(20 * 1024 * 1024 + 17);
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "large.bin", bytes)));
  client.clear();
  std::string back;
  ASSERT_TRUE(Succeeds(client.download("/Repository/large.bin", back)));
  EXPECT_TRUE(back == bytes);
}

TEST(ServiceLimits, IdleSessionEndsAfterTheTimeout) {
  TestServer server({"--session-timeout", "1"});
  ServiceClient client(server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  EXPECT_TRUE(client.isLoggedIn("root"));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_FALSE(client.isLoggedIn("root"));
  EXPECT_EQ(client.sessionId(), "");
}

}  // namespace
}  // namespace talixdb_test
