// Pieces shared by the talixdb program's tests: a suite fixture that starts
// one real server per suite, and sample model, solver and report files.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "support/TestServer.h"

namespace talixdb_test {

class CliSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { startServer(); }
  static void TearDownTestSuite() { stopServer(); }

  static void startServer();
  static void stopServer();
  // Runs talixdb against the suite's server (--server is put first).
  static CliResult talixdb(const std::vector<std::string>& args, const std::string& input = "");
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

// A model of type Equipment/Pumps with ports inlet and outlet, parameters
// speed (CAPE_REAL), stages (CAPE_INT) and file-system (CAPE_OPTION listing
// case.cfg and mesh/grid.msh), species water and air, and one solver
// FlowSolver of the same parts with a surface "blade".
std::string pumpModelJson(const std::string& name);
// A solver that fits the pump model, listing case.cfg only.
std::string extraSolverJson(const std::string& name);
// A surface report: the 40-byte header, then the count and one value per line.
std::string surfaceReport(const std::vector<double>& values);

}  // namespace talixdb_test
