// Runs a program of the project as a child process and captures what it says.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace talixdb_test {

struct ProgramResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out, err;
};

struct ProgramRun {
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
  // When not empty (with `terminal`): the program gets Ctrl-C (SIGINT), or
  // `interruptSignal`, once standard error shows this text, while its output
  // is held, so that what the text announced is still under way when the
  // signal comes.
  std::string interruptAfter;
  int interruptSignal = 2;  // SIGINT
};

// For a child just forked from `parent`: killed (SIGKILL) when the thread that
// forked it ends, so no test that crashes or times out leaves it behind.
void dieWithParent(pid_t parent);

// Runs `program` with `run`; kills it when it has not ended after `timeout`.
ProgramResult runProgram(const std::string& program, const ProgramRun& run,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(120000));

}  // namespace talixdb_test
