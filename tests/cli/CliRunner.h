// Runs the talixdb program (or another) as a child process and captures what it says.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace talixdb_test {

struct CliResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

struct CliRun {
  std::string program;  // empty: talixdb
  std::vector<std::string> args;
  // Added to the environment, which starts as this process's own without
  // MODELDATABASE_HOME and the TALIXDB_* and VLT_* variables.
  std::vector<std::pair<std::string, std::string>> env;
  std::string input;       // standard input
  std::string workingDir;  // empty: this process's
  // Standard input and standard error are a pseudo-terminal; `err` is then
  // what the terminal shows, and `input` is typed once it shows `typeAfter`.
  bool terminal = false;
  std::string typeAfter;
};

// Runs the program; kills it when it has not ended after 120 s.
CliResult runCli(const CliRun& run);

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// A loopback port that nothing listens on (bound once, then released).
int closedPort();

}  // namespace talixdb_test
