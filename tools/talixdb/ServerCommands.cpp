// talixdb servers: the register of simulation servers kept on the
// repository server.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "ExitCodes.h"
#include "JsonOutput.h"

namespace talixdb_cli {

namespace {

int registerServer(Context& context, const ParsedArgs& args);
int listServers(Context& context, const ParsedArgs& args);

}  // namespace

Family serversFamily() {
  return Family{"servers",
                "Register simulation servers and list the register",
                {
                    {"register", "NAME", "Add a simulation server to the register", 1, 1,
                     {{"replace", 0, "", "remove an existing registration of NAME first"}}, registerServer, ""},
                    {"list", "", "Print the registered simulation servers, one per line", 0, 0, {kJsonOption},
                     listServers, "With --json: {\"servers\": [NAME, ...]}.\n"},
                }};
}

namespace {

int registerServer(Context& context, const ParsedArgs& args) {
  const std::string& name = args.positionals[0];
  if (name.empty() || name.find('/') != std::string::npos)
    return context.fail(exit_code::kUsage, "NAME must be one name without \"/\"");
  if (int loggedIn = context.session.login()) return loggedIn;
  ConsoleLogger::OutcomesAsProgress quiet(context.logger);
  if (!context.db().registerTALIXSimulationServer(name.c_str(), !args.has("replace")))
    return context.fail(exit_code::kRefused, "simulation server " + name + " was not registered");
  std::printf("registered simulation server %s\n", name.c_str());
  return exit_code::kSuccess;
}

int listServers(Context& context, const ParsedArgs& args) {
  if (int loggedIn = context.session.login()) return loggedIn;
  VLT_121::CVLTDatabase& db = context.db();
  db.downloadRegisteredSimulationServers();
  std::vector<std::string> names;
  for (int i = 0; i < db.getNrRegisteredSimulationServers(); ++i) names.emplace_back(db.getRegisteredSimulationServer(i));
  if (args.has("json")) {
    printJson({{"servers", names}});
  } else {
    for (const std::string& name : names) std::printf("%s\n", name.c_str());
  }
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
