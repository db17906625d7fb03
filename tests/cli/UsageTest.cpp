// The command line itself: help, usage errors, and the failures that need no
// working server (no address, unreachable server, bad input files).
#include <gtest/gtest.h>

#include <map>

#include "cli/CliRunner.h"
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

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CliHelp, ProgramHelpListsEverySubcommandAndExitsZero) {
  CliResult result = talixdb({"--help"});
  EXPECT_EQ(result.exitCode, 0);
  for (const char* name : {"db", "category", "type", "model", "solver", "report", "instance", "browse", "backup",
                           "restore", "users", "servers", "precomputed"})
    EXPECT_TRUE(contains(result.out, std::string("\n  ") + name + " ")) << name;
  EXPECT_TRUE(contains(result.out, "Exit status:"));
  EXPECT_TRUE(contains(result.out, "other local users can see it")) << result.out;
}

TEST(CliHelp, BothProgramsPrintTheirVersion) {
  for (const auto& [program, name] : {std::pair<std::string, std::string>{TALIXDB_CLI_PATH, "talixdb"},
                                      {TALIXDB_SERVER_PATH, "talixdb-server"}}) {
    CliRun run;
    run.args = {"--version"};
    CliResult result = runProgram(program, run);
    EXPECT_EQ(result.exitCode, 0) << name;
    EXPECT_EQ(result.out, name + " " TALIXDBAPI_VERSION_STRING "\n");
  }
}

TEST(CliHelp, EveryActionHasItsOwnHelp) {
  const std::map<std::string, std::vector<std::string>> actions = {
      {"db", {"create", "status"}},
      {"category", {"add", "check"}},
      {"type", {"add", "check"}},
      {"model", {"upload", "download", "check-compat", "delete"}},
      {"solver", {"import", "download"}},
      {"report", {"upload", "values", "modes", "mode-values", "amplitudes", "clear-modes"}},
      {"instance", {"upload", "list", "download", "delete"}},
      {"users", {"create", "count", "disconnect", "delete"}},
      {"servers", {"register", "list"}},
      {"precomputed", {"upload"}},
  };
  for (const auto& family : actions) {
    CliResult familyHelp = talixdb({family.first, "--help"});
    EXPECT_EQ(familyHelp.exitCode, 0) << family.first;
    for (const std::string& action : family.second) {
      EXPECT_TRUE(contains(familyHelp.out, "\n  " + action)) << family.first << " " << action;
      CliResult help = talixdb({family.first, action, "--help"});
      EXPECT_EQ(help.exitCode, 0) << family.first << " " << action;
      EXPECT_EQ(help.out.rfind("usage: talixdb " + family.first + " " + action, 0), 0u) << help.out;
      EXPECT_FALSE(contains(help.out, "....")) << help.out;
    }
  }
  for (const char* single : {"browse", "backup", "restore"}) {
    CliResult help = talixdb({single, "--help"});
    EXPECT_EQ(help.exitCode, 0) << single;
    EXPECT_EQ(help.out.rfind(std::string("usage: talixdb ") + single, 0), 0u) << help.out;
  }
}

TEST(CliHelp, BrowseHelpNamesEveryFilter) {
  CliResult help = talixdb({"browse", "--help"});
  for (const char* option : {"--category-name", "--type-name", "--model-name", "--model-description",
                             "--parameter-name", "--specie-name", "--port-name", "--models", "--solvers"})
    EXPECT_TRUE(contains(help.out, option)) << option;
  EXPECT_TRUE(contains(help.out, "keep models with a parameter whose name contains VALUE")) << help.out;
  EXPECT_FALSE(contains(help.out, "a A ")) << help.out;
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
  EXPECT_TRUE(contains(readFile(man + "talixdb-server.1"), ".TH TALIXDB-SERVER "));
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

TEST(CliUsage, UnknownOptionIsAUsageError) {
  CliResult result = talixdb({"model", "download", "--colour", "red", "A", "B", "C"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(contains(result.err, "unknown option --colour")) << result.err;
  EXPECT_TRUE(contains(result.err, "talixdb model download --help")) << result.err;
}

TEST(CliUsage, UnknownSubcommandAndActionAreUsageErrors) {
  EXPECT_EQ(talixdb({"frobnicate"}).exitCode, 2);
  CliResult action = talixdb({"model", "frobnicate"});
  EXPECT_EQ(action.exitCode, 2);
  EXPECT_TRUE(contains(action.err, "upload, download, check-compat, delete")) << action.err;
  EXPECT_EQ(talixdb({}).exitCode, 2);
  EXPECT_EQ(talixdb({"model"}).exitCode, 2);
}

TEST(CliUsage, MissingOrExtraArgumentsAreUsageErrors) {
  CliResult missing = talixdb({"model", "download", "Equipment", "Pumps"});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_TRUE(contains(missing.err, "needs CATEGORY TYPE MODEL")) << missing.err;
  EXPECT_EQ(talixdb({"db", "status", "extra"}).exitCode, 2);
  EXPECT_EQ(talixdb({"--server"}).exitCode, 2);
}

TEST(CliUsage, ArgumentsOfTheWrongShapeAreUsageErrorsBeforeAnyConnection) {
  // No server is given: the argument is refused before one would be needed.
  CliResult number = talixdb({"report", "values", "A/B/C", "S", "blade", "seven"});
  EXPECT_EQ(number.exitCode, 2);
  EXPECT_TRUE(contains(number.err, "NUMBER must be a whole number, not \"seven\"")) << number.err;
  CliResult path = talixdb({"report", "values", "A/B", "S", "blade", "7"});
  EXPECT_EQ(path.exitCode, 2);
  EXPECT_TRUE(contains(path.err, "MODELPATH must be CATEGORY/TYPE/MODEL")) << path.err;
  EXPECT_EQ(talixdb({"browse", "--model-name", ""}).exitCode, 2);
  EXPECT_EQ(talixdb({"browse", "--models", "--solvers"}).exitCode, 2);
}

TEST(CliConnection, NoServerAddressSaysHowToGiveOne) {
  CliResult result = talixdb({"db", "status"});
  EXPECT_EQ(result.exitCode, 31);
  EXPECT_TRUE(contains(result.err, "give --server HOST:PORT or set MODELDATABASE_HOME")) << result.err;
}

TEST(CliConnection, AddressWithoutTheServicePathIsRefused) {
  CliResult result = talixdb({"db", "status"}, {{"MODELDATABASE_HOME", "http://127.0.0.1:1/other"}});
  EXPECT_EQ(result.exitCode, 31);
  EXPECT_TRUE(contains(result.err, "MODELDATABASE_HOME")) << result.err;
}

TEST(CliConnection, UnreachableServerIsNamed) {
  const std::string address = "127.0.0.1:" + std::to_string(closedPort());
  CliResult result = talixdb({"--server", address, "browse"});
  EXPECT_EQ(result.exitCode, 31);
  EXPECT_TRUE(contains(result.err, "cannot reach the server at " + address)) << result.err;
}

TEST(CliConnection, OptionsTakeValuesEitherWayAndStandAnywhere) {
  const std::string address = "127.0.0.1:" + std::to_string(closedPort());
  const std::vector<std::vector<std::string>> lines = {
      {"--server=" + address, "browse"},
      {"browse", "--server", address},
      {"report", "-v", "values", "A/B/C", "S", "blade", "-5", "--server", address},  // -5 is NUMBER
  };
  for (const auto& line : lines) {
    CliResult result = talixdb(line);
    EXPECT_EQ(result.exitCode, 31) << line[0] << "\n" << result.err;
    EXPECT_TRUE(contains(result.err, "cannot reach the server at " + address)) << result.err;
  }
}

TEST(CliConnection, TimeOutWhileLoggingInIsATimeOutNotARefusal) {
  CannedServer silent("", CannedServer::kSilent);
  CliResult result = talixdb({"--server", silent.address(), "db", "status"}, {{"TALIXDB_IO_TIMEOUT", "1"}});
  EXPECT_EQ(result.exitCode, 31);
  EXPECT_TRUE(contains(result.err, "time-out while logging in")) << result.err;
  EXPECT_FALSE(contains(result.err, "login refused")) << result.err;
}

TEST(CliInput, InvalidModelFileNamesThePlaceOfTheProblem) {
  TempDir dir;
  const std::string file = dir.path() + "/bad.json";
  writeFile(file, R"({"name": "X", "parameters": [{"name": "a"}, {"name": "b"},
                     {"name": "c", "type": "CAPE_OPTION", "options": "case.cfg"}]})");
  CliResult result = talixdb({"model", "upload", file, "--category", "A", "--type", "B"});
  EXPECT_EQ(result.exitCode, 33);
  EXPECT_TRUE(contains(result.err, "parameters[2].options must be a list of texts")) << result.err;
}

TEST(CliInput, ModelFileProblemsAreEachReported) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"name": "X", "ports": [{"name": "p"}, {"name": "p"}]})", "ports[1].name \"p\" repeats ports[0].name"},
      {R"({"name": "X", "colour": "red"})", "colour is not a known key"},
      {R"({"description": "no name"})", "name is missing or empty"},
      {R"({"name": "X", "parameters": [{"name": "s", "type": "CAPE_STRING", "lowerBound": 1}]})",
       "parameters[0] has bounds"},
      {R"({"name": "X", "surfaces": [{"name": "blade"}]})", "surfaces are kept for solvers only"},
      {R"({"name": "X", "solvers": [{"name": "S", "solvers": []}]})", "solvers[0].solvers is not a known key"},
      {R"(["not", "an", "object"])", "the top level must be an object"},
      {R"({"name": )", "not valid JSON"},
  };
  for (const auto& item : cases) {
    writeFile(dir.path() + "/m.json", item.first);
    CliResult result = talixdb({"model", "upload", dir.path() + "/m.json", "--category", "A", "--type", "B"});
    EXPECT_EQ(result.exitCode, 33) << item.first;
    EXPECT_TRUE(contains(result.err, item.second)) << item.first << "\n" << result.err;
  }
}

TEST(CliInput, ModelWithoutCategoryOrTypeIsAUsageError) {
  TempDir dir;
  writeFile(dir.path() + "/m.json", R"({"name": "X"})");
  CliResult result = talixdb({"model", "upload", dir.path() + "/m.json", "--type", "B"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(contains(result.err, "give --category or a \"category\" key")) << result.err;
}

TEST(CliInput, MissingInputFilesAreReportedBeforeAnythingIsStored) {
  TempDir dir;
  CliResult noFile = talixdb({"model", "upload", dir.path() + "/absent.json"});
  EXPECT_EQ(noFile.exitCode, 33);
  EXPECT_TRUE(contains(noFile.err, "cannot read")) << noFile.err;
  // The solver lists case.cfg, which the local directory lacks.
  writeFile(dir.path() + "/pump.json", pumpModelJson("P"));
  CliResult noSolverFile = talixdb({"model", "upload", dir.path() + "/pump.json"});
  EXPECT_EQ(noSolverFile.exitCode, 33);
  EXPECT_TRUE(contains(noSolverFile.err, "lists \"case.cfg\" in its file-system parameter")) << noSolverFile.err;
}

}  // namespace
}  // namespace talixdb_test
