#include "GlobalOptions.h"

#include <cstdlib>

#include "ExitCodes.h"
#include "LocalFiles.h"
#include "ServerAddress.h"

namespace talixdb_cli {

namespace {

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : fallback;
}

// The first line of a password file, without its line end.
bool readPasswordFile(const std::string& path, std::string& password, std::string& error) {
  std::string content;
  if (!readLocalFile(path, content, error)) return false;
  password = content.substr(0, content.find('\n'));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

}  // namespace

const std::vector<OptionSpec>& globalOptionSpecs() {
  // The help text of these is the hand-written block in Help.cpp.
  static const std::vector<OptionSpec> known = {
      {"server", 0, "ADDRESS", "", false, true},      {"user", 0, "NAME", "", false, true},
      {"password", 0, "TEXT", "", false, true},       {"password-file", 0, "FILE", "", false, true},
      {"domain", 0, "NAME", "", false, true},         {"timeout", 0, "SECONDS", "", false, true},
      {"verbose", 'v', "", "", false, true},
      {"help", 'h', "", "", false, true},             {"version", 0, "", "", false, true},
  };
  return known;
}

int readGlobalOptions(const ParsedArgs& parsed, GlobalOptions& options, std::string& error) {
  options.help = parsed.has("help");
  options.version = parsed.has("version");
  options.verbose = parsed.has("verbose");
  if (parsed.has("server")) {
    const std::string given = parsed.value("server");
    options.server = serverAddress(given, false);
    if (options.server.empty()) {
      error = "--server needs HOST:PORT or http[s]://HOST:PORT[/vlt/services/QuillonBinding], not \"" + given + "\"";
      return exit_code::kUsage;
    }
  }
  for (const char* name : {"user", "domain"})
    if (parsed.has(name) && parsed.value(name).empty()) {
      error = std::string("--") + name + " needs a " + name + " name";
      return exit_code::kUsage;
    }
  if (parsed.has("timeout") && (!parseInteger(parsed.value("timeout"), options.timeout) || options.timeout <= 0)) {
    error = "--timeout needs a whole number of seconds above 0, not \"" + parsed.value("timeout") + "\"";
    return exit_code::kUsage;
  }
  options.userGiven = parsed.has("user");
  options.user = parsed.value("user", environmentOr("TALIXDB_USER", "root"));
  options.domain = parsed.value("domain", environmentOr("TALIXDB_DOMAIN", "Default"));
  if (parsed.has("password") && parsed.has("password-file")) {
    error = "give --password or --password-file, not both";
    return exit_code::kUsage;
  }
  options.passwordGiven = parsed.has("password") || parsed.has("password-file");
  options.password = parsed.value("password");
  if (parsed.has("password-file") && !readPasswordFile(parsed.value("password-file"), options.password, error))
    return exit_code::kBadInput;
  return exit_code::kSuccess;
}

}  // namespace talixdb_cli
