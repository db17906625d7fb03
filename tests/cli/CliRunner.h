// Runs the talixdb program as a child process and captures what it says.
#pragma once

#include <string>

#include "support/ProgramRun.h"

namespace talixdb_test {

using CliResult = ProgramResult;
using CliRun = ProgramRun;

// Runs the program; kills it when it has not ended after 120 s.
CliResult runCli(const CliRun& run);

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// A loopback port that nothing listens on (bound once, then released).
int closedPort();

}  // namespace talixdb_test
