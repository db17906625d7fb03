// The model object library: null texts, lists sized before filling and read
// out of range as "", arrays adopted and freed once (the sanitizer build
// reports leaks and double frees), surfaces with their grid texts. Copies and
// every field's round trip are shown by the API tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "talixdbapi/VLTObjects.h"

namespace {

using VLT_121::CVLTModel;
using VLT_121::CVLTParameter;
using VLT_121::CVLTPort;

struct ModelDeleter {
  void operator()(CVLTModel* model) const { CVLTModel::deleteObject(model); }
};
using ModelPtr = std::unique_ptr<CVLTModel, ModelDeleter>;

// Null texts read as ""; list writes out of range are dropped, reads give "".
// (The sorted components and the options share the list code: their round
// trips are in the API tests.)
TEST(VLTObjects, ListsAreSizedThenFilledByIndex) {
  ModelPtr model(CVLTModel::newObject());
  model->setName(nullptr);
  EXPECT_STREQ(model->getName(), "");
  model->setNrComponents(3);
  for (int i : {0, 1, 3, -1}) model->setComponent(i, ("c" + std::to_string(i)).c_str());
  EXPECT_EQ(model->getNrComponents(), 3);
  for (int i : {0, 1, 2, 3, -1}) EXPECT_STREQ(model->getComponent(i), i == 0 ? "c0" : i == 1 ? "c1" : "") << i;
  model->setNrComponents(1);  // resizing keeps the first entries; new ones are empty
  model->setNrComponents(2);
  EXPECT_EQ(std::string(model->getComponent(0)) + "|" + model->getComponent(1), "c0|");
  model->setNrComponents(-4);
  EXPECT_EQ(model->getNrComponents(), 0);
}

TEST(VLTObjects, ArraysAreAdoptedReplacedAndFreedOnce) {
  CVLTPort::deleteArray(CVLTPort::newArray(0));
  CVLTParameter::deleteArray(CVLTParameter::newArray(-1));
  CVLTPort::deleteArray(nullptr);
  ModelPtr model(CVLTModel::newObject());
  CVLTPort* ports = CVLTPort::newArray(3);
  ports[2].setName("kept");
  model->setPorts(2, CVLTPort::newArray(2));
  model->setPorts(3, ports);  // frees the first array
  model->setPorts(2, model->getPorts());  // the held array again: kept, recounted
  EXPECT_EQ(model->getNrPorts(), 2);
  EXPECT_STREQ(model->getPorts()[2].getName(), "kept");
  model->setPorts(-1, CVLTPort::newArray(1));
  EXPECT_EQ(model->getNrPorts(), 0);
  model->setParameters(1, CVLTParameter::newArray(1));
  model->setParameters(3, CVLTParameter::newArray(3));
  EXPECT_EQ(model->getNrParameters(), 3);
  CVLTModel* solvers = CVLTModel::newArray(2);
  solvers[0].setPorts(1, CVLTPort::newArray(1));
  solvers[1].setSolvers(1, CVLTModel::newArray(1));  // freed with their own arrays
  model->setSolvers(2, solvers);
  EXPECT_EQ(model->getNrSolvers(), 2);
  model->setSolvers(4, nullptr);
  EXPECT_TRUE(model->getSolvers() == nullptr && model->getNrSolvers() == 0);
}

TEST(VLTObjects, SurfacesKeepTheirNamesAndGridTexts) {
  ModelPtr model(CVLTModel::newObject());
  model->setNodePositions(0, "no surface yet");
  for (const char* name : {"inlet", static_cast<const char*>(nullptr), "outlet"}) model->addSurface(name);
  model->setNodePositions("whole nodes");
  model->setGridConnectivity("whole cells");
  model->setNodePositions(2, "outlet nodes");
  model->setGridConnectivity(0, "inlet cells");
  model->setGridConnectivity(-2, "never");
  ASSERT_EQ(model->getNrSurfaces(), 3);
  // Index -1 is the whole solver's text; out of range reads as "".
  const char* expected[][3] = {{"whole nodes", "whole cells", ""}, {"", "inlet cells", "inlet"}, {"", "", ""},
                               {"outlet nodes", "", "outlet"},     {"", "", ""}};
  for (int i = -1; i <= 3; ++i) {
    EXPECT_STREQ(i < 0 ? model->getNodePositions() : model->getNodePositions(i), expected[i + 1][0]) << i;
    EXPECT_STREQ(i < 0 ? model->getGridConnectivity() : model->getGridConnectivity(i), expected[i + 1][1]) << i;
    EXPECT_STREQ(model->getSurfaceName(i), expected[i + 1][2]) << i;
  }
  EXPECT_STREQ(model->getGridConnectivity(-2), "");
}

}  // namespace
