// db, category, type, model, solver and browse against a real server.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CliTestSupport.h"

namespace talixdb_test {
namespace {

using nlohmann::json;

using CatalogueCli = PumpSuite;

// Each command's exit status is the library's code where it has one.
TEST_F(CatalogueCli, CommandsExitWithTheirStatusAndSayWhy) {
  json drained = json::parse(pumpModelJson("CentrifugalPump"));
  drained["ports"].push_back({{"name", "drain"}});
  writeFile(path("with-drain.json"), drained.dump());
  writeFile(path("extra.json"), extraSolverJson("ExtraSolver"));
  json portless = json::parse(extraSolverJson("PortlessSolver"));
  portless["ports"] = json::array();
  writeFile(path("portless.json"), portless.dump());
  const std::string pump = path("CentrifugalPump.json");
  const std::vector<std::string> import = {"solver", "import", "Equipment", "Pumps", "CentrifugalPump"};
  auto with = [](std::vector<std::string> args, const std::string& last) {
    args.push_back(last);
    return args;
  };
  runSteps({
      {{"db", "status"}, 0, "/Repository/talixdb exists"},
      {{"db", "create"}, 1, "", "exists already"},
      {{"--password", "not-the-password", "browse"}, 32, "", "login refused for user root"},
      {{"category", "check", "Valves"}, 1},
      {{"category", "add", "Valves"}, 0},
      {{"category", "check", "Valves"}, 0},
      {{"category", "add", "Valves"}, 1},
      {{"type", "add", "NoSuchCategory", "Gates"}, 1, "", "no category NoSuchCategory"},
      {{"type", "add", "Valves", "Gates"}, 0},
      {{"type", "check", "Valves", "Gates"}, 0},
      {{"type", "check", "Valves", "Tees"}, 1},
      {{"model", "download", "Equipment", "Pumps", "X"}, 1, "", "no model Equipment/Pumps/X"},
      {{"model", "upload", pump}, 24, "", "exists already"},
      {{"model", "check-compat", pump}, 0},
      {{"model", "check-compat", path("with-drain.json")}, 1, "", "Model port does not exist in the database."},
      {{"model", "upload", writePumpModel("Doomed"), "--no-solvers"}, 0},
      {{"model", "delete", "Equipment", "Pumps", "Doomed"}, 0},
      {{"model", "download", "Equipment", "Pumps", "Doomed"}, 1},
      {{"model", "delete", "Equipment", "Pumps", "Doomed"}, 1},
      {{"solver", "import", "Equipment", "Pumps", "Nope", path("extra.json")}, 14, "", "no model Equipment/Pumps/Nope"},
      {with(import, path("extra.json")), 0},
      {with(import, path("extra.json")), 23},
      {with(import, path("portless.json")), 16, "", "a port does not match the model"},
      {{"solver", "download", "Equipment/Pumps/CentrifugalPump/Solvers/ExtraSolver", path("extra-files")}, 0},
      {{"solver", "download", "Equipment/Pumps/CentrifugalPump/Solvers/None", path("x")}, 21},
      {{"solver", "download", "Equipment/Pumps/CentrifugalPump", path("y")}, 1, "", "is no solver"},
  });
  EXPECT_EQ(readFile(path("extra-files/case.cfg")), "iterations = 500\n");
  EXPECT_EQ(talixdb({"model", "download", "Equipment", "Pumps", "X"}).out, "");
}

TEST_F(CatalogueCli, DownloadedModelHasTheUploadedPartsAndUploadsAgainElsewhere) {
  const std::string file = path("round-trip.json");
  ASSERT_EQ(talixdb({"model", "download", "Equipment", "Pumps", "CentrifugalPump", "-o", file}).exitCode, 0);
  json model = json::parse(readFile(file));
  EXPECT_EQ(model["category"], "Equipment");
  EXPECT_EQ(model["description"], "A single-stage centrifugal pump");
  EXPECT_EQ(model["ports"].size(), 2u);
  ASSERT_EQ(model["parameters"].size(), 3u);
  EXPECT_EQ(model["species"], json({"water", "air"}));
  EXPECT_EQ(model["parameters"][0]["defaultValue"], "1450");
  EXPECT_EQ(model["parameters"][0]["upperBound"], "3000");
  json solver;  // beside any the other tests import
  for (const json& each : model["solvers"])
    if (each["name"] == "FlowSolver") solver = each;
  EXPECT_EQ(solver["command"], "flowsolve case.cfg");
  ASSERT_EQ(solver["surfaces"].size(), 1u);
  EXPECT_EQ(solver["surfaces"][0]["nodePositions"], "0 0 0\n1 0 0\n");
  EXPECT_EQ(solver["surfaces"][0]["gridConnectivity"], "0 1\n");

  CliResult upload = talixdb({"model", "upload", file, "--category", "Copies", "--no-solvers"});
  ASSERT_EQ(upload.exitCode, 0) << upload.err;
  CliResult copy = talixdb({"model", "download", "Copies", "Pumps", "CentrifugalPump"});
  ASSERT_EQ(copy.exitCode, 0);
  json copied = json::parse(copy.out);
  EXPECT_EQ(copied["ports"], model["ports"]);
  EXPECT_EQ(copied["parameters"], model["parameters"]);
  EXPECT_TRUE(copied["solvers"].empty());
}

TEST_F(CatalogueCli, BrowseShowsTheTreeInNameOrderAndFiltersCombine) {
  // Stored after CentrifugalPump, listed before it.
  ASSERT_EQ(talixdb({"model", "upload", writePumpModel("AxialPump"), "--no-solvers"}).exitCode, 0);
  ASSERT_EQ(talixdb({"model", "upload", writePumpModel("GearPump"), "--no-solvers"}).exitCode, 0);
  CliResult tree = talixdb({"browse"});
  EXPECT_EQ(tree.exitCode, 0) << tree.err;
  EXPECT_TRUE(contains(tree.out, "Equipment\n  Pumps\n    AxialPump\n    CentrifugalPump\n      solver ")) << tree.out;
  EXPECT_TRUE(tree.err.empty()) << tree.err;
  std::vector<std::string> leaves;
  std::istringstream lines(talixdb({"browse", "--models"}).out);
  for (std::string line; std::getline(lines, line);) leaves.push_back(line);
  EXPECT_TRUE(std::is_sorted(leaves.begin(), leaves.end()));
  EXPECT_GE(leaves.size(), 3u);

  EXPECT_EQ(talixdb({"browse", "--models", "--model-name=Gear"}).out, "Equipment/Pumps/GearPump\n");
  EXPECT_EQ(talixdb({"browse", "--model-name", "Nothing-like-this"}).out, "");
  CliResult byPort = talixdb({"browse", "--models", "--category-name", "Equip", "--port-name", "inl"});
  EXPECT_TRUE(contains(byPort.out, "Equipment/Pumps/CentrifugalPump\nEquipment/Pumps/GearPump\n")) << byPort.out;
  CliResult solvers = talixdb({"browse", "--solvers", "--model-name", "Pump", "--specie-name", "water"});
  EXPECT_TRUE(contains(solvers.out, "Equipment/Pumps/CentrifugalPump/FlowSolver\n")) << solvers.out;
  EXPECT_TRUE(contains(solvers.out, "Equipment/Pumps/GearPump\n")) << solvers.out;
}

}  // namespace
}  // namespace talixdb_test
