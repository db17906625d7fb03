// The command line itself: help, usage errors, and the failures that need no
// working server (no address, unreachable server, bad input files).
#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "support/CannedServer.h"
#include "support/TestServer.h"
#include "talixdbapi/Version.h"

namespace talixdb_test {
namespace {

CliResult talixdb(const std::vector<std::string>& args, std::vector<std::pair<std::string, std::string>> env = {}) {
  CliRun run;
  run.args = args;
  run.env = std::move(env);
  return runCli(run);
}

TEST(CliHelp, HelpListsEverySubcommandAndTheVersionIsPrinted) {
  CliResult result = talixdb({"--help"});
  EXPECT_EQ(result.exitCode, 0);
  for (const char* name : {"db", "category", "type", "model", "solver", "report", "instance", "browse", "backup",
                           "restore", "users", "servers", "precomputed"})
    EXPECT_TRUE(contains(result.out, std::string("\n  ") + name + " ")) << name;
  for (const char* part : {"Exit status:", "other local users can see it", "\nEnvironment:\n  MODELDATABASE_HOME",
                           "  TALIXDB_CA_FILE", "  TALIXDB_KEEPALIVE", "  TALIXDB_CALL_TIMEOUT", "\nExamples:\n",
                           "  39     not a repository server", "  143    stopped by SIGTERM", "Pool logins:",
                           "~/.config/talixdb/logins", "--timeout SECONDS"})
    EXPECT_TRUE(contains(result.out, part)) << part;
  CliResult version = talixdb({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "talixdb " TALIXDBAPI_VERSION_STRING "\n");
}

TEST(CliDocs, ManPagesAndCompletionsAreInstalledAndComplete) {
  TempDir prefix;
  CliRun install;
  install.args = {"--install", TALIXDB_BUILD_DIR, "--component", "docs", "--prefix", prefix.path()};
  CliResult installed = runProgram(TALIXDB_CMAKE_COMMAND, install);
  ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;
  const std::string man = prefix.path() + "/share/man/man1/";
  const std::string talixdbPage = readFile(man + "talixdb.1");
  EXPECT_TRUE(contains(talixdbPage, ".TH TALIXDB ")) << talixdbPage;
  EXPECT_TRUE(contains(talixdbPage, ".SS \"talixdb report amplitudes\"")) << talixdbPage;
  const std::string serverPage = readFile(man + "talixdb-server.1");
  EXPECT_TRUE(contains(serverPage, ".TH TALIXDB-SERVER "));
  // Sections of their own, and no heading whose quotes break a roff line.
  for (const std::string& page : {talixdbPage, serverPage}) {
    for (const char* section : {".SH ENVIRONMENT", ".SH EXAMPLES", ".SH \"SEE ALSO\""})
      EXPECT_TRUE(contains(page, section)) << section;
    EXPECT_FALSE(contains(page, "VALUE\\(dq")) << page;
  }
  const std::string completions = prefix.path() + "/share/bash-completion/completions/";
  const std::vector<std::vector<std::string>> cases = {
      {"talixdb", "talixdb --server=127.0.0.1:8080 mo", "model"},
      {"talixdb", "talixdb report modes A/B/C S blade --te", "--text"},
      {"talixdb-server", "talixdb-server --da", "--data"},
  };
  for (const auto& item : cases) {
    CliRun complete;
    // Sources the script and calls its function as bash would for LINE.
    complete.args = {"-c",
                     "source \"$0\"; COMP_LINE=$1; COMP_POINT=${#1}; read -ra COMP_WORDS <<< \"$1\"; "
                     "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _$(basename \"$0\" | tr - _); echo \"${COMPREPLY[*]}\"",
                     completions + item[0], item[1]};
    CliResult result = runProgram("/bin/bash", complete);
    EXPECT_EQ(result.out, item[2] + "\n") << item[1] << "\n" << result.err;
  }
}

// Usage errors (2) come before any connection; each kind of connection failure
// has its status and its words (the time limit that ran out by its name). None
// of these needs a working server.
TEST(CliUsage, UsageAndConnectionErrorsExitWithTheirStatusAndSayWhy) {
  const std::string closed = "127.0.0.1:1";  // nothing listens there
  const std::string unreachable = "connection refused by " + closed + ": no server listens on port 1 of 127.0.0.1";
  CannedServer silent("", CannedServer::kSilent);
  const std::string noAnswer = "no answer from " + silent.address() + " within 1 s";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> env;
    int exit;
    std::string err;
  };
  const Case cases[] = {
      {{"model", "download", "--colour", "red", "A", "B", "C"}, {}, 2, "unknown option --colour"},
      {{"model", "download", "--colour", "red", "A", "B", "C"}, {}, 2, "talixdb model download --help"},
      {{"frobnicate"}, {}, 2, ""},
      {{"model", "frobnicate"}, {}, 2, "upload, download, check-compat, delete"},
      {{}, {}, 2, ""},
      {{"model"}, {}, 2, ""},
      {{"model", "download", "Equipment", "Pumps"}, {}, 2, "needs CATEGORY TYPE MODEL"},
      {{"db", "status", "extra"}, {}, 2, ""},
      {{"--server"}, {}, 2, "option --server needs a value (ADDRESS)"},
      {{"report", "values", "A/B/C", "S", "blade", "seven"}, {}, 2, "NUMBER must be a whole number, not \"seven\""},
      {{"report", "values", "A/B", "S", "blade", "7"}, {}, 2, "MODELPATH must be CATEGORY/TYPE/MODEL"},
      {{"browse", "--model-name", ""}, {}, 2, ""},
      {{"browse", "--models", "--solvers"}, {}, 2, ""},
      {{"--timeout", "0", "db", "status"}, {}, 2, "--timeout needs a whole number of seconds above 0"},
      {{"db", "status"}, {}, 31, "give --server HOST:PORT or set MODELDATABASE_HOME"},
      {{"db", "status"}, {{"MODELDATABASE_HOME", "http://127.0.0.1:1/other"}}, 31, "MODELDATABASE_HOME"},
      // Options stand anywhere; -5 is a NUMBER.
      {{"--server", closed, "browse"}, {}, 36, unreachable},
      {{"browse", "--server", closed}, {}, 36, unreachable},
      {{"report", "-v", "values", "A/B/C", "S", "blade", "-5", "--server", closed}, {}, 36, unreachable},
      {{"--server", "no-such-host.invalid:80", "db", "status"},
       {},
       35,
       "cannot resolve the host name no-such-host.invalid"},
      {{"--server", silent.address(), "db", "status"},
       {{"TALIXDB_IO_TIMEOUT", "1"}},
       37,
       noAnswer + " (TALIXDB_IO_TIMEOUT)"},
      {{"--server", silent.address(), "db", "status"},
       {{"TALIXDB_CALL_TIMEOUT", "1"}},
       37,
       noAnswer + " (TALIXDB_CALL_TIMEOUT)"},
      {{"--server", silent.address(), "--timeout", "1", "db", "status"}, {}, 37, noAnswer + " (--timeout"},
  };
  for (const Case& c : cases) {
    CliResult result = talixdb(c.args, c.env);
    EXPECT_EQ(result.exitCode, c.exit) << c.err << "\n" << result.err;
    EXPECT_TRUE(contains(result.err, c.err)) << result.err;
    EXPECT_FALSE(contains(result.err, "login refused")) << result.err;
  }
  // On a terminal, a note tells what the command waits for.
  CliRun waiting;
  waiting.args = {"--server", silent.address(), "--timeout", "3", "db", "status"};
  waiting.terminal = true;
  CliResult noted = runCli(waiting);
  EXPECT_EQ(noted.exitCode, 37);
  EXPECT_TRUE(contains(noted.err, "waiting for " + silent.address() + "...")) << noted.err;
}

// Each problem of an input file is named before anything is stored (33).
TEST(CliInput, InputFileProblemsAreEachReported) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"name": "X", "parameters": [{"name": "a"}, {"name": "b"},
          {"name": "c", "type": "CAPE_OPTION", "options": "case.cfg"}]})",
       "parameters[2].options must be a list of texts"},
      {R"({"name": "X", "ports": [{"name": "p"}, {"name": "p"}]})", "ports[1].name \"p\" repeats ports[0].name"},
      {R"({"name": "X", "colour": "red"})", "colour is not a known key"},
      {R"({"description": "no name"})", "name is missing or empty"},
      {R"({"name": "X", "parameters": [{"name": "s", "type": "CAPE_STRING", "lowerBound": 1}]})",
       "parameters[0] has bounds"},
      {R"({"name": "X", "surfaces": [{"name": "blade"}]})", "surfaces are kept for solvers only"},
      {R"({"name": "X", "solvers": [{"name": "S", "solvers": []}]})", "solvers[0].solvers is not a known key"},
      {R"(["not", "an", "object"])", "the top level must be an object"},
      {R"({"name": )", "not valid JSON"},
      // The solver lists case.cfg, which the local directory lacks.
      {pumpModelJson("P"), "lists \"case.cfg\" in its file-system parameter"},
  };
  for (const auto& item : cases) {
    writeFile(dir.path() + "/m.json", item.first);
    CliResult result = talixdb({"model", "upload", dir.path() + "/m.json", "--category", "A", "--type", "B"});
    EXPECT_EQ(result.exitCode, 33) << item.first;
    EXPECT_TRUE(contains(result.err, item.second)) << item.first << "\n" << result.err;
  }
  CliResult noFile = talixdb({"model", "upload", dir.path() + "/absent.json"});
  EXPECT_EQ(noFile.exitCode, 33);
  EXPECT_TRUE(contains(noFile.err, "cannot read")) << noFile.err;
  writeFile(dir.path() + "/m.json", R"({"name": "X"})");
  CliResult untyped = talixdb({"model", "upload", dir.path() + "/m.json", "--type", "B"});
  EXPECT_EQ(untyped.exitCode, 2);
  EXPECT_TRUE(contains(untyped.err, "give --category or a \"category\" key")) << untyped.err;
}

}  // namespace
}  // namespace talixdb_test
