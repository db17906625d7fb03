// Subcommands: how each is described (for parsing and --help) and what it
// gets to work with when it runs.
#pragma once

#include <string>
#include <vector>

#include "CommandArgs.h"
#include "ConsoleLogger.h"
#include "GlobalOptions.h"
#include "Session.h"

namespace talixdb_cli {

// What a running subcommand works with. Subcommands check their local input
// first and connect (session.login() or session.open()) only when it is fine.
struct Context {
  const GlobalOptions& options;
  ConsoleLogger& logger;
  Session& session;
  Supervisor& supervisor;

  VLT_121::CVLTDatabase& db() { return session.db(); }
  // Reports `message` as an error and returns `code`.
  int fail(int code, const std::string& message);
  // Reports "`what`: <plain words for the library result code>" and returns it.
  int failWithResult(int code, const std::string& what);
};

using Handler = int (*)(Context& context, const ParsedArgs& args);

struct CommandSpec {
  std::string name;       // "upload"; empty in a family of one command (backup)
  std::string arguments;  // synopsis of the positionals: "CATEGORY TYPE MODEL"
  std::string summary;    // one line
  int minPositionals = 0;
  int maxPositionals = 0;  // -1: no upper limit
  std::vector<OptionSpec> options;
  Handler handler = nullptr;
  std::string details;  // further help text, may be empty
};

struct Family {
  std::string name;
  std::string summary;
  std::vector<CommandSpec> commands;
};

// Every family, in the order --help lists them.
const std::vector<Family>& allFamilies();

Family databaseFamily();
Family categoryFamily();
Family typeFamily();
Family modelFamily();
Family solverFamily();
Family reportFamily();
Family instanceFamily();
Family browseFamily();
Family backupFamily();
Family restoreFamily();
Family usersFamily();
Family sessionFamily();
Family serversFamily();
Family precomputedFamily();

}  // namespace talixdb_cli
