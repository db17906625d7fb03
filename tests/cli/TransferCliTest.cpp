// Large file transfers of the talixdb program against a real server: the
// progress bar on a terminal, and signals in the middle of a transfer.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "cli/CliTestSupport.h"
#include "support/CannedServer.h"

namespace talixdb_test {
namespace {

using nlohmann::json;

const char kModel[] = "Equipment/Pumps/CentrifugalPump";
const char kInterrupted[] =
    "talixdb: interrupted: the transfer in progress was stopped and left no partial file; what was done before it "
    "stays";
// Large enough that Ctrl-C sent when the bar first shows arrives long
// before the transfer could end.
constexpr std::size_t kHugeFile = std::size_t(128) << 20;

class TransferCli : public PumpSuite {
 protected:
  // talixdb with standard input and standard error on a terminal.
  static CliRun onTerminal(const std::vector<std::string>& args) {
    CliRun run;
    run.args = {"--server", server().address(), "--password", kAdminPassword};
    run.args.insert(run.args.end(), args.begin(), args.end());
    run.terminal = true;
    run.workingDir = path("");
    return run;
  }
};

TEST_F(TransferCli, LargeFilesShowABarOnATerminalOnly) {
  writeFile(path("large.bin"), std::string(std::size_t(8) << 20, 'x'));
  writeFile(path("small.bin"), std::string(std::size_t(1) << 20, 'x'));
  const struct {
    const char* file;
    bool terminal;
    bool bar;
  } cases[] = {{"large.bin", true, true}, {"large.bin", false, false}, {"small.bin", true, false}};
  int number = 1;
  for (const auto& c : cases) {
    const std::vector<std::string> args = {"report", "upload", kModel, "FlowSolver", "blade",
                                           std::to_string(number++), path(c.file)};
    CliResult result = c.terminal ? runCli(onTerminal(args)) : talixdb(args);
    ASSERT_EQ(result.exitCode, 0) << c.file << "\n" << result.err;
    EXPECT_EQ(contains(result.err, "transfer [........................] 0% 0.0/8.0 MiB"), c.bar) << result.err;
    EXPECT_EQ(contains(result.err, "transfer [########################] 100% 8.0/8.0 MiB"), c.bar) << result.err;
    EXPECT_FALSE(contains(result.err, "/1.0 MiB")) << result.err;
    EXPECT_EQ(result.out.rfind("stored 1 report(s) of surface blade", 0), 0u) << result.out;
  }
}

// Ctrl-C, SIGTERM and SIGHUP stop a transfer the same way, each with its
// status; a closed output (SIGPIPE) ends the command as well. The session
// ends with the command every time: the same user logs in again at once.
TEST_F(TransferCli, SignalsStopATransferKeepNothingPartialAndEndTheSession) {
  std::filesystem::create_directory(path("huge"));
  writeFile(path("huge/case.cfg"), "y");
  std::filesystem::resize_file(path("huge/case.cfg"), kHugeFile);  // sparse
  writeFile(path("huge-solver.json"), extraSolverJson("HugeSolver"));
  ASSERT_EQ(talixdb({"solver", "import", "Equipment", "Pumps", "CentrifugalPump", path("huge-solver.json"), "--dir",
                     path("huge")})
                .exitCode,
            0);
  const std::string fetched = path("fetched");
  // Transfers pass a relay that keeps them from ending before the signal.
  RelayServer slow(server().port(), {}, 16 << 20);
  const std::vector<std::string> upload = {"--server", slow.address(), "report", "upload", kModel, "FlowSolver",
                                           "blade", "99", path("huge/case.cfg")};
  const struct {
    const char* what;
    std::vector<std::string> args;
    int signal;
  } cases[] = {
      {"upload", upload, SIGTERM},
      {"download",
       {"--server", slow.address(), "solver", "download", std::string(kModel) + "/Solvers/HugeSolver", fetched},
       SIGINT},
      {"upload", upload, SIGHUP},
  };
  for (const auto& c : cases) {
    CliRun run = onTerminal(c.args);
    run.interruptAfter = "transfer [";
    run.interruptSignal = c.signal;
    CliResult result = runCli(run);
    EXPECT_EQ(result.exitCode, 128 + c.signal) << c.what << "\n" << result.err;
    // After the bar is cleared: the one line, no failure of the command.
    const std::string::size_type cleared = result.err.rfind("\033[K");
    ASSERT_NE(cleared, std::string::npos) << c.what << "\n" << result.err;
    EXPECT_EQ(result.err.substr(cleared + 3), std::string(kInterrupted) + "\r\n") << c.what;
    EXPECT_EQ(talixdb({"db", "status"}).exitCode, 0) << c.what;
  }
  // A stop takes a model upload back, with the solver whose file was moving.
  json model = json::parse(pumpModelJson("Stopped"));
  model["solvers"][0]["parameters"][2]["options"] = {"huge/case.cfg"};
  writeFile(path("stopped.json"), model.dump());
  CliRun stopped = onTerminal({"model", "upload", path("stopped.json")});
  stopped.interruptAfter = "transfer [";
  CliResult removed = runCli(stopped);
  EXPECT_EQ(removed.exitCode, 130) << removed.err;
  EXPECT_TRUE(contains(removed.err, "removed what this upload stored: model Equipment/Pumps/Stopped\r\n"))
      << removed.err;
  EXPECT_EQ(talixdb({"model", "download", "Equipment", "Pumps", "Stopped"}).exitCode, 1);
  // Standard output a pipe whose reader has gone, as in "talixdb browse --json | (exec true)".
  CliRun piped;
  piped.args = {"-c",
                "import os, subprocess, sys\nr, w = os.pipe()\nos.close(r)\n"
                "print(subprocess.run(sys.argv[1:], stdout=w, stderr=subprocess.DEVNULL).returncode)",
                TALIXDB_CLI_PATH, "--server", server().address(), "--password", kAdminPassword, "browse", "--json"};
  EXPECT_EQ(runProgram("/usr/bin/python3", piped).out, "141\n");
  EXPECT_EQ(talixdb({"db", "status"}).exitCode, 0);
  CliResult report = talixdb({"report", "values", kModel, "FlowSolver", "blade", "99"});
  EXPECT_TRUE(contains(report.err, "no report 99 of surface blade")) << report.err;
  // The download's directory may be there, but holds no file, whole or partial.
  if (std::filesystem::exists(fetched)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(fetched))
      EXPECT_FALSE(entry.is_regular_file()) << entry.path();
  }
}

}  // namespace
}  // namespace talixdb_test
