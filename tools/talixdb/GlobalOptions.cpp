#include "GlobalOptions.h"

#include <cstdlib>

namespace talixdb_cli {

namespace {

const char kScheme[] = "http://";
const char kTlsScheme[] = "https://";
const char kServicePath[] = "/vlt/services/QuillonBinding";

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : fallback;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Splits "--name=value" into its parts; `hasValue` tells whether "=" was there.
void splitOption(const std::string& arg, std::string& name, std::string& value, bool& hasValue) {
  std::string::size_type equals = arg.find('=');
  hasValue = equals != std::string::npos;
  name = hasValue ? arg.substr(0, equals) : arg;
  value = hasValue ? arg.substr(equals + 1) : std::string();
}

void applyDefaults(GlobalOptions& options) {
  if (!options.userGiven) options.user = environmentOr("TALIXDB_USER", "root");
  if (!options.passwordGiven)
    options.password = environmentOr("TALIXDB_PASSWORD", environmentOr("VLT_ADMIN_PASSWORD", "kelp482"));
  if (options.domain.empty()) options.domain = environmentOr("TALIXDB_DOMAIN", "Default");
}

}  // namespace

std::string extractGlobalOptions(const std::vector<std::string>& args, GlobalOptions& options,
                                 std::vector<std::string>& rest) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
      break;
    }
    std::string name, value;
    bool hasValue = false;
    splitOption(arg, name, value, hasValue);
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--version") {
      options.version = true;
      continue;
    }
    if (name == "--verbose" || name == "-v") {
      options.verbose = true;
      continue;
    }
    bool takesValue = name == "--server" || name == "--user" || name == "--password" || name == "--domain";
    if (!takesValue) {
      rest.push_back(arg);
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) return name + " needs a value";
      value = args[++i];
    }
    if (name == "--server") {
      options.server = serverAddressFromOption(value);
      if (options.server.empty()) return "--server needs HOST:PORT, not \"" + value + "\"";
    } else if (name == "--user") {
      if (value.empty()) return "--user needs a user name";
      options.user = value;
      options.userGiven = true;
    } else if (name == "--password") {
      options.password = value;
      options.passwordGiven = true;
    } else {
      if (value.empty()) return "--domain needs a domain name";
      options.domain = value;
    }
  }
  applyDefaults(options);
  return "";
}

std::string serverAddressFromOption(const std::string& text) {
  std::string address = text;
  // "https://" stays: the library reaches such an address over TLS.
  const std::string tls = startsWith(address, kTlsScheme) ? kTlsScheme : "";
  address.erase(0, tls.size());
  if (startsWith(address, kScheme)) address.erase(0, sizeof kScheme - 1);
  if (endsWith(address, kServicePath)) address.erase(address.size() - (sizeof kServicePath - 1));
  while (!address.empty() && address.back() == '/') address.pop_back();
  if (address.empty() || address.find('/') != std::string::npos) return "";
  return tls + address;
}

}  // namespace talixdb_cli
