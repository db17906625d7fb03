// talixdb-server: the stand-in repository server. See --help.
#include <cstdio>
#include <string>
#include <vector>

#include "app/Server.h"
#include "app/ServerOptions.h"
#include "app/StoreCommands.h"

namespace {

int run(const talixdb::server::ServerOptions& options) {
  using namespace talixdb::server;
  switch (options.command) {
    case ServerCommand::Help:
      std::fputs(serverUsage().c_str(), stdout);
      return 0;
    case ServerCommand::Version:
      std::printf("%s\n", serverVersion().c_str());
      return 0;
    case ServerCommand::SetAdminPassword:
      return setAdministratorPassword(options);
    case ServerCommand::EndSessions:
      return endUserSessions(options);
    case ServerCommand::Backup:
      return backUpStore(options);
    case ServerCommand::Serve:
      break;
  }
  return runServer(options);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace talixdb::server;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  ServerOptions options;
  std::string error = parseServerOptions(arguments, options);
  if (!error.empty()) {
    // The whole help would bury the one line that matters.
    std::fprintf(stderr,
                 "talixdb-server: %s\n"
                 "usage: talixdb-server (--data DIR | --store URI) [options]\n"
                 "Run \"talixdb-server --help\" for the options.\n",
                 error.c_str());
    return 2;
  }
  try {
    return run(options);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "talixdb-server: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "talixdb-server: unexpected failure\n");
  }
  return 1;
}
