// The upper levels of the catalogue (root, categories, types, deleting by
// path) and models with their solvers stored and read back through the
// public handle against the real server.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "api/CatalogueTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;
using VLT_121::CVLTModel;

namespace {

// ---- a store without the database root, one server per test -----------------

class EmptyStore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_db.open(m_server.address().c_str())); }
  TestServer m_server;
  CVLTDatabase m_db;
};

TEST_F(EmptyStore, CreateTalixDbMakesTheRootOnceAndStaysLoggedIn) {
  ScopedEnv password("VLT_ADMIN_PASSWORD", kAdminPassword);
  ASSERT_FALSE(m_db.isLoggedIn());
  EXPECT_EQ(0, m_db.createTalixDb());
  EXPECT_TRUE(m_db.isLoggedIn());
  EXPECT_TRUE(m_db.isTalixDatabaseInstantiated());
  // The second call finds the root there and keeps the administrator session.
  EXPECT_EQ(1, m_db.createTalixDb());
  EXPECT_TRUE(m_db.isLoggedIn());
  EXPECT_EQ(0, m_db.addCategory("first"));
  EXPECT_TRUE(m_db.checkCategory("first"));
}

TEST_F(EmptyStore, CreateTalixDbWithAWrongPasswordFailsAndStaysLoggedOut) {
  {
    ScopedEnv password("VLT_ADMIN_PASSWORD", "not-the-password");
    EXPECT_EQ(1, m_db.createTalixDb());
    EXPECT_FALSE(m_db.isLoggedIn());
  }
  CVLTDatabase admin;
  ASSERT_TRUE(admin.open(m_server.address().c_str()));
  ASSERT_TRUE(admin.login("root", kAdminPassword, "Default", 0));
  EXPECT_FALSE(admin.isTalixDatabaseInstantiated());
  admin.logout();
}

TEST_F(EmptyStore, NothingCanBeAddedBelowAMissingRoot) {
  ASSERT_TRUE(m_db.login("root", kAdminPassword, "Default", 0));
  EXPECT_FALSE(m_db.isTalixDatabaseInstantiated());
  EXPECT_FALSE(m_db.checkCategory("c"));
  EXPECT_EQ(2, m_db.addCategory("c"));
  EXPECT_EQ(3, m_db.addType("t", "c"));
  ModelPtr model = ModelBuilder("m").build();
  EXPECT_EQ(2, m_db.uploadModel("c", "t", model.get()));
  EXPECT_FALSE(m_db.checkCategory("c"));
  m_db.logout();
}

// ---- categories, types and deletion --------------------------------------------

class Catalogue : public CatalogueServerTest {};

TEST_F(Catalogue, AddedCategoryIsFound) {
  const std::string category = testCategory();
  EXPECT_FALSE(m_db.checkCategory(category.c_str()));
  EXPECT_EQ(0, m_db.addCategory(category.c_str()));
  EXPECT_TRUE(m_db.checkCategory(category.c_str()));
}

TEST_F(Catalogue, CheckTypeTakesTheTypeBeforeTheCategory) {
  const std::string category = testCategory();
  ASSERT_EQ(0, m_db.addCategory(category.c_str()));
  EXPECT_FALSE(m_db.checkType("Pumps", category.c_str()));
  EXPECT_EQ(0, m_db.addType("Pumps", category.c_str()));
  EXPECT_TRUE(m_db.checkType("Pumps", category.c_str()));
  EXPECT_FALSE(m_db.checkType(category.c_str(), "Pumps"));
}

TEST_F(Catalogue, AddTypeInAMissingCategoryReturns3) {
  EXPECT_EQ(3, m_db.addType("Pumps", testCategory().c_str()));
  EXPECT_FALSE(m_db.checkCategory(testCategory().c_str()));
}

TEST_F(Catalogue, DeleteItemRemovesTheFolderAndLogsWithTwoBlanks) {
  AttachedLogger logger(m_db);
  const std::string category = testCategory();
  ASSERT_EQ(0, m_db.addCategory(category.c_str()));
  ASSERT_EQ(0, m_db.addType("Pumps", category.c_str()));
  const std::string path = std::string(kDatabaseRoot) + "/" + category;
  EXPECT_TRUE(m_db.deleteItem(path.c_str()));
  EXPECT_FALSE(m_db.checkCategory(category.c_str()));
  EXPECT_FALSE(m_db.checkType("Pumps", category.c_str()));
  ASSERT_EQ(1u, logger.messages.size());
  EXPECT_EQ(0, logger.messages[0].first);
  EXPECT_EQ(path + " has  been deleted.", logger.texts()[0]);
}

TEST_F(Catalogue, DeleteItemOfAMissingPathReportsItWasNotDeleted) {
  AttachedLogger logger(m_db);
  const std::string path = std::string(kDatabaseRoot) + "/" + testCategory();
  EXPECT_FALSE(m_db.deleteItem(path.c_str()));
  ASSERT_EQ(1u, logger.messages.size());
  EXPECT_EQ(0, logger.messages[0].first);
  EXPECT_EQ(path + " has not been deleted.", logger.texts()[0]);
}

TEST_F(Catalogue, DeleteItemWithoutALoggerDeletesNothing) {
  const std::string category = testCategory();
  ASSERT_EQ(0, m_db.addCategory(category.c_str()));
  EXPECT_FALSE(m_db.deleteItem((std::string(kDatabaseRoot) + "/" + category).c_str()));
  EXPECT_TRUE(m_db.checkCategory(category.c_str()));
}

// ---- models ------------------------------------------------------------------------

const std::vector<Port> kColumnPorts = {
    {"feed", "Material", "CAPE_INLET", "liquid feed"},
    {"product", "Material", "CAPE_OUTLET", "top product"},
    {"duty", "Energy", "CAPE_INLET", ""},
};

// One parameter of every kind the catalogue treats apart.
std::vector<Param> columnParameters() {
  return {
      Param("method", "CAPE_OPTION")
          .withOptions({"NRTL", "UNIQUAC", "Wilson"})
          .withText("property method", "input", "", "NRTL"),
      Param("tags", "CAPE_OPTION").withText("free tags", "input", "", ""),
      Param("temperature", "CAPE_REAL")
          .withBounds("273.15", "473.15")
          .withText("top temperature", "input", "1", "298.15"),
      Param("pressure", "CAPE_REAL").withText("top pressure", "output", "1", "101325"),
      Param("stages", "CAPE_INT").withBounds("1", "60").withText("number of stages", "input", "0", "12"),
      Param("trays", "CAPE_INT").withText("trays in use", "input", "0", ""),
      Param("label", "CAPE_STRING").withText("a label", "input", "", "column 1"),
  };
}

ModelPtr columnModel(const std::string& name) {
  return ModelBuilder(name)
      .description("distillation column with reboiler")
      .components({"H2O", "CH3OH", "C2H5OH"})
      .ports(kColumnPorts)
      .parameters(columnParameters())
      .build();
}

TEST_F(Catalogue, UploadedModelComesBackFieldByField) {
  const std::string category = testCategory();
  ModelPtr model = columnModel("Column");
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "Separators", model.get()));
  // The category and the type were made on the way.
  EXPECT_TRUE(m_db.checkCategory(category.c_str()));
  EXPECT_TRUE(m_db.checkType("Separators", category.c_str()));

  ModelPtr back(m_db.downloadModel(category.c_str(), "Separators", "Column"));
  ASSERT_NE(nullptr, back);
  EXPECT_STREQ("Column", back->getName());
  EXPECT_STREQ("distillation column with reboiler", back->getDescription());
  EXPECT_EQ(componentsOf(*model), componentsOf(*back));
  EXPECT_EQ(0, back->getNrSolvers());
  ASSERT_EQ(3, back->getNrPorts());
  for (int i = 0; i < 3; ++i) expectPort(back->getPorts()[i], kColumnPorts[static_cast<size_t>(i)]);
  const std::vector<Param> expected = columnParameters();
  ASSERT_EQ(static_cast<int>(expected.size()), back->getNrParameters());
  for (size_t i = 0; i < expected.size(); ++i) expectParameter(back->getParameters()[i], expected[i]);
}

TEST_F(Catalogue, OptionsAndBoundsComeBackOnlyForTheirTypes) {
  const std::string category = testCategory();
  ModelPtr model = ModelBuilder("Odd")
                       .parameters({
                           Param("label", "CAPE_STRING").withBounds("0", "1").withOptions({"a", "b"}),
                           Param("count", "CAPE_INT").withBounds("2", "9").withOptions({"x"}),
                           Param("choice", "CAPE_OPTION").withBounds("0", "1").withOptions({"p", "q"}),
                       })
                       .build();
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "T", model.get()));
  ModelPtr back(m_db.downloadModel(category.c_str(), "T", "Odd"));
  ASSERT_NE(nullptr, back);
  ASSERT_EQ(3, back->getNrParameters());
  const VLT_121::CVLTParameter* p = back->getParameters();
  EXPECT_STREQ("", p[0].getLowerBound());
  EXPECT_STREQ("", p[0].getUpperBound());
  EXPECT_EQ(0, p[0].getNrOptions());
  EXPECT_STREQ("2", p[1].getLowerBound());
  EXPECT_STREQ("9", p[1].getUpperBound());
  EXPECT_EQ(0, p[1].getNrOptions());
  EXPECT_STREQ("", p[2].getLowerBound());
  EXPECT_STREQ("", p[2].getUpperBound());
  EXPECT_EQ((Names{"p", "q"}), optionsOf(p[2]));
}

TEST_F(Catalogue, SecondUploadOfAModelReturns24AndChangesNothing) {
  const std::string category = testCategory();
  ModelPtr model = columnModel("Column");
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "Separators", model.get()));
  ModelPtr other = ModelBuilder("Column").description("another one").build();
  EXPECT_EQ(24, m_db.uploadModel(category.c_str(), "Separators", other.get()));
  ModelPtr back(m_db.downloadModel(category.c_str(), "Separators", "Column"));
  ASSERT_NE(nullptr, back);
  EXPECT_STREQ("distillation column with reboiler", back->getDescription());
  EXPECT_EQ(3, back->getNrPorts());
}

TEST_F(Catalogue, RefusedTypeFolderLeavesTheModelFolderUnmadeWith4) {
  const std::string category = testCategory();
  ModelPtr model = ModelBuilder("M").build();
  EXPECT_EQ(4, m_db.uploadModel(category.c_str(), "bad/type", model.get()));
  EXPECT_TRUE(m_db.checkCategory(category.c_str()));  // made before the type was refused
  EXPECT_EQ(nullptr, m_db.downloadModel(category.c_str(), "bad/type", "M"));
}

TEST_F(Catalogue, ModelWithoutPortsOrParametersRoundTrips) {
  const std::string category = testCategory();
  ModelPtr model = ModelBuilder("Empty").description("nothing inside").build();
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "T", model.get()));
  ModelPtr back(m_db.downloadModel(category.c_str(), "T", "Empty"));
  ASSERT_NE(nullptr, back);
  EXPECT_STREQ("nothing inside", back->getDescription());
  EXPECT_EQ(0, back->getNrPorts());
  EXPECT_EQ(0, back->getNrParameters());
  EXPECT_EQ(0, back->getNrComponents());
  EXPECT_EQ(0, back->getNrSolvers());
}

TEST_F(Catalogue, DownloadOfAMissingModelIsNull) {
  EXPECT_EQ(nullptr, m_db.downloadModel(testCategory().c_str(), "T", "Nothing"));
}

TEST_F(Catalogue, RefusedPortFolderReturns6AndTheParametersAreStillStored) {
  const std::string category = testCategory();
  ModelPtr model = ModelBuilder("Split")
                       .ports({{"in", "Material", "CAPE_INLET", ""}, {"out/bad", "Material", "CAPE_OUTLET", ""}})
                       .parameters({Param("ratio", "CAPE_REAL").withBounds("0", "1"), Param("mode", "CAPE_STRING")})
                       .build();
  EXPECT_EQ(6, m_db.uploadModel(category.c_str(), "T", model.get()));
  ModelPtr back(m_db.downloadModel(category.c_str(), "T", "Split"));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ((Names{"ratio", "mode"}), parameterNamesOf(*back));
  // Two ports were counted, one folder was made: never more ports than folders.
  EXPECT_EQ((Names{"in"}), portNamesOf(*back));
}

TEST_F(Catalogue, RefusedParameterFolderReturns8) {
  const std::string category = testCategory();
  ModelPtr model = ModelBuilder("Split")
                       .ports({{"in", "Material", "CAPE_INLET", ""}})
                       .parameters({Param("a/b", "CAPE_REAL"), Param("mode", "CAPE_STRING")})
                       .build();
  EXPECT_EQ(8, m_db.uploadModel(category.c_str(), "T", model.get()));
  ModelPtr back(m_db.downloadModel(category.c_str(), "T", "Split"));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ((Names{"in"}), portNamesOf(*back));
  EXPECT_EQ(0, back->getNrParameters());
}

// ---- solvers read back with the model ---------------------------------------------

ModelPtr columnSolver(const std::string& name) {
  return ModelBuilder(name)
      .description("rigorous solver")
      .command("colsolve --steady")
      .components({"H2O", "CH3OH", "C2H5OH"})
      .sortedComponents({"C2H5OH", "CH3OH", "H2O"})
      .ports(kColumnPorts)
      .parameters(columnParameters())
      .surface("inlet", "0 0 0\n", "1 2 3\n")
      .surface("wall", "1 1 1\n", "3 2 1\n")
      .build();
}

TEST_F(Catalogue, ImportedSolverComesBackWithTheModelAndThroughExportSolver) {
  const std::string category = testCategory();
  ModelPtr model = columnModel("Column");
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "T", model.get()));
  ModelPtr solver = columnSolver("Rigorous");
  ASSERT_EQ(0, m_db.importSolver(category.c_str(), "T", "Column", solver.get()));

  ModelPtr back(m_db.downloadModel(category.c_str(), "T", "Column"));
  ASSERT_NE(nullptr, back);
  ASSERT_EQ(1, back->getNrSolvers());
  ModelPtr exported(CVLTModel::newObject());
  m_db.exportSolver(exported.get(), category.c_str(), "T", "Column", "Rigorous");
  const std::vector<const CVLTModel*> reads = {&back->getSolvers()[0], exported.get()};
  for (const CVLTModel* read : reads) {
    EXPECT_STREQ("Rigorous", read->getName());
    EXPECT_STREQ("rigorous solver", read->getDescription());
    EXPECT_STREQ("colsolve --steady", read->getCommand());
    EXPECT_EQ(componentsOf(*solver), componentsOf(*read));
    EXPECT_EQ((Names{"C2H5OH", "CH3OH", "H2O"}), sortedComponentsOf(*read));
    EXPECT_EQ((Names{"inlet", "wall"}), surfacesOf(*read));
    ASSERT_EQ(3, read->getNrPorts());
    for (int i = 0; i < 3; ++i) expectPort(read->getPorts()[i], kColumnPorts[static_cast<size_t>(i)]);
    const std::vector<Param> expected = columnParameters();
    ASSERT_EQ(static_cast<int>(expected.size()), read->getNrParameters());
    for (size_t i = 0; i < expected.size(); ++i) expectParameter(read->getParameters()[i], expected[i]);
  }
}

TEST_F(Catalogue, SolverWithoutComponentsIsStoredWithTheModelComponents) {
  const std::string category = testCategory();
  ModelPtr model = ModelBuilder("Tank").components({"N2", "O2"}).build();
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "T", model.get()));
  // No components of its own: the import gives it the model's two, which the
  // download then reads from the stored solver.
  ModelPtr solver = ModelBuilder("Simple").sortedComponents({"O2", "N2"}).build();
  ASSERT_EQ(0, m_db.importSolver(category.c_str(), "T", "Tank", solver.get()));
  ModelPtr back(m_db.downloadModel(category.c_str(), "T", "Tank"));
  ASSERT_NE(nullptr, back);
  ASSERT_EQ(1, back->getNrSolvers());
  EXPECT_EQ((Names{"N2", "O2"}), componentsOf(back->getSolvers()[0]));
  EXPECT_EQ((Names{"O2", "N2"}), sortedComponentsOf(back->getSolvers()[0]));
  EXPECT_EQ(0, back->getSolvers()[0].getNrSurfaces());
}

TEST_F(Catalogue, ExportSolverOfAMissingSolverLeavesTheObjectUnchanged) {
  const std::string category = testCategory();
  ModelPtr model = columnModel("Column");
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "T", model.get()));
  ModelPtr target = columnSolver("Mine");
  m_db.exportSolver(target.get(), category.c_str(), "T", "Column", "Nobody");
  EXPECT_STREQ("Mine", target->getName());
  EXPECT_STREQ("colsolve --steady", target->getCommand());
  EXPECT_EQ(3, target->getNrPorts());
  EXPECT_EQ(7, target->getNrParameters());
  EXPECT_EQ(2, target->getNrSurfaces());
  EXPECT_EQ(3, target->getNrComponents());
}

}  // namespace
