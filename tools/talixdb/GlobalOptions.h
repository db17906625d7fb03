// The options that may stand anywhere on the line: server address,
// credentials, verbosity, --help and --version.
#pragma once

#include <string>
#include <vector>

#include "CommandArgs.h"

namespace talixdb_cli {

struct GlobalOptions {
  // The address as CVLTDatabase::open takes it; empty: it comes from
  // MODELDATABASE_HOME.
  std::string server;
  std::string user;
  std::string domain;
  // From --password or --password-file; otherwise the session finds one
  // when it logs in (Session::userPassword).
  std::string password;
  // Whether --user / --password (or --password-file) were given on the
  // command line: they then also stand for the administrator in
  // administrator operations.
  bool userGiven = false;
  bool passwordGiven = false;
  // --timeout: seconds the whole command may take (0: no limit).
  int timeout = 0;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// The global options, for the parser.
const std::vector<OptionSpec>& globalOptionSpecs();

// Fills `options` from the parsed global options; unset ones from
// TALIXDB_USER / TALIXDB_DOMAIN, else "root" and "Default". Reads the
// password file. Returns 0, or exit_code::kUsage / kBadInput with `error`.
int readGlobalOptions(const ParsedArgs& parsed, GlobalOptions& options, std::string& error);

}  // namespace talixdb_cli
