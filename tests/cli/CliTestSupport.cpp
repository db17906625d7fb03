#include "cli/CliTestSupport.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace talixdb_test {

CliResult runCli(const CliRun& run) { return runProgram(TALIXDB_CLI_PATH, run); }

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::unique_ptr<TestServer> CliSuite::s_server;
std::unique_ptr<TempDir> CliSuite::s_dir;

void CliSuite::startServer() {
  s_dir = std::make_unique<TempDir>();
  s_server = std::make_unique<TestServer>(std::vector<std::string>{"--quiet"});
}

void CliSuite::stopServer() {
  s_server.reset();
  s_dir.reset();
}

CliResult CliSuite::talixdb(const std::vector<std::string>& args, const std::string& input) {
  CliRun run;
  run.args = {"--server", s_server->address()};
  run.args.insert(run.args.end(), args.begin(), args.end());
  run.input = input;
  run.workingDir = s_dir->path();
  return runCli(run);
}

void CliSuite::runSteps(const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    std::string line;
    for (const std::string& arg : step.args) line += arg + " ";
    CliResult result = talixdb(step.args, step.input);
    EXPECT_EQ(result.exitCode, step.exit) << line << "\n" << result.err;
    EXPECT_TRUE(contains(result.out, step.out)) << line << "\n" << result.out;
    EXPECT_TRUE(contains(result.err, step.err)) << line << "\n" << result.err;
  }
}

std::string CliSuite::path(const std::string& name) { return s_dir->path() + "/" + name; }

std::string CliSuite::writePumpModel(const std::string& name) {
  mkdir(path("mesh").c_str(), 0755);
  writeFile(path("case.cfg"), "iterations = 500\n");
  writeFile(path("mesh/grid.msh"), "nodes 2\n0 0 0\n1 0 0\n");
  std::string file = path(name + ".json");
  writeFile(file, pumpModelJson(name));
  return file;
}

namespace {

const char kPorts[] =
    R"("ports": [{"name": "inlet", "description": "feed", "type": "material", "direction": "in"},
                 {"name": "outlet", "description": "discharge", "type": "material", "direction": "out"}])";

const char kParameters[] =
    R"("parameters": [
        {"name": "speed", "description": "shaft speed", "type": "CAPE_REAL", "mode": "input",
         "dimensionality": "1", "defaultValue": 1450, "lowerBound": 0, "upperBound": 3000},
        {"name": "stages", "type": "CAPE_INT", "defaultValue": "2", "lowerBound": "1", "upperBound": "8"},
        {"name": "file-system", "type": "CAPE_OPTION", "options": ["case.cfg", "mesh/grid.msh"]}])";

}  // namespace

std::string pumpModelJson(const std::string& name) {
  return std::string(R"({"category": "Equipment", "type": "Pumps", "name": ")") + name +
         R"(", "description": "A single-stage centrifugal pump", )" + kPorts + ", " + kParameters +
         R"(, "species": ["water", "air"],
  "solvers": [{"name": "FlowSolver", "description": "Steady RANS solver", "command": "flowsolve case.cfg", )" +
         kPorts + ", " + kParameters + R"(,
    "sortedModelComponents": ["water", "air"],
    "surfaces": [{"name": "blade", "nodePositions": "0 0 0\n1 0 0\n", "gridConnectivity": "0 1\n"},
                 {"name": "hub"}, {"name": "notes"}]}]})";
}

std::string extraSolverJson(const std::string& name) {
  return std::string(R"({"name": ")") + name + R"(", )" + kPorts + R"(,
  "parameters": [{"name": "speed", "type": "CAPE_REAL"}, {"name": "stages", "type": "CAPE_INT"},
                 {"name": "file-system", "type": "CAPE_OPTION", "options": ["case.cfg"]}],
  "sortedModelComponents": ["water", "air"], "surfaces": [{"name": "json"}]})";
}

std::string surfaceReport(const std::vector<double>& values) {
  std::string bytes = "TALIX_Report_2";
  bytes.push_back('\0');
  bytes.append(25, ' ');
  bytes += std::to_string(values.size()) + "\n";
  for (double value : values) {
    char line[64];
    std::snprintf(line, sizeof line, "%.12g\n", value);
    bytes += line;
  }
  return bytes;
}

}  // namespace talixdb_test
