// report, instance and precomputed against a real server.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "cli/CliTestSupport.h"

namespace talixdb_test {
namespace {

const char kModel[] = "Equipment/Pumps/CentrifugalPump";

using ResultsCli = PumpSuite;

TEST_F(ResultsCli, EveryListingPrintsTheDocumentedJson) {
  using nlohmann::json;
  // A solver of its own, so that the other tests' reports and instances do not meet these.
  writeFile(path("json-solver.json"), extraSolverJson("JsonSolver"));
  ASSERT_EQ(talixdb({"solver", "import", "Equipment", "Pumps", "CentrifugalPump", path("json-solver.json")}).exitCode,
            0);
  writeFile(path("j1.rep"), surfaceReport({1.5, 2}));
  ASSERT_EQ(talixdb({"report", "upload", kModel, "JsonSolver", "json", "1", path("j1.rep")}).exitCode, 0);
  ASSERT_EQ(talixdb({"instance", "upload", kModel, "JsonSolver", path(".")}).exitCode, 0);
  ASSERT_EQ(talixdb({"servers", "register", "json-node"}).exitCode, 0);
  const std::vector<std::pair<std::vector<std::string>, std::function<void(const json&)>>> cases = {
      {{"db", "status"},
       [&](const json& j) {
         EXPECT_EQ(j, json({{"server", server().address()}, {"user", "root"}, {"pool", false}, {"domain", "Default"},
                            {"database", "/Repository/talixdb"}, {"exists", true}}));
       }},
      {{"browse", "--instances"},
       [](const json& j) {
         const json& model = j["categories"][0]["types"][0]["models"][0];
         EXPECT_EQ(model["name"], "CentrifugalPump");
         ASSERT_EQ(model["solvers"].size(), 2u);
         EXPECT_EQ(model["solvers"][1]["name"], "JsonSolver");
         EXPECT_EQ(model["solvers"][1]["instances"].size(), 1u);
       }},
      {{"browse", "--solvers"},
       [](const json& j) {
         EXPECT_EQ(j["paths"], json({"Equipment/Pumps/CentrifugalPump/FlowSolver",
                                     "Equipment/Pumps/CentrifugalPump/JsonSolver"}));
       }},
      {{"instance", "list", kModel, "JsonSolver"},
       [](const json& j) {
         ASSERT_EQ(j["instances"].size(), 1u);
         const json& first = j["instances"][0];
         EXPECT_EQ(first["number"], 1);
         EXPECT_EQ(first["uploaded"].get<std::string>().back(), 'Z');
         EXPECT_EQ(first["folder"].get<std::string>().rfind("000000001-", 0), 0u);
       }},
      {{"users", "count"},
       [](const json& j) {
         EXPECT_EQ(j, json({{"count", 0}}));
       }},
      {{"servers", "list"},
       [](const json& j) {
         EXPECT_EQ(j, json({{"servers", {"json-node"}}}));
       }},
      {{"report", "values", kModel, "JsonSolver", "json", "1"},
       [](const json& j) {
         EXPECT_EQ(j, json({{"number", 1}, {"values", {1.5, 2.0}}}));
       }},
      {{"report", "modes", kModel, "JsonSolver", "json", "--text"},
       [](const json& j) {
         EXPECT_EQ(j["count"], 1);
         EXPECT_EQ(j["modes"], json::parse(R"([{"index": 0, "singularValue": 2.5, "share": 1.0, "energy": 1.0}])"));
         EXPECT_EQ(j["text"].get<std::string>().rfind("         1\n", 0), 0u);
       }},
      {{"report", "list", kModel, "JsonSolver"},
       [](const json& j) {
         EXPECT_EQ(j, json::parse(R"({"surfaces": [{"name": "json", "declared": true, "modes": 1,
                                                    "reports": [{"number": 1, "bytes": 48}]}]})"));
       }},
      {{"report", "amplitudes", kModel, "JsonSolver", "json", "--all"},
       [](const json& j) {
         EXPECT_EQ(j, json::parse(R"({"modes": 1, "reports": [{"number": 1, "amplitudes": [2.5]}]})"));
       }},
      {{"report", "mode-values", kModel, "JsonSolver", "json", "0"},
       [](const json& j) {
         EXPECT_EQ(j["index"], 0);
         ASSERT_EQ(j["values"].size(), 2u);
         EXPECT_NEAR(j["values"][0].get<double>(), 0.6, 1e-12);
       }},
      {{"report", "amplitudes", kModel, "JsonSolver", "json", "1"},
       [](const json& j) {
         EXPECT_EQ(j["number"], 1);
         ASSERT_EQ(j["amplitudes"].size(), 1u);
         EXPECT_NEAR(j["amplitudes"][0].get<double>(), 2.5, 1e-12);
       }},
  };
  for (const auto& [args, check] : cases) {
    std::vector<std::string> line = args;
    line.push_back("--json");
    CliResult result = talixdb(line);
    EXPECT_EQ(result.exitCode, 0) << args[0] << " " << args[1] << "\n" << result.err;
    json document = json::parse(result.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << args[0] << " " << args[1] << "\n" << result.out;
    check(document);
  }
}

TEST_F(ResultsCli, ReportsModesInstancesAndPrecomputedResults) {
  writeFile(path("a.rep"), surfaceReport({1, 2, 3}));
  writeFile(path("b.rep"), surfaceReport({2, 4, 6}));
  writeFile(path("r1.rep"), surfaceReport({1.2, 1.6}));
  writeFile(path("r2.rep"), surfaceReport({2.4, 3.2}));  // twice r1: one mode holds both
  writeFile(path("plain.txt"), "not a report\n");
  writeFile(path("pre.txt"), "efficiency 0.82\n");
  writeFile(path("binary.dat"), std::string("a\0b", 3));
  const std::vector<std::string> report = {"report", "upload", kModel};
  auto in = [](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::vector<std::string> flow = {kModel, "FlowSolver"};
  runSteps({
      {in(report, {"FlowSolver", "hub", "10", path("a.rep"), path("b.rep")}), 0, "numbers 10 to 11", "(2/2)"},
      {in({"report", "values"}, in(flow, {"hub", "999"})), 1, "", "no report 999 of surface hub"},
      {in(report, {"NoSolver", "blade", "1", path("a.rep")}), 1, "",
       "no solver NoSolver in model " + std::string(kModel)},
      {in(report, {"FlowSolver", "notes", "1", path("plain.txt")}), 0, "", "has no TALIX_Report_2 header"},
      {in({"report", "values"}, in(flow, {"notes", "1"})), 1, "", "is not a surface report"},
      {in(report, {"FlowSolver", "blade", "1", path("r1.rep"), path("r2.rep")}), 0},
      {in({"report", "modes"}, in(flow, {"blade", "--count"})), 0, "1\n"},
      {in({"report", "modes"}, in(flow, {"blade"})), 0, "mode  singular value          share    energy\n0     2    "},
      // Taken numbers and surfaces the solver does not declare are refused before anything is stored.
      {in(report, {"FlowSolver", "blade", "2", path("r1.rep"), path("a.rep")}), 1, "",
       "report(s) 2 of surface blade of solver FlowSolver in " + std::string(kModel) + " are stored already"},
      {in(report, {"FlowSolver", "blades", "9", path("r1.rep")}), 1, "",
       "declares no surface blades: its surfaces are blade, hub, notes"},
      {in(report, {"FlowSolver", "blade", "2", path("r2.rep"), "--replace"}), 0},
      {in({"report", "list"}, flow), 0, "surface blade: 2 report(s), 1 PCA mode(s)\n  report 1"},
      {in({"report", "list"}, in(flow, {"blades"})), 1, "", "declares no surface blades: its surfaces are blade"},
      {in({"report", "amplitudes"}, in(flow, {"blade", "--all", "--csv"})), 0, "report,mode 0\n1,2\n2,4\n"},
      {in({"report", "amplitudes"}, in(flow, {"blade"})), 2, "", "give NUMBER or --all"},
      {in({"report", "mode-values"}, in(flow, {"blade", "1"})), 1, "", "it has 1 modes"},
      {in({"instance", "upload"}, in(flow, {path(".")})), 0, "saved instance 1 ", "Uploading instance:"},
      {in({"instance", "upload"}, in(flow, {path(".")})), 0, "saved instance 2 "},
      {in({"instance", "list"}, flow), 0, "\t000000002-"},
      {in({"instance", "download"}, in(flow, {"2", path("copy-2")})), 0},
      {in({"instance", "delete"}, in(flow, {"2"})), 0},
      {in({"instance", "delete"}, in(flow, {"2"})), 1, "", "no instance 2 of solver FlowSolver"},
      {in({"instance", "download"}, in(flow, {"77", path("base-files")})), 1, "",
       "no instance 77 of solver FlowSolver"},
      {{"instance", "list", kModel, "Ghost"}, 1},
      {{"instance", "upload", kModel, "Ghost", path(".")}, 1},
      {{"instance", "download", kModel, "Ghost", "1", path("ghost")}, 21},
      {in({"instance", "upload"}, in(flow, {path("no-such-dir")})), 33},
      {in({"precomputed", "upload"}, in(flow, {path("pre.txt")})), 0},
      {in({"precomputed", "upload"}, in(flow, {"-"})), 0, "", "", "head 42\n"},
      {{"precomputed", "upload", kModel, "Ghost", path("pre.txt")}, 1},
      {in({"precomputed", "upload"}, in(flow, {path("binary.dat")})), 33},
  });
  EXPECT_FALSE(contains(talixdb({"browse", "--solvers"}).out, "NoSolver"));
  EXPECT_EQ(readFile(path("copy-2/mesh/grid.msh")), "nodes 2\n0 0 0\n1 0 0\n");
  EXPECT_FALSE(exists(path("base-files")));
  CliResult text = talixdb(in({"report", "modes"}, in(flow, {"blade", "--text", "-o", path("modes.txt")})));
  EXPECT_EQ(text.out.rfind("         1\n", 0), 0u) << text.out;
  EXPECT_EQ(readFile(path("modes.txt")), text.out);
  runSteps({
      {in({"report", "values"}, in(flow, {"hub", "11"})), 0, "2\n4\n6\n"},  // one number per line, as %.15g
      {in({"report", "mode-values"}, in(flow, {"blade", "0"})), 0, "0.6\n0.8\n"},
      {in({"report", "amplitudes"}, in(flow, {"blade", "2"})), 0, "4\n"},
      {in({"report", "clear-modes"}, flow), 0},
      {in({"report", "modes"}, in(flow, {"blade"})), 1, "", "no PCA modes"},
      {in({"report", "amplitudes"}, in(flow, {"blade", "2"})), 1},
  });
}

}  // namespace
}  // namespace talixdb_test
