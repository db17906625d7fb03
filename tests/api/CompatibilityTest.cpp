// Whether a solver may be attached to a stored model (every refusal of
// importSolver, each reached by a case of its own) and whether an in-memory
// model has its folders in the catalogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "api/CatalogueTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;
using VLT_121::CVLTModel;

namespace {

const char kCategory[] = "Compat";
const char kType[] = "Unit";
const char kModel[] = "Reactor";
const Names kSpecies = {"H2O", "CO2", "N2"};

const std::vector<Port> kPorts = {
    {"inlet", "Material", "CAPE_INLET", "feed"},
    {"outlet", "Material", "CAPE_OUTLET", "product"},
};

std::vector<Param> modelParameters() {
  return {
      Param("temperature", "CAPE_REAL").withBounds("200", "600"),
      Param("mode", "CAPE_OPTION").withOptions({"fast", "slow"}),
      Param("file-system", "CAPE_OPTION").withOptions({"stored.cfg"}),
      Param("public-species", "CAPE_OPTION").withOptions({"A", "B"}),
  };
}

// A solver description that passes every test; each case spoils one thing.
struct SolverRecipe {
  SolverRecipe() {
    parameters = modelParameters();
    parameter("file-system").options.clear();  // nothing to upload
  }
  Param& parameter(const std::string& name) {
    for (Param& p : parameters)
      if (p.name == name) return p;
    ADD_FAILURE() << "no parameter " << name;
    return parameters.front();
  }
  Port& port(const std::string& name) {
    for (Port& p : ports)
      if (p.name == name) return p;
    ADD_FAILURE() << "no port " << name;
    return ports.front();
  }
  void removeParameter(const std::string& name) {
    parameters.erase(
        std::remove_if(parameters.begin(), parameters.end(), [&](const Param& p) { return p.name == name; }),
        parameters.end());
  }
  ModelPtr build(const std::string& name) const {
    return ModelBuilder(name)
        .localDir(localDir)
        .components(components)
        .sortedComponents(sorted)
        .ports(ports)
        .parameters(parameters)
        .build();
  }

  std::vector<Param> parameters;
  std::vector<Port> ports = kPorts;
  Names components;
  Names sorted = kSpecies;
  std::string localDir = "/nonexistent";
};

std::string refusal(const std::string& what, const std::string& name) {
  return "The solver is incompatible with the model:\nModel " + what + " " + name +
         " is not instantiated in the solver.\nSolver is not loaded\n";
}

class Compatibility : public CatalogueServerTest {
 protected:
  static void SetUpTestSuite() {
    CatalogueServerTest::SetUpTestSuite();
    CVLTDatabase db;
    ASSERT_TRUE(db.open(s_server->address().c_str()));
    ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
    ModelPtr model = ModelBuilder(kModel).components(kSpecies).ports(kPorts).parameters(modelParameters()).build();
    ASSERT_EQ(0, db.uploadModel(kCategory, kType, model.get()));
    ModelPtr checked = ModelBuilder("Checked").components(kSpecies).ports(kPorts).parameters(modelParameters()).build();
    ASSERT_EQ(0, db.uploadModel(kCategory, kType, checked.get()));
    ModelPtr solver = SolverRecipe().build("Stored");
    ASSERT_EQ(0, db.importSolver(kCategory, kType, "Checked", solver.get()));
    db.logout();
  }

  // Imports the solver named after the test; standard output is kept in m_out.
  int import(const SolverRecipe& recipe) {
    m_solver = recipe.build(testCategory());
    ::testing::internal::CaptureStdout();
    int result = m_db.importSolver(kCategory, kType, kModel, m_solver.get());
    m_out = ::testing::internal::GetCapturedStdout();
    return result;
  }
  bool stored() {
    return m_db.downloadSolver((modelPath(kCategory, kType, kModel) + "/Solvers/" + testCategory()).c_str(),
                               m_local.path().c_str()) == 0;
  }

  ModelPtr m_solver;
  std::string m_out;
  TempDir m_local;
};

// ---- the order of the tests and their codes ---------------------------------------

TEST_F(Compatibility, CompatibleSolverIsStored) {
  EXPECT_EQ(0, import(SolverRecipe()));
  EXPECT_EQ("", m_out);
  EXPECT_TRUE(stored());
}

TEST_F(Compatibility, SolverWithoutANameReturns21) {
  m_solver = SolverRecipe().build("");
  EXPECT_EQ(21, m_db.importSolver(kCategory, kType, kModel, m_solver.get()));
}

TEST_F(Compatibility, SolverThatExistsReturns23) {
  ASSERT_EQ(0, import(SolverRecipe()));
  EXPECT_EQ(23, import(SolverRecipe()));
}

TEST_F(Compatibility, MissingModelReturns14) {
  m_solver = SolverRecipe().build("Lost");
  EXPECT_EQ(14, m_db.importSolver(kCategory, kType, "NoSuchModel", m_solver.get()));
}

TEST_F(Compatibility, FewerParametersThanTheModelReturns15) {
  SolverRecipe recipe;
  recipe.removeParameter("temperature");
  EXPECT_EQ(15, import(recipe));
  EXPECT_EQ("", m_out);
  EXPECT_FALSE(stored());
}

TEST_F(Compatibility, FewerPortsThanTheModelReturns16) {
  SolverRecipe recipe;
  recipe.ports.pop_back();
  EXPECT_EQ(16, import(recipe));
  EXPECT_EQ("", m_out);
}

TEST_F(Compatibility, OtherComponentCountReturns17BeforeTheParametersAreLookedAt) {
  SolverRecipe recipe;
  recipe.components = {"H2O", "CO2"};
  recipe.sorted = {"H2O", "CO2"};
  recipe.parameter("mode").name = "speed";  // would print a refusal if reached
  EXPECT_EQ(17, import(recipe));
  EXPECT_EQ("", m_out);
}

TEST_F(Compatibility, SortedComponentsMustMatchTheComponentsTakenFromTheModel) {
  SolverRecipe recipe;
  recipe.sorted = {"H2O", "CO2"};
  EXPECT_EQ(17, import(recipe));
  // The solver kept the model's components although the check failed.
  EXPECT_EQ(kSpecies, componentsOf(*m_solver));
  EXPECT_FALSE(stored());
}

TEST_F(Compatibility, SolverWithoutComponentsIsGivenAndStoredWithTheModels) {
  EXPECT_EQ(0, import(SolverRecipe()));
  EXPECT_EQ(kSpecies, componentsOf(*m_solver));
  ModelPtr back(CVLTModel::newObject());
  m_db.exportSolver(back.get(), kCategory, kType, kModel, testCategory().c_str());
  EXPECT_EQ(kSpecies, componentsOf(*back));
}

TEST_F(Compatibility, SolverWithTheModelsComponentCountKeepsItsOwn) {
  SolverRecipe recipe;
  recipe.components = {"a", "b", "c"};
  EXPECT_EQ(0, import(recipe));
  EXPECT_EQ((Names{"a", "b", "c"}), componentsOf(*m_solver));
}

// ---- parameters --------------------------------------------------------------------

TEST_F(Compatibility, MissingParameterPrintsTheRefusalAndReturns15) {
  SolverRecipe recipe;
  recipe.parameter("mode").name = "speed";
  EXPECT_EQ(15, import(recipe));
  EXPECT_EQ(refusal("Parameter", "mode"), m_out);
  EXPECT_FALSE(stored());
}

TEST_F(Compatibility, ParameterOfAnotherTypeReturns15) {
  SolverRecipe recipe;
  recipe.parameter("temperature").type = "CAPE_INT";
  EXPECT_EQ(15, import(recipe));
  EXPECT_EQ("", m_out);
}

TEST_F(Compatibility, OtherOptionCountReturns15) {
  SolverRecipe recipe;
  recipe.parameter("mode").options = {"fast"};
  EXPECT_EQ(15, import(recipe));
}

TEST_F(Compatibility, StoredOptionWithoutAnEqualReturns15) {
  SolverRecipe recipe;
  recipe.parameter("mode").options = {"fast", "medium"};
  EXPECT_EQ(15, import(recipe));
}

TEST_F(Compatibility, OptionOrderDoesNotMatter) {
  SolverRecipe recipe;
  recipe.parameter("mode").options = {"slow", "fast"};
  EXPECT_EQ(0, import(recipe));
}

TEST_F(Compatibility, FileSystemParameterPassesWithAnyOptions) {
  SolverRecipe recipe;
  recipe.localDir = m_local.path() + "/files";
  writeLocalFile(recipe.localDir + "/one.txt", "1");
  writeLocalFile(recipe.localDir + "/two.txt", "2");
  recipe.parameter("file-system").options = {"one.txt", "two.txt"};
  EXPECT_EQ(0, import(recipe));
}

TEST_F(Compatibility, PublicSpeciesPassesWithOtherOptionsOfTheSameCount) {
  SolverRecipe recipe;
  recipe.parameter("public-species").options = {"X", "Y"};
  EXPECT_EQ(0, import(recipe));
}

TEST_F(Compatibility, PublicSpeciesWithAnotherCountReturns15) {
  SolverRecipe recipe;
  recipe.parameter("public-species").options = {"A"};
  EXPECT_EQ(15, import(recipe));
}

TEST_F(Compatibility, EveryPublicSpeciesParameterOfTheSolverIsTested) {
  SolverRecipe recipe;
  recipe.parameters.push_back(Param("public-species", "CAPE_OPTION").withOptions({"A", "B", "C"}));
  EXPECT_EQ(15, import(recipe));
}

TEST_F(Compatibility, ExtraSolverParametersAndPortsAreNotReported) {
  SolverRecipe recipe;
  recipe.parameters.push_back(Param("tolerance", "CAPE_REAL"));
  recipe.ports.push_back({"vent", "Material", "CAPE_OUTLET", ""});
  EXPECT_EQ(0, import(recipe));
  EXPECT_EQ("", m_out);
}

// ---- ports -------------------------------------------------------------------------

TEST_F(Compatibility, MissingPortPrintsTheRefusalAndReturns16) {
  SolverRecipe recipe;
  recipe.port("outlet").name = "exit";
  EXPECT_EQ(16, import(recipe));
  EXPECT_EQ(refusal("Port", "outlet"), m_out);
  EXPECT_FALSE(stored());
}

TEST_F(Compatibility, PortWithAnotherDirectionReturns16) {
  SolverRecipe recipe;
  recipe.port("outlet").direction = "CAPE_INLET";
  EXPECT_EQ(16, import(recipe));
  EXPECT_EQ("", m_out);
}

TEST_F(Compatibility, PortOfAnotherTypeReturns16) {
  SolverRecipe recipe;
  recipe.port("inlet").type = "Energy";
  EXPECT_EQ(16, import(recipe));
}

TEST_F(Compatibility, EverySolverPortOfTheNameIsTested) {
  SolverRecipe recipe;
  recipe.ports.push_back({"outlet", "Material", "CAPE_INLET", "second outlet"});
  EXPECT_EQ(16, import(recipe));
}

// ---- checkModelCompatibility ---------------------------------------------------------

class ModelCompatibility : public Compatibility {
 protected:
  void SetUp() override {
    Compatibility::SetUp();
    m_db.setLoggingObject(&m_logger);
    m_logger.messages.clear();
    m_model.reset(m_db.downloadModel(kCategory, kType, "Checked"));
    ASSERT_NE(nullptr, m_model);
    ASSERT_EQ(1, m_model->getNrSolvers());
  }
  void TearDown() override {
    m_db.setLoggingObject(nullptr);
    Compatibility::TearDown();
  }
  // The check's result; exactly one message, of type 0, is expected on false.
  std::string refusedWith(const char* modelName = "Checked") {
    if (m_db.checkModelCompatibility(kCategory, kType, modelName, m_model.get())) return "(compatible)";
    if (m_logger.messages.size() != 1) return "(" + std::to_string(m_logger.messages.size()) + " messages)";
    EXPECT_EQ(0, m_logger.messages[0].first);
    EXPECT_EQ(0u, m_logger.messages[0].second.find(RecordingLogger::prefix()));
    return m_logger.texts()[0];
  }
  CVLTModel& solver() { return m_model->getSolvers()[0]; }

  RecordingLogger m_logger;
  ModelPtr m_model;
};

TEST_F(ModelCompatibility, StoredModelWithItsSolverIsCompatible) {
  EXPECT_TRUE(m_db.checkModelCompatibility(kCategory, kType, "Checked", m_model.get()));
  EXPECT_TRUE(m_logger.messages.empty());
}

TEST_F(ModelCompatibility, MissingModel) {
  EXPECT_EQ("Model does not exist in the database.", refusedWith("Elsewhere"));
}

TEST_F(ModelCompatibility, MissingModelParameter) {
  m_model->getParameters()[1].setName("pressure");
  EXPECT_EQ("Model parameter does not exist in the database.", refusedWith());
}

TEST_F(ModelCompatibility, MissingModelPort) {
  m_model->getPorts()[1].setName("drain");
  EXPECT_EQ("Model port does not exist in the database.", refusedWith());
}

TEST_F(ModelCompatibility, MissingSolver) {
  solver().setName("Other");
  EXPECT_EQ("Solver does not exist in the database.", refusedWith());
}

TEST_F(ModelCompatibility, MissingSolverParameter) {
  solver().getParameters()[0].setName("pressure");
  EXPECT_EQ("Solver parameter does not exist in the database.", refusedWith());
}

TEST_F(ModelCompatibility, MissingSolverPort) {
  solver().getPorts()[0].setName("drain");
  EXPECT_EQ("solver port does not exist in the database.", refusedWith());
}

TEST_F(ModelCompatibility, ModelWithoutSolversIsNotCompatibleAndNothingIsLogged) {
  ModelPtr bare = ModelBuilder("Checked").ports(kPorts).parameters(modelParameters()).build();
  EXPECT_FALSE(m_db.checkModelCompatibility(kCategory, kType, "Checked", bare.get()));
  EXPECT_TRUE(m_logger.messages.empty());
}

}  // namespace
