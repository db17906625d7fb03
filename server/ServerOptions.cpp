#include "ServerOptions.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace talixdb::server {

namespace {

// A whole decimal number within [minimum, maximum], or false.
bool parseNumber(const std::string& text, std::uint64_t minimum, std::uint64_t maximum, std::uint64_t& value);

}  // namespace

std::string parseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--version") {
      options.version = true;
      continue;
    }
    if (name == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (i + 1 >= arguments.size()) return "missing value after " + name;
    const std::string& value = arguments[++i];
    std::uint64_t number = 0;
    if (name == "--data") {
      if (value.empty()) return "--data needs a directory";
      options.dataDirectory = value;
    } else if (name == "--host") {
      if (value.empty()) return "--host needs an address";
      options.host = value;
    } else if (name == "--port") {
      if (!parseNumber(value, 0, 65535, number)) return "--port needs a number from 0 to 65535";
      options.port = static_cast<int>(number);
    } else if (name == "--session-timeout") {
      if (!parseNumber(value, 1, 10ull * 365 * 24 * 3600, number)) return "--session-timeout needs a positive number of seconds";
      options.sessionTimeout = static_cast<std::int64_t>(number);
    } else if (name == "--threads") {
      if (!parseNumber(value, 1, 256, number)) return "--threads needs a number from 1 to 256";
      options.threads = static_cast<int>(number);
    } else if (name == "--max-upload") {
      if (!parseNumber(value, 0, std::numeric_limits<std::uint64_t>::max() / 4, number))
        return "--max-upload needs a number of bytes";
      options.maxUpload = number;
    } else {
      return "unknown option " + name;
    }
  }
  if (!options.help && !options.version && options.dataDirectory.empty()) return "--data DIR is required";
  return std::string();
}

std::string serverUsage() {
  return "usage: talixdb-server --data DIR [--port N] [--host ADDRESS] [--session-timeout SECONDS]\n"
         "                      [--threads N] [--max-upload BYTES] [--quiet] [--help] [--version]\n"
         "\n"
         "Serves a model repository over SOAP from the store in DIR (created on first start).\n"
         "\n"
         "  --data DIR                 directory of the store\n"
         "  --port N                   TCP port; 0 picks a free one (default 8080)\n"
         "  --host ADDRESS             address to listen on (default 127.0.0.1)\n"
         "  --session-timeout SECONDS  idle time after which a login session ends (default 1800)\n"
         "  --threads N                requests served at once (default 8)\n"
         "  --max-upload BYTES         largest file accepted (default 1073741824)\n"
         "  --quiet                    no request log on standard error\n"
         "  --help                     this text\n"
         "  --version                  print the version and exit\n"
         "\n"
         "The administrator \"root\" is created on first start with the password in\n"
         "VLT_ADMIN_PASSWORD (default \"kelp482\").\n";
}

namespace {

bool parseNumber(const std::string& text, std::uint64_t minimum, std::uint64_t maximum, std::uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < minimum || parsed > maximum) return false;
  value = parsed;
  return true;
}

}  // namespace

}  // namespace talixdb::server
