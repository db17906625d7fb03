// db, category, type, model, solver and browse against a real server.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CliTestSupport.h"

namespace talixdb_test {
namespace {

using nlohmann::json;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// One database with the pump model (and its solver) stored before the tests.
class CatalogueCli : public CliSuite {
 protected:
  static void SetUpTestSuite() {
    startServer();
    ASSERT_EQ(talixdb({"db", "create"}).exitCode, 0);
    CliResult upload = talixdb({"model", "upload", writePumpModel()});
    ASSERT_EQ(upload.exitCode, 0) << upload.err;
  }
};

TEST_F(CatalogueCli, DbStatusSaysTheDatabaseExists) {
  CliResult result = talixdb({"db", "status"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(contains(result.out, "/Repository/talixdb exists")) << result.out;
  EXPECT_TRUE(contains(result.out, server().address())) << result.out;
}

TEST_F(CatalogueCli, SecondDbCreateExitsOneAndSaysWhy) {
  CliResult result = talixdb({"db", "create"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "exists already")) << result.err;
}

TEST_F(CatalogueCli, RefusedLoginExits32AndNamesTheUser) {
  CliResult result = talixdb({"--password", "not-the-password", "browse"});
  EXPECT_EQ(result.exitCode, 32);
  EXPECT_TRUE(contains(result.err, "login refused for user root")) << result.err;
}

TEST_F(CatalogueCli, CategoryAddedIsThenFound) {
  EXPECT_EQ(talixdb({"category", "check", "Valves"}).exitCode, 1);
  CliResult added = talixdb({"category", "add", "Valves"});
  EXPECT_EQ(added.exitCode, 0) << added.err;
  EXPECT_EQ(talixdb({"category", "check", "Valves"}).exitCode, 0);
  EXPECT_EQ(talixdb({"category", "add", "Valves"}).exitCode, 1);
}

TEST_F(CatalogueCli, TypeNeedsAnExistingCategory) {
  CliResult orphan = talixdb({"type", "add", "NoSuchCategory", "Gates"});
  EXPECT_EQ(orphan.exitCode, 1);
  EXPECT_TRUE(contains(orphan.err, "no category NoSuchCategory")) << orphan.err;
  ASSERT_EQ(talixdb({"category", "add", "Fittings"}).exitCode, 0);
  EXPECT_EQ(talixdb({"type", "add", "Fittings", "Elbows"}).exitCode, 0);
  EXPECT_EQ(talixdb({"type", "check", "Fittings", "Elbows"}).exitCode, 0);
  EXPECT_EQ(talixdb({"type", "check", "Fittings", "Tees"}).exitCode, 1);
}

TEST_F(CatalogueCli, DownloadedModelHasTheUploadedParts) {
  CliResult result = talixdb({"model", "download", "Equipment", "Pumps", "CentrifugalPump"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  json model = json::parse(result.out);
  EXPECT_EQ(model["category"], "Equipment");
  EXPECT_EQ(model["description"], "A single-stage centrifugal pump");
  EXPECT_EQ(model["ports"].size(), 2u);
  ASSERT_EQ(model["parameters"].size(), 3u);
  EXPECT_EQ(model["species"], json({"water", "air"}));
  const json& speed = model["parameters"][0];
  EXPECT_EQ(speed["defaultValue"], "1450");
  EXPECT_EQ(speed["upperBound"], "3000");
  ASSERT_EQ(model["solvers"].size(), 1u);
  const json& solver = model["solvers"][0];
  EXPECT_EQ(solver["command"], "flowsolve case.cfg");
  ASSERT_EQ(solver["surfaces"].size(), 1u);
  EXPECT_EQ(solver["surfaces"][0]["nodePositions"], "0 0 0\n1 0 0\n");
  EXPECT_EQ(solver["surfaces"][0]["gridConnectivity"], "0 1\n");
}

TEST_F(CatalogueCli, DownloadedFileUploadsAgainElsewhere) {
  const std::string file = path("round-trip.json");
  ASSERT_EQ(talixdb({"model", "download", "Equipment", "Pumps", "CentrifugalPump", "-o", file}).exitCode, 0);
  CliResult upload = talixdb({"model", "upload", file, "--category", "Copies", "--no-solvers"});
  ASSERT_EQ(upload.exitCode, 0) << upload.err;
  CliResult copy = talixdb({"model", "download", "Copies", "Pumps", "CentrifugalPump"});
  ASSERT_EQ(copy.exitCode, 0);
  json original = json::parse(readFile(file));
  json copied = json::parse(copy.out);
  EXPECT_EQ(copied["ports"], original["ports"]);
  EXPECT_EQ(copied["parameters"], original["parameters"]);
  EXPECT_TRUE(copied["solvers"].empty());
}

TEST_F(CatalogueCli, MissingModelExitsOneAndIsNamed) {
  CliResult result = talixdb({"model", "download", "Equipment", "Pumps", "X"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "no model Equipment/Pumps/X")) << result.err;
  EXPECT_TRUE(result.out.empty());
}

TEST_F(CatalogueCli, SecondUploadExitsWithTheLibrarysCode24) {
  CliResult result = talixdb({"model", "upload", path("CentrifugalPump.json")});
  EXPECT_EQ(result.exitCode, 24);
  EXPECT_TRUE(contains(result.err, "exists already")) << result.err;
}

TEST_F(CatalogueCli, CompatibilityCheckPassesForTheStoredModelAndNamesAMiss) {
  EXPECT_EQ(talixdb({"model", "check-compat", path("CentrifugalPump.json")}).exitCode, 0);
  json model = json::parse(pumpModelJson("CentrifugalPump"));
  model["ports"].push_back({{"name", "drain"}});
  writeFile(path("with-drain.json"), model.dump());
  CliResult result = talixdb({"model", "check-compat", path("with-drain.json")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "Model port does not exist in the database.")) << result.err;
}

TEST_F(CatalogueCli, DeletedModelIsGone) {
  ASSERT_EQ(talixdb({"model", "upload", writePumpModel("Doomed"), "--no-solvers"}).exitCode, 0);
  CliResult deleted = talixdb({"model", "delete", "Equipment", "Pumps", "Doomed"});
  EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_EQ(talixdb({"model", "download", "Equipment", "Pumps", "Doomed"}).exitCode, 1);
  EXPECT_EQ(talixdb({"model", "delete", "Equipment", "Pumps", "Doomed"}).exitCode, 1);
}

TEST_F(CatalogueCli, SolverImportChecksTheModelAndStoresTheFiles) {
  writeFile(path("extra.json"), extraSolverJson("ExtraSolver"));
  CliResult missingModel = talixdb({"solver", "import", "Equipment", "Pumps", "Nope", path("extra.json")});
  EXPECT_EQ(missingModel.exitCode, 14);
  EXPECT_TRUE(contains(missingModel.err, "no model Equipment/Pumps/Nope")) << missingModel.err;
  CliResult imported = talixdb({"solver", "import", "Equipment", "Pumps", "CentrifugalPump", path("extra.json")});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(talixdb({"solver", "import", "Equipment", "Pumps", "CentrifugalPump", path("extra.json")}).exitCode, 23);

  CliResult download =
      talixdb({"solver", "download", "Equipment/Pumps/CentrifugalPump/Solvers/ExtraSolver", path("extra-files")});
  EXPECT_EQ(download.exitCode, 0) << download.err;
  EXPECT_EQ(readFile(path("extra-files/case.cfg")), "iterations = 500\n");
  EXPECT_EQ(talixdb({"solver", "download", "Equipment/Pumps/CentrifugalPump/Solvers/None", path("x")}).exitCode, 21);
  CliResult modelPath = talixdb({"solver", "download", "Equipment/Pumps/CentrifugalPump", path("y")});
  EXPECT_EQ(modelPath.exitCode, 1);
  EXPECT_TRUE(contains(modelPath.err, "is no solver")) << modelPath.err;
}

TEST_F(CatalogueCli, IncompatibleSolverIsRefusedWithItsCode) {
  json solver = json::parse(extraSolverJson("PortlessSolver"));
  solver["ports"] = json::array();
  writeFile(path("portless.json"), solver.dump());
  CliResult result = talixdb({"solver", "import", "Equipment", "Pumps", "CentrifugalPump", path("portless.json")});
  EXPECT_EQ(result.exitCode, 16);
  EXPECT_TRUE(contains(result.err, "a port does not match the model")) << result.err;
}

TEST_F(CatalogueCli, BrowseShowsTheTreeWithSolversInNameOrder) {
  // Stored after CentrifugalPump, listed before it.
  ASSERT_EQ(talixdb({"model", "upload", writePumpModel("AxialPump"), "--no-solvers"}).exitCode, 0);
  CliResult result = talixdb({"browse"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(contains(result.out, "Equipment\n  Pumps\n    AxialPump\n    CentrifugalPump\n      solver ")) << result.out;
  EXPECT_TRUE(result.err.empty()) << result.err;
  std::vector<std::string> leaves;
  std::istringstream lines(talixdb({"browse", "--models"}).out);
  for (std::string line; std::getline(lines, line);) leaves.push_back(line);
  EXPECT_TRUE(std::is_sorted(leaves.begin(), leaves.end()));
  EXPECT_GE(leaves.size(), 2u);
}

TEST_F(CatalogueCli, BrowseFiltersCombineAndLeavesAreListed) {
  ASSERT_EQ(talixdb({"model", "upload", writePumpModel("GearPump"), "--no-solvers"}).exitCode, 0);
  CliResult byName = talixdb({"browse", "--models", "--model-name=Gear"});
  EXPECT_EQ(byName.out, "Equipment/Pumps/GearPump\n");
  CliResult byPort = talixdb({"browse", "--models", "--category-name", "Equip", "--port-name", "inl"});
  EXPECT_TRUE(contains(byPort.out, "Equipment/Pumps/CentrifugalPump\n")) << byPort.out;
  EXPECT_TRUE(contains(byPort.out, "Equipment/Pumps/GearPump\n")) << byPort.out;
  EXPECT_EQ(talixdb({"browse", "--model-name", "Nothing-like-this"}).out, "");
  CliResult solvers = talixdb({"browse", "--solvers", "--model-name", "Pump", "--specie-name", "water"});
  EXPECT_TRUE(contains(solvers.out, "Equipment/Pumps/CentrifugalPump/FlowSolver\n")) << solvers.out;
  EXPECT_TRUE(contains(solvers.out, "Equipment/Pumps/GearPump\n")) << solvers.out;
}

}  // namespace
}  // namespace talixdb_test
