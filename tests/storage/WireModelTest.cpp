// Conversion between the message types and the repository's records.
#include <gtest/gtest.h>

#include "Namespaces.h"
#include "WireModel.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

class WireModel : public ::testing::Test {
 protected:
  void SetUp() override {
    soap = soap_new1(SOAP_C_UTFSTRING);
    soap_set_namespaces(soap, talixdb::serviceNamespaces());
  }
  void TearDown() override {
    soap_destroy(soap);
    soap_end(soap);
    soap_free(soap);
  }
  struct soap* soap = nullptr;
};

TEST_F(WireModel, PropertiesSurviveTheRoundTripIncludingMissingParts) {
  PropertyList list = {{std::string("k"), Variant{5, false, {"v"}}},
                       {std::nullopt, Variant{0, true, {"a", "b"}}},
                       {std::string("novalue"), std::nullopt}};
  PropertyList back = readProperties(writeProperties(soap, list));
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].key, list[0].key);
  EXPECT_EQ(back[0].value->items, list[0].value->items);
  EXPECT_FALSE(back[1].key.has_value());
  EXPECT_EQ(back[1].value->itemType, 0);
  EXPECT_TRUE(back[1].value->itemList);
  EXPECT_FALSE(back[2].value.has_value());
}

TEST_F(WireModel, NullMapReadsAsNoProperties) { EXPECT_TRUE(readProperties(static_cast<ns2__SoapVariantMap*>(nullptr)).empty()); }

TEST_F(WireModel, ObjectFillsEveryFieldAndPresentEmptyMaps) {
  ObjectView view;
  view.object.id = 42;
  view.object.name = "f";
  view.object.typeName = "File";
  view.object.isFile = true;
  view.path = "/Repository/f";
  view.parentPath = "/Repository";
  view.allowedActions = {"read"};
  ns2__SoapModelObject out;
  writeObject(soap, view, out);
  EXPECT_EQ(out.name, "f");
  EXPECT_EQ(out.parent, "/Repository");
  EXPECT_EQ(out.path, "/Repository/f");
  EXPECT_TRUE(out.file);
  EXPECT_FALSE(out.folder);
  ASSERT_NE(out.properties, nullptr);
  ASSERT_NE(out.dynProperties, nullptr);
  ASSERT_NE(out.children, nullptr);
  EXPECT_TRUE(out.properties->item.empty());
  EXPECT_EQ(out.allowedActions, std::vector<std::string>{"read"});
}

}  // namespace
}  // namespace talixdb_test
