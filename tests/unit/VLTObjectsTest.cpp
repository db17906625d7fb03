// The model object library: texts copied in, lists sized before filling,
// arrays adopted and freed once (ASan reports leaks and double frees).
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

ModelPtr newModel() { return ModelPtr(CVLTModel::newObject()); }

// ---- texts -----------------------------------------------------------------

TEST(VLTObjectTexts, NewObjectsHaveEmptyTextsAndZeroCounts) {
  ModelPtr model = newModel();
  EXPECT_STREQ(model->getName(), "");
  EXPECT_STREQ(model->getCommand(), "");
  EXPECT_STREQ(model->getLocalDir(), "");
  EXPECT_STREQ(model->getNodePositions(), "");
  EXPECT_EQ(model->getNrPorts(), 0);
  EXPECT_EQ(model->getNrParameters(), 0);
  EXPECT_EQ(model->getNrSolvers(), 0);
  EXPECT_EQ(model->getNrComponents(), 0);
  EXPECT_EQ(model->getNrSortedModelComponents(), 0);
  EXPECT_EQ(model->getNrSurfaces(), 0);
  EXPECT_EQ(model->getPorts(), nullptr);
  EXPECT_EQ(model->getParameters(), nullptr);
  EXPECT_EQ(model->getSolvers(), nullptr);

  CVLTParameter parameter;
  EXPECT_STREQ(parameter.getRestrictedToList(), "");
  EXPECT_EQ(parameter.getNrOptions(), 0);
}

TEST(VLTObjectTexts, SettersCopyTheArgument) {
  ModelPtr model = newModel();
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
}

TEST(VLTObjectTexts, EachGetterReturnsItsOwnSetterValue) {
  ModelPtr model = newModel();
  model->setName("n");
  model->setDescription("d");
  model->setCommand("c");
  model->setLocalDir("/tmp/solver");
  EXPECT_STREQ(model->getName(), "n");
  EXPECT_STREQ(model->getDescription(), "d");
  EXPECT_STREQ(model->getCommand(), "c");
  EXPECT_STREQ(model->getLocalDir(), "/tmp/solver");

  CVLTPort port;
  port.setName("in");
  port.setDescription("inlet");
  port.setType("material");
  port.setDirection("CAPE_INLET");
  EXPECT_STREQ(port.getName(), "in");
  EXPECT_STREQ(port.getDescription(), "inlet");
  EXPECT_STREQ(port.getType(), "material");
  EXPECT_STREQ(port.getDirection(), "CAPE_INLET");

  CVLTParameter parameter;
  parameter.setName("T");
  parameter.setDescription("temperature");
  parameter.setType("CAPE_REAL");
  parameter.setMode("CAPE_INPUT");
  parameter.setDimensionality("1");
  parameter.setDefaultValue("300");
  parameter.setLowerBound("0");
  parameter.setUpperBound("1000");
  parameter.setRestrictedToList("true");
  EXPECT_STREQ(parameter.getName(), "T");
  EXPECT_STREQ(parameter.getDescription(), "temperature");
  EXPECT_STREQ(parameter.getType(), "CAPE_REAL");
  EXPECT_STREQ(parameter.getMode(), "CAPE_INPUT");
  EXPECT_STREQ(parameter.getDimensionality(), "1");
  EXPECT_STREQ(parameter.getDefaultValue(), "300");
  EXPECT_STREQ(parameter.getLowerBound(), "0");
  EXPECT_STREQ(parameter.getUpperBound(), "1000");
  EXPECT_STREQ(parameter.getRestrictedToList(), "true");
}

TEST(VLTObjectTexts, NullTextStoresEmptyText) {
  ModelPtr model = newModel();
  model->setName("before");
  model->setName(nullptr);
  EXPECT_STREQ(model->getName(), "");

  CVLTPort port;
  port.setType("before");
  port.setType(nullptr);
  EXPECT_STREQ(port.getType(), "");

  CVLTParameter parameter;
  parameter.setNrOptions(1);
  parameter.setOption(0, "before");
  parameter.setOption(0, nullptr);
  EXPECT_STREQ(parameter.getOption(0), "");
}

TEST(VLTObjectTexts, PortsAndParametersCopyAsValues) {
  CVLTParameter original;
  original.setName("x");
  original.setNrOptions(1);
  original.setOption(0, "a");
  CVLTParameter copy(original);
  original.setOption(0, "changed");
  EXPECT_STREQ(copy.getName(), "x");
  EXPECT_STREQ(copy.getOption(0), "a");

  CVLTPort port;
  port.setName("in");
  CVLTPort assigned;
  assigned = port;
  port.setName("out");
  EXPECT_STREQ(assigned.getName(), "in");
}

// ---- sized lists -------------------------------------------------------------

TEST(VLTObjectLists, SizingGivesEmptyEntriesFilledByIndex) {
  ModelPtr model = newModel();
  model->setNrComponents(3);
  ASSERT_EQ(model->getNrComponents(), 3);
  EXPECT_STREQ(model->getComponent(2), "");
  model->setComponent(0, "water");
  model->setComponent(1, "air");
  EXPECT_STREQ(model->getComponent(0), "water");
  EXPECT_STREQ(model->getComponent(1), "air");

  model->setNrSortedModelComponents(2);
  model->setSortedModelComponent(1, "water");
  EXPECT_EQ(model->getNrSortedModelComponents(), 2);
  EXPECT_STREQ(model->getSortedModelComponent(0), "");
  EXPECT_STREQ(model->getSortedModelComponent(1), "water");
}

TEST(VLTObjectLists, ResizingKeepsTheFirstEntries) {
  CVLTParameter parameter;
  parameter.setNrOptions(3);
  parameter.setOption(0, "a");
  parameter.setOption(2, "c");
  parameter.setNrOptions(1);
  EXPECT_EQ(parameter.getNrOptions(), 1);
  EXPECT_STREQ(parameter.getOption(0), "a");
  EXPECT_STREQ(parameter.getOption(2), "");
  parameter.setNrOptions(2);
  EXPECT_STREQ(parameter.getOption(1), "");
}

TEST(VLTObjectLists, NegativeSizeEmptiesTheList) {
  ModelPtr model = newModel();
  model->setNrComponents(2);
  model->setNrComponents(-4);
  EXPECT_EQ(model->getNrComponents(), 0);
}

TEST(VLTObjectLists, IndexesOutsideTheListReadEmptyAndAreNotWritten) {
  ModelPtr model = newModel();
  model->setNrComponents(1);
  model->setComponent(1, "past the end");
  model->setComponent(-1, "before the start");
  EXPECT_EQ(model->getNrComponents(), 1);
  EXPECT_STREQ(model->getComponent(0), "");
  EXPECT_STREQ(model->getComponent(1), "");
  EXPECT_STREQ(model->getComponent(-1), "");
  EXPECT_STREQ(model->getSortedModelComponent(0), "");

  CVLTParameter parameter;
  parameter.setOption(0, "no list yet");
  EXPECT_EQ(parameter.getNrOptions(), 0);
  EXPECT_STREQ(parameter.getOption(0), "");
}

// ---- arrays ------------------------------------------------------------------

TEST(VLTObjectArrays, NewArrayHoldsEmptyObjects) {
  CVLTPort* ports = CVLTPort::newArray(3);
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(ports[i].getName(), "");
  CVLTPort::deleteArray(ports);

  CVLTModel* models = CVLTModel::newArray(2);
  EXPECT_EQ(models[1].getNrPorts(), 0);
  CVLTModel::deleteArray(models);
}

TEST(VLTObjectArrays, NewArrayOfZeroOrLessIsValid) {
  CVLTPort* none = CVLTPort::newArray(0);
  EXPECT_NE(none, nullptr);
  CVLTPort::deleteArray(none);
  CVLTParameter::deleteArray(CVLTParameter::newArray(-1));
  CVLTModel::deleteArray(CVLTModel::newArray(0));
  CVLTPort::deleteArray(nullptr);

  ModelPtr model = newModel();
  model->setPorts(0, CVLTPort::newArray(0));
  EXPECT_EQ(model->getNrPorts(), 0);
  EXPECT_NE(model->getPorts(), nullptr);
}

TEST(VLTObjectArrays, ModelAdoptsPortsAndParameters) {
  ModelPtr model = newModel();
  CVLTPort* ports = CVLTPort::newArray(2);
  ports[1].setName("outlet");
  model->setPorts(2, ports);
  CVLTParameter* parameters = CVLTParameter::newArray(1);
  parameters[0].setName("T");
  model->setParameters(1, parameters);

  EXPECT_EQ(model->getNrPorts(), 2);
  EXPECT_EQ(model->getPorts(), ports);
  EXPECT_STREQ(model->getPorts()[1].getName(), "outlet");
  EXPECT_EQ(model->getNrParameters(), 1);
  EXPECT_STREQ(model->getParameters()[0].getName(), "T");
}

TEST(VLTObjectArrays, ReplacingAnArrayFreesTheOldOne) {
  ModelPtr model = newModel();
  model->setPorts(2, CVLTPort::newArray(2));
  CVLTPort* second = CVLTPort::newArray(5);
  model->setPorts(5, second);
  EXPECT_EQ(model->getPorts(), second);
  EXPECT_EQ(model->getNrPorts(), 5);
  model->setParameters(1, CVLTParameter::newArray(1));
  model->setParameters(3, CVLTParameter::newArray(3));
  EXPECT_EQ(model->getNrParameters(), 3);
}

TEST(VLTObjectArrays, SettingTheHeldArrayAgainKeepsItAndUpdatesTheCount) {
  ModelPtr model = newModel();
  CVLTPort* ports = CVLTPort::newArray(3);
  ports[2].setName("kept");
  model->setPorts(3, ports);
  model->setPorts(2, model->getPorts());
  EXPECT_EQ(model->getNrPorts(), 2);
  EXPECT_STREQ(model->getPorts()[2].getName(), "kept");
}

TEST(VLTObjectArrays, NullArrayFreesTheHeldOneAndCountsZero) {
  ModelPtr model = newModel();
  model->setSolvers(2, CVLTModel::newArray(2));
  model->setSolvers(4, nullptr);
  EXPECT_EQ(model->getSolvers(), nullptr);
  EXPECT_EQ(model->getNrSolvers(), 0);
  model->setPorts(-1, CVLTPort::newArray(1));
  EXPECT_EQ(model->getNrPorts(), 0);
}

TEST(VLTObjectArrays, SolversAreFreedWithTheirOwnArrays) {
  ModelPtr model = newModel();
  CVLTModel* solvers = CVLTModel::newArray(2);
  solvers[0].setName("cfd");
  solvers[0].setPorts(1, CVLTPort::newArray(1));
  solvers[0].setParameters(2, CVLTParameter::newArray(2));
  solvers[1].setSolvers(1, CVLTModel::newArray(1));
  model->setSolvers(2, solvers);
  EXPECT_EQ(model->getNrSolvers(), 2);
  EXPECT_STREQ(model->getSolvers()[0].getName(), "cfd");
  EXPECT_EQ(model->getSolvers()[0].getNrParameters(), 2);
}

// ---- surfaces and grids --------------------------------------------------------

TEST(VLTObjectSurfaces, AddSurfaceAppendsNamesInOrder) {
  ModelPtr model = newModel();
  model->addSurface("inlet");
  model->addSurface(nullptr);
  model->addSurface("outlet");
  ASSERT_EQ(model->getNrSurfaces(), 3);
  EXPECT_STREQ(model->getSurfaceName(0), "inlet");
  EXPECT_STREQ(model->getSurfaceName(1), "");
  EXPECT_STREQ(model->getSurfaceName(2), "outlet");
  EXPECT_STREQ(model->getSurfaceName(3), "");
  EXPECT_STREQ(model->getSurfaceName(-1), "");
}

TEST(VLTObjectSurfaces, GridTextsAreKeptPerSurfaceAndForTheWholeSolver) {
  ModelPtr model = newModel();
  model->addSurface("inlet");
  model->addSurface("outlet");
  model->setNodePositions("whole nodes");
  model->setGridConnectivity("whole cells");
  model->setNodePositions(1, "outlet nodes");
  model->setGridConnectivity(0, "inlet cells");

  EXPECT_STREQ(model->getNodePositions(), "whole nodes");
  EXPECT_STREQ(model->getGridConnectivity(), "whole cells");
  EXPECT_STREQ(model->getNodePositions(0), "");
  EXPECT_STREQ(model->getNodePositions(1), "outlet nodes");
  EXPECT_STREQ(model->getGridConnectivity(0), "inlet cells");
  EXPECT_STREQ(model->getGridConnectivity(1), "");
}

TEST(VLTObjectSurfaces, GridTextsOfMissingSurfacesAreIgnored) {
  ModelPtr model = newModel();
  model->setNodePositions(0, "no surface yet");
  model->setGridConnectivity(-2, "never");
  EXPECT_EQ(model->getNrSurfaces(), 0);
  EXPECT_STREQ(model->getNodePositions(0), "");
  EXPECT_STREQ(model->getGridConnectivity(-2), "");
  EXPECT_STREQ(model->getNodePositions(), "");

  model->addSurface("later");
  EXPECT_STREQ(model->getNodePositions(0), "");
}

}  // namespace
