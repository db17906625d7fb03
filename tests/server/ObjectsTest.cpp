// The object tree over the wire: creation rules, properties kept exactly,
// child order, deletion, moves, queries and names outside ASCII.
#include <gtest/gtest.h>

#include "ServiceClient.h"

namespace talixdb_test {
namespace {

class ObjectsTest : public ::testing::TestWithParam<Engine> {
 protected:
  static void TearDownTestSuite() { servers.clear(); }
  void SetUp() override {
    server = &servers.get(GetParam());
    client = std::make_unique<ServiceClient>(*server);
    ASSERT_TRUE(Succeeds(client->loginAsAdmin()));
    ASSERT_TRUE(Succeeds(client->createFolder("/Repository", testName(), &folder)));
  }
  static SuiteServers servers;
  TestServer* server = nullptr;
  std::unique_ptr<ServiceClient> client;
  std::string folder;
};
SuiteServers ObjectsTest::servers;

TEST_P(ObjectsTest, FixedFoldersExistFromTheFirstStart) {
  EXPECT_TRUE(client->exists("/Repository"));
  EXPECT_TRUE(client->exists("/System"));
  EXPECT_TRUE(client->exists("/System/Users"));
  std::vector<std::string> users = client->childNames("/System/Users");
  ASSERT_FALSE(users.empty());
  EXPECT_EQ(users.front(), "root");
}

TEST_P(ObjectsTest, CreateAnswersThePathAndFindFillsEveryField) {
  EXPECT_EQ(folder, "/Repository/CreateAnswersThePathAndFindFillsEveryField");
  ns2__SoapModelObject object;
  ASSERT_TRUE(Succeeds(client->find(folder, object)));
  EXPECT_EQ(object.name, "CreateAnswersThePathAndFindFillsEveryField");
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
}

TEST_P(ObjectsTest, PropertiesComeBackExactlyAsSentAndInOrder) {
  std::vector<TestProperty> sent = {
      {"m_szName", {"pump A"}, 5, false},
      {"m_iNrPorts", {"3"}, 5, false},
      {"m_aszComponents", {"water", "", "ethanol"}, 0, true},
      {"a_first_letter_last", {"z"}, 7, false},
  };
  std::string path;
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "model", &path, sent)));
  ns2__SoapModelObject object;
  ASSERT_TRUE(Succeeds(client->find(path, object)));
  std::vector<TestProperty> back = readProperties(object.properties);
  ASSERT_EQ(back.size(), sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(back[i].key, sent[i].key);
    EXPECT_EQ(back[i].items, sent[i].items);
    EXPECT_EQ(back[i].itemType, sent[i].itemType);
    EXPECT_EQ(back[i].itemList, sent[i].itemList);
  }
  std::vector<TestProperty> declarations = readProperties(object.dynProperties);
  ASSERT_EQ(declarations.size(), sent.size());
  EXPECT_EQ(declarations[2].items, std::vector<std::string>{"User Specified Properties"});
}

TEST_P(ObjectsTest, ChildNamesComeBackInCreationOrder) {
  for (const char* name : {"zeta", "alpha", "Mid", "beta"}) ASSERT_TRUE(Succeeds(client->createFolder(folder, name)));
  EXPECT_EQ(client->childNames(folder), (std::vector<std::string>{"zeta", "alpha", "Mid", "beta"}));
}

TEST_P(ObjectsTest, DuplicateEmptyOrSlashedNamesAreRefusedAndNothingIsStored) {
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "once")));
  EXPECT_EQ(client->createFolder(folder, "once").code, 12);
  EXPECT_EQ(client->createFolder(folder, "").code, 12);
  EXPECT_EQ(client->createFolder(folder, "a/b").code, 12);
  EXPECT_EQ(client->createFolder(folder + "/missing", "child").code, 12);
  EXPECT_EQ(client->childNames(folder), std::vector<std::string>{"once"});
}

TEST_P(ObjectsTest, FolderBelowTheRootIsNamedFromAnEmptyParent) {
  std::string path;
  ASSERT_TRUE(Succeeds(client->createFolder("", "TopLevelFromEmptyParent", &path)));
  EXPECT_EQ(path, "/TopLevelFromEmptyParent");
  EXPECT_TRUE(client->remove(path));
}

TEST_P(ObjectsTest, MissingPathIsAFault) {
  ns2__SoapModelObject object;
  CallResult outcome = client->find(folder + "/nothing", object);
  EXPECT_EQ(outcome.code, 12);
  EXPECT_EQ(outcome.fault, "no such object: " + folder + "/nothing");
}

TEST_P(ObjectsTest, DeleteRemovesTheWholeSubtree) {
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "a")));
  ASSERT_TRUE(Succeeds(client->createFolder(folder + "/a", "b")));
  ASSERT_TRUE(Succeeds(client->upload(folder + "/a/b", "f", "bytes")));
  EXPECT_TRUE(client->remove(folder + "/a"));
  EXPECT_FALSE(client->exists(folder + "/a/b/f"));
  EXPECT_FALSE(client->exists(folder + "/a"));
  EXPECT_FALSE(client->remove(folder + "/a"));
}


TEST_P(ObjectsTest, NamesOutsideAsciiTravelByteForByte) {
  const std::string cafe = "caf\xc3\xa9";
  const std::string duese = "D\xc3\xbcse 1";
  std::string path;
  ASSERT_TRUE(Succeeds(client->createFolder(folder, cafe, &path, {{"m_szName", {duese}, 5, false}})));
  EXPECT_EQ(path, folder + "/" + cafe);
  ASSERT_TRUE(Succeeds(client->upload(path, duese, "x")));
  ns2__SoapModelObject object;
  ASSERT_TRUE(Succeeds(client->find(path, object)));
  EXPECT_EQ(object.name, cafe);
  EXPECT_EQ(object.childNames, std::vector<std::string>{duese});
  EXPECT_EQ(readProperties(object.properties).at(0).items.at(0), duese);
}

TEST_P(ObjectsTest, UpdateReplacesThePropertyMaps) {
  std::string path;
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "u", &path, {{"old", {"1"}, 5, false}})));
  ns2__SoapModelObject request;
  request.path = path;
  ns2__SoapVariantMap values;
  std::string key = "new";
  ns2__SoapVariant value;
  value.itemType = 5;
  value.item = {"2"};
  ns2__SoapVariantMapItem item;
  item.key = &key;
  item.item = &value;
  values.item.push_back(&item);
  request.properties = &values;
  ns2__SoapModelObject answer;
  ASSERT_EQ(client->binding().updateModelObject(&request, answer), 0);
  std::vector<TestProperty> back = readProperties(answer.properties);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].key, "new");
  EXPECT_EQ(readProperties(answer.dynProperties).size(), 1u);  // not sent: kept
}

TEST_P(ObjectsTest, MoveRenamesAndRefusesMovingIntoItself) {
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "src")));
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "dst")));
  ASSERT_TRUE(Succeeds(client->createFolder(folder + "/src", "inner")));
  ns1__MoveRequestElement request;
  request.source = folder + "/src";
  request.destination = folder + "/dst/renamed";
  std::string answer;
  ASSERT_EQ(client->binding().move(&request, answer), 0);
  EXPECT_EQ(answer, folder + "/dst/renamed");
  EXPECT_TRUE(client->exists(folder + "/dst/renamed/inner"));
  request.source = folder + "/dst";
  request.destination = folder + "/dst/renamed/inner/loop";
  EXPECT_EQ(client->binding().move(&request, answer), 12);
}

TEST_P(ObjectsTest, ChildrenAndQueryAnswerObjects) {
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "needle-one")));
  ASSERT_TRUE(Succeeds(client->createFolder(folder, "hay")));
  ns2__SoapModelObjectArray children;
  ASSERT_EQ(client->binding().findChildrenOfPath(folder, children), 0);
  ASSERT_EQ(children.item.size(), 2u);
  EXPECT_EQ(children.item[1]->path, folder + "/hay");
  ns2__SoapModelObjectArray found;
  ASSERT_EQ(client->binding().findByQuery("needle-", found), 0);
  ASSERT_EQ(found.item.size(), 1u);
  EXPECT_EQ(found.item[0]->path, folder + "/needle-one");
  ns2__SoapModelObjectArray none;
  ASSERT_EQ(client->binding().findByQuery("no object has this name", none), 0);
  EXPECT_TRUE(none.item.empty());
}


TEST_P(ObjectsTest, OperationsNeedingOutsideMachineryAreRefused) {
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

INSTANTIATE_TEST_SUITE_P(Engines, ObjectsTest, kBothEngines, EngineParamName());

}  // namespace
}  // namespace talixdb_test
