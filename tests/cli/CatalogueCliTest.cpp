// db, category, type, model, solver and browse against a real server.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CliTestSupport.h"
#include "talixdbapi/VLTDatabase.h"

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
  // A solver whose files folder another host removed has no files to give.
  struct : TALIX::ILogger {
    int log(TALIX::LogType, const char*) override { return 0; }
    void release() override {}
  } quiet;
  {
    VLT_121::CVLTDatabase host;
    host.setLoggingObject(&quiet);
    ASSERT_TRUE(host.open(server().address().c_str()) && host.login("root", kAdminPassword, "Default", 0));
    EXPECT_TRUE(host.deleteItem("/Repository/talixdb/Equipment/Pumps/CentrifugalPump/Solvers/ExtraSolver/FileSystem"));
    host.logout();
  }
  runSteps({{{"solver", "download", "Equipment/Pumps/CentrifugalPump/Solvers/ExtraSolver", path("no-files")}, 0,
             "ExtraSolver has no stored files\n"}});
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
  ASSERT_EQ(solver["surfaces"].size(), 3u);
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
  EXPECT_FALSE(contains(solvers.out, "Equipment/Pumps/GearPump\n")) << solvers.out;  // solvers only
}

// A model upload is all or nothing: a part that is refused takes back what
// the command stored, the category and type it made included; a stored
// model is replaced only when asked.
TEST_F(CatalogueCli, ModelUploadIsAllOrNothingAndReplacesOnlyWhenAsked) {
  json broken = json::parse(pumpModelJson("Broken"));
  broken["category"] = "Fresh";
  broken["solvers"][0]["parameters"].erase(0);  // the solver lacks "speed": refused (15)
  writeFile(path("broken.json"), broken.dump());
  runSteps({
      {{"model", "upload", path("broken.json")}, 15, "",
       "removed what this upload stored: model Fresh/Pumps/Broken, type Fresh/Pumps, category Fresh"},
      {{"category", "check", "Fresh"}, 1},
      {{"model", "upload", writePumpModel("Again"), "--no-solvers"}, 0},
      {{"model", "upload", path("Again.json"), "--no-solvers"}, 24, "", "exists already: give --replace"},
      {{"model", "upload", path("Again.json"), "--replace"}, 0, "deleted the stored model Equipment/Pumps/Again"},
      {{"solver", "download", "Equipment/Pumps/Again/FlowSolver", path("again-files")}, 0},
  });
}

// What browse prints, every command takes: a model's path for CATEGORY TYPE
// MODEL and MODELPATH, a solver's for MODELPATH SOLVER and SOLVERPATH.
TEST_F(CatalogueCli, PathsThatBrowsePrintsAreTakenByEveryCommand) {
  const std::vector<std::string> filter = {"--category-name", "Equipment", "--model-name", "Centrifugal"};
  const std::string model = talixdb({"browse", "--models", filter[0], filter[1], filter[2], filter[3]}).out;
  const std::string solver = talixdb({"browse", "--solvers", filter[0], filter[1], filter[2], filter[3]}).out;
  ASSERT_EQ(model, "Equipment/Pumps/CentrifugalPump\n");
  ASSERT_TRUE(contains(solver, "Equipment/Pumps/CentrifugalPump/FlowSolver\n")) << solver;
  const std::string modelPath = model.substr(0, model.size() - 1);
  const std::string solverPath = modelPath + "/FlowSolver";
  runSteps({
      {{"model", "download", modelPath}, 0, "\"name\": \"CentrifugalPump\""},
      {{"model", "check-compat", writePumpModel()}, 0},
      {{"solver", "download", solverPath, path("by-browse-path")}, 0},
      {{"solver", "download", "/Repository/talixdb/" + modelPath + "/Solvers/FlowSolver", path("by-full-path")}, 0},
      {{"report", "list", solverPath}, 0, "surface blade"},
      {{"instance", "list", solverPath}, 0},
      {{"report", "list", modelPath, "FlowSolver", "hub"}, 0, "surface hub: 0 report(s), 0 PCA mode(s)\n"},
  });
}

// Completion offers the server's names where an argument names one (with a
// password that need not be asked for).
TEST_F(CatalogueCli, CompletionOffersRemoteNames) {
  const std::string tools = std::string(TALIXDB_CLI_PATH).substr(0, std::string(TALIXDB_CLI_PATH).rfind('/'));
  const std::string line = "talixdb --server " + server().address() + " ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"model download Equipment Pumps Cen", "CentrifugalPump"},
      {"report list Equipment/Pumps/CentrifugalPump Fl", "FlowSolver"},
      {"solver download Equipment/Pumps/CentrifugalPump/Fl", "Equipment/Pumps/CentrifugalPump/FlowSolver"},
      {"type check Equip", "Equipment"},
  };
  for (const auto& [words, offered] : cases) {
    CliRun complete;
    complete.env = {{"TALIXDB_PASSWORD", kAdminPassword}, {"PATH", tools + ":/usr/bin:/bin"}};
    complete.args = {"-c",
                     "source \"$0\"; COMP_LINE=$1; COMP_POINT=${#1}; read -ra COMP_WORDS <<< \"$1\"; "
                     "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _talixdb; echo \"${COMPREPLY[*]}\"",
                     TALIXDB_BUILD_DIR "/tools/docs/completions/talixdb", line + words};
    EXPECT_EQ(runProgram("/bin/bash", complete).out, offered + "\n") << words;
  }
}

// The sample files of the source tree go in as they are.
TEST_F(CatalogueCli, ExampleModelAndSolverAreTakenAsTheyAre) {
  runSteps({
      {{"model", "upload", TALIXDB_EXAMPLES_DIR "/pump-model.json", "--category", "Examples"}, 0},
      {{"solver", "import", "Examples/Pumps/CentrifugalPump", TALIXDB_EXAMPLES_DIR "/flow-solver.json"}, 0},
      {{"solver", "download", "Examples/Pumps/CentrifugalPump/FlowSolver", path("example-files")}, 0},
  });
  EXPECT_TRUE(exists(path("example-files/flow-solver/mesh/grid.msh")));
}

}  // namespace
}  // namespace talixdb_test
