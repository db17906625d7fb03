// The options that stand before (or anywhere around) the subcommand:
// server address, credentials, verbosity and --help.
#pragma once

#include <string>
#include <vector>

namespace talixdb_cli {

struct GlobalOptions {
  // "HOST:PORT"; empty: the address comes from MODELDATABASE_HOME.
  std::string server;
  std::string user;
  std::string password;
  std::string domain;
  // Whether --user / --password were given on the command line (they then
  // also stand for the administrator in administrator operations).
  bool userGiven = false;
  bool passwordGiven = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// Takes the global options out of `args`, wherever they stand before a "--",
// and leaves everything else, in order, in `rest`. Unset credentials are
// filled from TALIXDB_USER / TALIXDB_PASSWORD / TALIXDB_DOMAIN, else "root",
// VLT_ADMIN_PASSWORD or "kelp482", and "Default". Returns "" or a usage error.
std::string extractGlobalOptions(const std::vector<std::string>& args, GlobalOptions& options,
                                 std::vector<std::string>& rest);

// "HOST:PORT" from what --server was given: the address itself, or the whole
// endpoint URL "http://HOST:PORT/vlt/services/QuillonBinding"; an https
// address or endpoint gives "https://HOST:PORT".
std::string serverAddressFromOption(const std::string& text);

}  // namespace talixdb_cli
