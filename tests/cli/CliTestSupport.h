// Pieces shared by the talixdb program's tests: running the program, a suite
// fixture that starts one real server per suite and walks tables of
// commands, and sample model, solver and report files.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TestServer.h"

namespace talixdb_test {

using CliResult = ProgramResult;
using CliRun = ProgramRun;

// Runs the program; kills it when it has not ended after 120 s.
CliResult runCli(const CliRun& run);
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
bool contains(const std::string& text, const std::string& part);

// One command of a table and what it must give: its exit status, and texts
// its standard output and standard error hold ("" checks nothing).
struct Step {
  Step(std::vector<std::string> args, int exit = 0, std::string out = "", std::string err = "", std::string input = "")
      : args(std::move(args)), exit(exit), out(std::move(out)), err(std::move(err)), input(std::move(input)) {}
  std::vector<std::string> args;
  int exit;
  std::string out, err, input;
};

class CliSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { startServer(); }
  static void TearDownTestSuite() { stopServer(); }

  static void startServer();
  static void stopServer();
  // Runs talixdb against the suite's server (--server is put first).
  static CliResult talixdb(const std::vector<std::string>& args, const std::string& input = "");
  // Runs each step in turn and checks what it gives.
  static void runSteps(const std::vector<Step>& steps);
  // A path in the suite's temporary directory.
  static std::string path(const std::string& name);
  static TestServer& server() { return *s_server; }
  // Writes the sample model file and the solver's local files into the
  // suite's directory; returns the model file's path.
  static std::string writePumpModel(const std::string& name = "CentrifugalPump");

 private:
  static std::unique_ptr<TestServer> s_server;
  static std::unique_ptr<TempDir> s_dir;
};

// A suite whose server holds the database and the pump model (with its solver).
class PumpSuite : public CliSuite {
 protected:
  static void SetUpTestSuite() {
    startServer();
    ASSERT_EQ(talixdb({"db", "create"}).exitCode, 0);
    ASSERT_EQ(talixdb({"model", "upload", writePumpModel()}).exitCode, 0);
  }
};

// A model of type Equipment/Pumps with ports inlet and outlet, parameters
// speed (CAPE_REAL), stages (CAPE_INT) and file-system (CAPE_OPTION listing
// case.cfg and mesh/grid.msh), species water and air, and one solver
// FlowSolver of the same parts with the surfaces "blade" (with grids), "hub"
// and "notes".
std::string pumpModelJson(const std::string& name);
// A solver that fits the pump model, listing case.cfg only, with a surface "json".
std::string extraSolverJson(const std::string& name);
// A surface report: the 40-byte header, then the count and one value per line.
std::string surfaceReport(const std::vector<double>& values);

}  // namespace talixdb_test
