// The model object library: texts copied in, lists sized before filling,
// arrays adopted and freed once (the sanitizer build reports leaks and double
// frees), surfaces with their grid texts.
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

TEST(VLTObjects, TextsAreCopiesAndNullIsEmpty) {
  ModelPtr model(CVLTModel::newObject());
  EXPECT_STREQ(model->getName(), "");
  EXPECT_EQ(model->getPorts(), nullptr);
  CVLTPort port;
  CVLTParameter parameter;
  {
    std::string text = "Pump";
    model->setName(text.c_str());
    port.setDirection(text.c_str());
    parameter.setUpperBound(text.c_str());
    text.assign("overwritten and longer than before");
  }
  EXPECT_STREQ(model->getName(), "Pump");
  EXPECT_STREQ(port.getDirection(), "Pump");
  EXPECT_STREQ(parameter.getUpperBound(), "Pump");
  model->setName(nullptr);
  port.setType(nullptr);
  parameter.setNrOptions(1);
  parameter.setOption(0, "before");
  parameter.setOption(0, nullptr);
  EXPECT_STREQ(model->getName(), "");
  EXPECT_STREQ(port.getType(), "");
  EXPECT_STREQ(parameter.getOption(0), "");
  // Ports and parameters copy as values.
  parameter.setOption(0, "a");
  CVLTParameter copy(parameter);
  parameter.setOption(0, "changed");
  EXPECT_STREQ(copy.getOption(0), "a");
  CVLTPort assigned;
  assigned = port;
  port.setDirection("out");
  EXPECT_STREQ(assigned.getDirection(), "Pump");
}

TEST(VLTObjects, ListsAreSizedThenFilledByIndex) {
  ModelPtr model(CVLTModel::newObject());
  model->setNrComponents(3);
  model->setComponent(0, "water");
  model->setComponent(3, "past the end");
  model->setComponent(-1, "before the start");
  EXPECT_EQ(model->getNrComponents(), 3);
  EXPECT_STREQ(model->getComponent(0), "water");
  EXPECT_STREQ(model->getComponent(2), "");
  EXPECT_STREQ(model->getComponent(3), "");
  EXPECT_STREQ(model->getComponent(-1), "");
  model->setNrComponents(-4);
  EXPECT_EQ(model->getNrComponents(), 0);
  model->setNrSortedModelComponents(2);
  model->setSortedModelComponent(1, "air");
  EXPECT_STREQ(model->getSortedModelComponent(1), "air");
  EXPECT_STREQ(model->getSortedModelComponent(2), "");

  CVLTParameter parameter;
  parameter.setOption(0, "no list yet");
  EXPECT_EQ(parameter.getNrOptions(), 0);
  parameter.setNrOptions(3);
  parameter.setOption(0, "a");
  parameter.setOption(2, "c");
  parameter.setNrOptions(1);  // resizing keeps the first entries
  EXPECT_EQ(parameter.getNrOptions(), 1);
  EXPECT_STREQ(parameter.getOption(0), "a");
  parameter.setNrOptions(2);
  EXPECT_STREQ(parameter.getOption(1), "");
}

TEST(VLTObjects, ArraysAreAdoptedReplacedAndFreedOnce) {
  CVLTPort::deleteArray(CVLTPort::newArray(0));
  CVLTParameter::deleteArray(CVLTParameter::newArray(-1));
  CVLTPort::deleteArray(nullptr);
  ModelPtr model(CVLTModel::newObject());
  CVLTPort* ports = CVLTPort::newArray(3);
  EXPECT_STREQ(ports[2].getName(), "");
  ports[2].setName("kept");
  model->setPorts(2, CVLTPort::newArray(2));
  model->setPorts(3, ports);  // frees the first array
  EXPECT_EQ(model->getPorts(), ports);
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
  EXPECT_EQ(model->getSolvers(), nullptr);
  EXPECT_EQ(model->getNrSolvers(), 0);
}

TEST(VLTObjects, SurfacesKeepTheirNamesAndGridTexts) {
  ModelPtr model(CVLTModel::newObject());
  model->setNodePositions(0, "no surface yet");
  model->addSurface("inlet");
  model->addSurface(nullptr);
  model->addSurface("outlet");
  model->setNodePositions("whole nodes");
  model->setGridConnectivity("whole cells");
  model->setNodePositions(2, "outlet nodes");
  model->setGridConnectivity(0, "inlet cells");
  model->setGridConnectivity(-2, "never");
  ASSERT_EQ(model->getNrSurfaces(), 3);
  EXPECT_STREQ(model->getSurfaceName(0), "inlet");
  EXPECT_STREQ(model->getSurfaceName(1), "");
  EXPECT_STREQ(model->getSurfaceName(2), "outlet");
  EXPECT_STREQ(model->getSurfaceName(3), "");
  EXPECT_STREQ(model->getNodePositions(), "whole nodes");
  EXPECT_STREQ(model->getGridConnectivity(), "whole cells");
  EXPECT_STREQ(model->getNodePositions(0), "");
  EXPECT_STREQ(model->getNodePositions(2), "outlet nodes");
  EXPECT_STREQ(model->getGridConnectivity(0), "inlet cells");
  EXPECT_STREQ(model->getGridConnectivity(2), "");
  EXPECT_STREQ(model->getGridConnectivity(-2), "");
}

}  // namespace
