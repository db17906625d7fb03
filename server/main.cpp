// talixdb-server: the stand-in repository server. See --help.
#include <cstdio>
#include <string>
#include <vector>

#include "Server.h"
#include "ServerOptions.h"
#include "talixdbapi/Version.h"

int main(int argc, char** argv) {
  using namespace talixdb::server;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  ServerOptions options;
  std::string error = parseServerOptions(arguments, options);
  if (options.help) {
    std::fputs(serverUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("talixdb-server %s\n", TALIXDBAPI_VERSION_STRING);
    return 0;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "talixdb-server: %s\n%s", error.c_str(), serverUsage().c_str());
    return 2;
  }
  try {
    return runServer(options);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "talixdb-server: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "talixdb-server: unexpected failure\n");
  }
  return 1;
}
