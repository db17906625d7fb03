// report, instance and precomputed against a real server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CliTestSupport.h"

namespace talixdb_test {
namespace {

const char kModel[] = "Equipment/Pumps/CentrifugalPump";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<double> numbers(const std::string& text) {
  std::vector<double> values;
  std::istringstream lines(text);
  double value = 0;
  while (lines >> value) values.push_back(value);
  return values;
}

class ResultsCli : public CliSuite {
 protected:
  static void SetUpTestSuite() {
    startServer();
    ASSERT_EQ(talixdb({"db", "create"}).exitCode, 0);
    ASSERT_EQ(talixdb({"model", "upload", writePumpModel()}).exitCode, 0);
  }
};

TEST_F(ResultsCli, ReportUploadNumbersTheFilesAndShowsProgress) {
  writeFile(path("a.rep"), surfaceReport({1, 2, 3}));
  writeFile(path("b.rep"), surfaceReport({2, 4, 6}));
  CliResult result = talixdb({"report", "upload", kModel, "FlowSolver", "hub", "10", path("a.rep"), path("b.rep")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(contains(result.out, "numbers 10 to 11")) << result.out;
  EXPECT_TRUE(contains(result.err, "(2/2)")) << result.err;
  EXPECT_EQ(numbers(talixdb({"report", "values", kModel, "FlowSolver", "hub", "11"}).out),
            (std::vector<double>{2, 4, 6}));
}

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
         EXPECT_EQ(j["server"], server().address());
         EXPECT_EQ(j["user"], "root");
         EXPECT_EQ(j["database"], "/Repository/talixdb");
         EXPECT_EQ(j["exists"], true);
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
      {{"users", "count"}, [](const json& j) { EXPECT_EQ(j, json({{"count", 0}})); }},
      {{"servers", "list"}, [](const json& j) { EXPECT_EQ(j, json({{"servers", {"json-node"}}})); }},
      {{"report", "values", kModel, "JsonSolver", "json", "1"},
       [](const json& j) { EXPECT_EQ(j, json({{"number", 1}, {"values", {1.5, 2.0}}})); }},
      {{"report", "modes", kModel, "JsonSolver", "json", "--text"},
       [](const json& j) {
         EXPECT_EQ(j["count"], 1);
         EXPECT_EQ(j["text"].get<std::string>().rfind("         1\n", 0), 0u);
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

TEST_F(ResultsCli, ValuesOfAMissingReportExitOne) {
  CliResult result = talixdb({"report", "values", kModel, "FlowSolver", "hub", "999"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "no report 999 of surface hub")) << result.err;
}

TEST_F(ResultsCli, ModesFollowTheReportsAndClearModesRemovesThem) {
  writeFile(path("r1.rep"), surfaceReport({1.2, 1.6}));
  writeFile(path("r2.rep"), surfaceReport({2.4, 3.2}));
  ASSERT_EQ(talixdb({"report", "upload", kModel, "FlowSolver", "blade", "1", path("r1.rep"), path("r2.rep")}).exitCode,
            0);
  // The second report is twice the first: one mode holds both.
  EXPECT_EQ(talixdb({"report", "modes", kModel, "FlowSolver", "blade"}).out, "1\n");
  std::vector<double> mode = numbers(talixdb({"report", "mode-values", kModel, "FlowSolver", "blade", "0"}).out);
  ASSERT_EQ(mode.size(), 2u);
  EXPECT_NEAR(mode[0], 0.6, 1e-12);
  EXPECT_NEAR(mode[1], 0.8, 1e-12);
  std::vector<double> amplitudes = numbers(talixdb({"report", "amplitudes", kModel, "FlowSolver", "blade", "2"}).out);
  ASSERT_EQ(amplitudes.size(), 1u);
  EXPECT_NEAR(amplitudes[0], 4.0, 1e-12);
  CliResult text = talixdb({"report", "modes", kModel, "FlowSolver", "blade", "--text", "-o", path("modes.txt")});
  EXPECT_EQ(text.out.rfind("         1\n", 0), 0u) << text.out;
  EXPECT_EQ(readFile(path("modes.txt")), text.out);
  CliResult outOfRange = talixdb({"report", "mode-values", kModel, "FlowSolver", "blade", "1"});
  EXPECT_EQ(outOfRange.exitCode, 1);
  EXPECT_TRUE(contains(outOfRange.err, "it has 1 modes")) << outOfRange.err;

  EXPECT_EQ(talixdb({"report", "clear-modes", kModel, "FlowSolver"}).exitCode, 0);
  CliResult none = talixdb({"report", "modes", kModel, "FlowSolver", "blade"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_TRUE(contains(none.err, "no PCA modes")) << none.err;
  EXPECT_EQ(talixdb({"report", "amplitudes", kModel, "FlowSolver", "blade", "2"}).exitCode, 1);
}

TEST_F(ResultsCli, ReportsForAMissingSolverAreNotStored) {
  writeFile(path("lost.rep"), surfaceReport({1}));
  CliResult result = talixdb({"report", "upload", kModel, "NoSolver", "blade", "1", path("lost.rep")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "no solver NoSolver in model Equipment/Pumps/CentrifugalPump")) << result.err;
  CliResult browse = talixdb({"browse", "--solvers"});
  EXPECT_FALSE(contains(browse.out, "NoSolver")) << browse.out;
}

TEST_F(ResultsCli, FileWithoutReportHeaderIsStoredWithAWarning) {
  writeFile(path("plain.txt"), "not a report\n");
  CliResult result = talixdb({"report", "upload", kModel, "FlowSolver", "notes", "1", path("plain.txt")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(contains(result.err, "has no TALIX_Report_2 header")) << result.err;
  CliResult values = talixdb({"report", "values", kModel, "FlowSolver", "notes", "1"});
  EXPECT_EQ(values.exitCode, 1);
  EXPECT_TRUE(contains(values.err, "is not a surface report")) << values.err;
}

TEST_F(ResultsCli, InstancesAreSavedListedFetchedAndDeleted) {
  CliResult first = talixdb({"instance", "upload", kModel, "FlowSolver", path(".")});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_TRUE(contains(first.out, "saved instance 1 ")) << first.out;
  EXPECT_TRUE(contains(first.err, "Uploading instance:")) << first.err;
  EXPECT_TRUE(contains(talixdb({"instance", "upload", kModel, "FlowSolver", path(".")}).out, "saved instance 2 "));

  CliResult list = talixdb({"instance", "list", kModel, "FlowSolver"});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_TRUE(contains(list.out, "1\t")) << list.out;
  EXPECT_TRUE(contains(list.out, "\t000000002-")) << list.out;

  CliResult fetched = talixdb({"instance", "download", kModel, "FlowSolver", "2", path("copy-2")});
  EXPECT_EQ(fetched.exitCode, 0) << fetched.err;
  EXPECT_EQ(readFile(path("copy-2/mesh/grid.msh")), "nodes 2\n0 0 0\n1 0 0\n");

  EXPECT_EQ(talixdb({"instance", "delete", kModel, "FlowSolver", "2"}).exitCode, 0);
  CliResult again = talixdb({"instance", "delete", kModel, "FlowSolver", "2"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(contains(again.err, "no instance 2 of solver FlowSolver")) << again.err;
}

TEST_F(ResultsCli, MissingInstanceExitsOneAndCopiesNothing) {
  CliResult result = talixdb({"instance", "download", kModel, "FlowSolver", "77", path("base-files")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "no instance 77 of solver FlowSolver")) << result.err;
  EXPECT_FALSE(exists(path("base-files")));
}

TEST_F(ResultsCli, InstancesOfAMissingSolverAreRefused) {
  EXPECT_EQ(talixdb({"instance", "list", kModel, "Ghost"}).exitCode, 1);
  EXPECT_EQ(talixdb({"instance", "upload", kModel, "Ghost", path(".")}).exitCode, 1);
  EXPECT_EQ(talixdb({"instance", "download", kModel, "Ghost", "1", path("ghost")}).exitCode, 21);
  EXPECT_EQ(talixdb({"instance", "upload", kModel, "FlowSolver", path("no-such-dir")}).exitCode, 33);
}

TEST_F(ResultsCli, PrecomputedResultsAreStoredFromAFileOrStandardInput) {
  writeFile(path("pre.txt"), "efficiency 0.82\n");
  EXPECT_EQ(talixdb({"precomputed", "upload", kModel, "FlowSolver", path("pre.txt")}).exitCode, 0);
  EXPECT_EQ(talixdb({"precomputed", "upload", kModel, "FlowSolver", "-"}, "head 42\n").exitCode, 0);
  EXPECT_EQ(talixdb({"precomputed", "upload", kModel, "Ghost", path("pre.txt")}).exitCode, 1);
  writeFile(path("binary.dat"), std::string("a\0b", 3));
  EXPECT_EQ(talixdb({"precomputed", "upload", kModel, "FlowSolver", path("binary.dat")}).exitCode, 33);
}

}  // namespace
}  // namespace talixdb_test
