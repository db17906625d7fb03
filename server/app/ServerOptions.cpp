#include "app/ServerOptions.h"

#include <arpa/inet.h>
#include <getopt.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace talixdb::server {

namespace {

enum OptionId {
  kData = 1000,
  kStore,
  kHost,
  kPort,
  kSessionTimeout,
  kThreads,
  kMaxUpload,
  kMaxThreads,
  kMaxTransfers,
  kMaxConnections,
  kIdleTimeout,
  kRequestTimeout,
  kMinRate,
  kKeepAliveRequests,
  kStopTimeout,
  kLogLevel,
  kQuiet,
  kBackupTo,
  kTlsCert,
  kTlsKey,
  kSetAdminPassword,
  kVersion,
  kHelp = 'h',
};

const option kOptions[] = {
    {"data", required_argument, nullptr, kData},
    {"store", required_argument, nullptr, kStore},
    {"host", required_argument, nullptr, kHost},
    {"port", required_argument, nullptr, kPort},
    {"session-timeout", required_argument, nullptr, kSessionTimeout},
    {"threads", required_argument, nullptr, kThreads},
    {"max-upload", required_argument, nullptr, kMaxUpload},
    {"max-threads", required_argument, nullptr, kMaxThreads},
    {"max-transfers", required_argument, nullptr, kMaxTransfers},
    {"max-connections", required_argument, nullptr, kMaxConnections},
    {"idle-timeout", required_argument, nullptr, kIdleTimeout},
    {"request-timeout", required_argument, nullptr, kRequestTimeout},
    {"min-rate", required_argument, nullptr, kMinRate},
    {"keep-alive-requests", required_argument, nullptr, kKeepAliveRequests},
    {"stop-timeout", required_argument, nullptr, kStopTimeout},
    {"log-level", required_argument, nullptr, kLogLevel},
    {"quiet", no_argument, nullptr, kQuiet},
    {"backup-to", required_argument, nullptr, kBackupTo},
    {"tls-cert", required_argument, nullptr, kTlsCert},
    {"tls-key", required_argument, nullptr, kTlsKey},
    {"set-admin-password", no_argument, nullptr, kSetAdminPassword},
    {"version", no_argument, nullptr, kVersion},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

// Applies one option with its value; "" or the problem.
std::string apply(int id, const std::string& value, ServerOptions& options);
// Sets the command once; a second, different one is a problem.
std::string setCommand(ServerCommand command, ServerOptions& options);
// A whole decimal number within [minimum, maximum], or false.
bool parseNumber(const std::string& text, std::uint64_t minimum, std::uint64_t maximum, std::uint64_t& value);
// Sets `value` to the number in `text` within [minimum, maximum]; "" or the problem with `name`.
std::string count(const std::string& text, const char* name, int minimum, int maximum, int& value);

}  // namespace

std::string parseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options) {
  std::vector<std::string> words;
  words.reserve(arguments.size() + 1);
  words.push_back("talixdb-server");
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  // getopt_long keeps its state in globals: start afresh, report nothing itself.
  optind = 0;
  opterr = 0;
  for (;;) {
    int id = getopt_long(argc, argv.data(), "+:h", kOptions, nullptr);
    if (id == -1) break;
    const std::string given = argv[optind - 1];
    if (id == '?') return "unknown option " + given;
    if (id == ':') return "missing value after " + given;
    std::string problem = apply(id, optarg != nullptr ? optarg : "", options);
    if (!problem.empty()) return problem;
  }
  if (optind < argc) return std::string("unexpected argument ") + argv[optind];
  if (options.command == ServerCommand::Help || options.command == ServerCommand::Version) return std::string();
  if (options.dataDirectory.empty() == options.storeUri.empty())
    return "either --data DIR or --store postgresql://... is required, not both";
  if (options.command == ServerCommand::Backup && options.dataDirectory.empty())
    return "--backup-to copies a SQLite store (--data); back up a PostgreSQL store with pg_dump";
  if (options.tlsCertificate.empty() != options.tlsKey.empty())
    return "--tls-cert and --tls-key go together: give both or neither";
  return std::string();
}

bool isLoopbackAddress(const std::string& host) {
  if (strcasecmp(host.c_str(), "localhost") == 0) return true;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1)
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
  return false;
}

std::string serverUsage() {
  return "usage: talixdb-server (--data DIR | --store URI) [--host ADDRESS] [--port N]\n"
         "                      [--session-timeout SECONDS] [--threads N] [--max-upload BYTES]\n"
         "                      [--max-threads N] [--max-transfers N] [--max-connections N]\n"
         "                      [--idle-timeout SECONDS] [--request-timeout SECONDS] [--min-rate BYTES]\n"
         "                      [--keep-alive-requests N] [--stop-timeout SECONDS]\n"
         "                      [--log-level LEVEL] [--quiet] [--tls-cert FILE --tls-key FILE]\n"
         "       talixdb-server (--data DIR | --store URI) --set-admin-password\n"
         "       talixdb-server --data DIR --backup-to NEWDIR\n"
         "       talixdb-server --version | --help\n"
         "\n"
         "Serves a model repository over SOAP from the store in DIR, or in the PostgreSQL\n"
         "database URI names (created on first start).\n"
         "Options take their value as \"--name value\" or \"--name=value\".\n"
         "\n"
         "  --data DIR                 directory of a SQLite store, locked for one server\n"
         "  --store URI                a PostgreSQL store: a libpq connection URI\n"
         "                             (postgresql://USER@HOST:PORT/DATABASE); the password may\n"
         "                             come from PGPASSWORD or ~/.pgpass. Any number of servers\n"
         "                             may serve one database\n"
         "  --host ADDRESS             address to listen on (default 127.0.0.1)\n"
         "  --port N                   TCP port; 0 picks a free one (default 8080)\n"
         "  --session-timeout SECONDS  idle time after which a login session ends (default 1800)\n"
         "  --threads N                workers kept ready to serve requests (default 8)\n"
         "  --max-threads N            workers at most: more start while requests wait, and end\n"
         "                             after a while without work (default 64, at least --threads)\n"
         "  --max-transfers N          uploadFiles and downloadFiles served at once, half of them for\n"
         "                             one user and three quarters for one address; one more gets\n"
         "                             a Server fault saying the server is busy (default 16, and\n"
         "                             always fewer than --max-threads)\n"
         "  --max-connections N        connections open at once; when full, the one idle longest\n"
         "                             is closed, or the new one when none is idle (default 1000,\n"
         "                             lowered to what the open file limit allows)\n"
         "  --idle-timeout SECONDS     a connection without a request in progress is closed after\n"
         "                             this long (default 5); idle connections cost no worker\n"
         "  --request-timeout SECONDS  a request's HTTP head and XML part must arrive within this\n"
         "                             time, or it is cut and its connection closed (default 5)\n"
         "  --min-rate BYTES           attachments and replies get one more second per BYTES\n"
         "                             moved, beyond --request-timeout (default 131072)\n"
         "  --keep-alive-requests N    requests one kept-alive connection serves; the reply to the\n"
         "                             last says \"Connection: close\" (default 100; 1: no keep-alive;\n"
         "                             TLS connections are not kept alive)\n"
         "  --stop-timeout SECONDS     at SIGTERM or SIGINT, requests in flight get this long to\n"
         "                             finish before their connections are cut (default 3)\n"
         "  --max-upload BYTES         largest file accepted, at most 1099511627776 (1 TiB; default\n"
         "                             68719476736, 64 GiB); an upload the store has no room for\n"
         "                             is refused before its bytes are stored\n"
         "  --log-level LEVEL          error, warning, info or debug (default info)\n"
         "  --quiet                    the same as --log-level warning\n"
         "  --tls-cert FILE            serve HTTPS only (TLS 1.2 or later) with the certificate in\n"
         "                             FILE (PEM: the server's, then any intermediate ones)\n"
         "  --tls-key FILE             the certificate's private key (PEM, unencrypted)\n"
         "  --set-admin-password       set the password of the administrator \"root\" to the first\n"
         "                             line of standard input, or to VLT_ADMIN_PASSWORD when that\n"
         "                             is set and not empty, and exit\n"
         "  --backup-to NEWDIR         copy a SQLite store, consistently, into the new directory\n"
         "                             NEWDIR (also while a server uses it) and exit; back up a\n"
         "                             PostgreSQL store with pg_dump\n"
         "  --version                  the version\n"
         "  --help                     this text\n"
         "\n"
         "The administrator \"root\" is created on first start with the password in\n"
         "VLT_ADMIN_PASSWORD; without it the password is \"kelp482\", which is allowed only\n"
         "for a store made on a loopback address.\n";
}

std::string serverVersion() { return std::string("talixdb-server ") + TALIXDB_VERSION; }

namespace {

std::string apply(int id, const std::string& value, ServerOptions& options) {
  std::uint64_t number = 0;
  switch (id) {
    case kData:
      if (value.empty()) return "--data needs a directory";
      options.dataDirectory = value;
      return std::string();
    case kStore:
      if (value.rfind("postgresql://", 0) != 0 && value.rfind("postgres://", 0) != 0)
        return "--store needs a PostgreSQL connection URI (postgresql://...)";
      options.storeUri = value;
      return std::string();
    case kHost:
      if (value.empty()) return "--host needs an address";
      options.host = value;
      return std::string();
    case kPort:
      if (!parseNumber(value, 0, 65535, number)) return "--port needs a number from 0 to 65535";
      options.port = static_cast<int>(number);
      return std::string();
    case kSessionTimeout:
      if (!parseNumber(value, 1, 10ull * 365 * 24 * 3600, number))
        return "--session-timeout needs a positive number of seconds";
      options.sessionTimeout = static_cast<std::int64_t>(number);
      return std::string();
    case kThreads:
      if (!parseNumber(value, 1, 256, number)) return "--threads needs a number from 1 to 256";
      options.threads = static_cast<int>(number);
      return std::string();
    case kMaxUpload:
      if (!parseNumber(value, 0, kMaxUploadCeiling, number))
        return "--max-upload needs a number of bytes from 0 to " + std::to_string(kMaxUploadCeiling);
      options.maxUpload = number;
      return std::string();
    case kMaxThreads:
      return count(value, "--max-threads", 1, 1024, options.maxThreads);
    case kMaxTransfers:
      return count(value, "--max-transfers", 1, 1024, options.maxTransfers);
    case kMaxConnections:
      return count(value, "--max-connections", 1, 1000000, options.maxConnections);
    case kIdleTimeout:
      return count(value, "--idle-timeout", 1, 3600, options.idleTimeout);
    case kRequestTimeout:
      return count(value, "--request-timeout", 1, 3600, options.requestTimeout);
    case kMinRate:
      if (!parseNumber(value, 1, 1ull << 40, number)) return "--min-rate needs a positive number of bytes per second";
      options.minRate = number;
      return std::string();
    case kKeepAliveRequests:
      return count(value, "--keep-alive-requests", 1, 1000000, options.keepAliveRequests);
    case kStopTimeout:
      return count(value, "--stop-timeout", 0, 3600, options.stopTimeout);
    case kLogLevel:
      if (!parseLogLevel(value, options.logLevel)) return "--log-level needs error, warning, info or debug";
      return std::string();
    case kQuiet:
      options.logLevel = LogLevel::Warning;
      return std::string();
    case kTlsCert:
      if (value.empty()) return "--tls-cert needs a file";
      options.tlsCertificate = value;
      return std::string();
    case kTlsKey:
      if (value.empty()) return "--tls-key needs a file";
      options.tlsKey = value;
      return std::string();
    case kBackupTo:
      if (value.empty()) return "--backup-to needs a directory";
      options.backupDirectory = value;
      return setCommand(ServerCommand::Backup, options);
    case kSetAdminPassword:
      return setCommand(ServerCommand::SetAdminPassword, options);
    case kVersion:
      return setCommand(ServerCommand::Version, options);
    case kHelp:
      return setCommand(ServerCommand::Help, options);
  }
  return "unknown option";
}

std::string setCommand(ServerCommand command, ServerOptions& options) {
  // --help wins over everything, --version over the rest.
  if (options.command == ServerCommand::Help || command == ServerCommand::Help) {
    options.command = ServerCommand::Help;
    return std::string();
  }
  if (options.command == ServerCommand::Version || command == ServerCommand::Version) {
    options.command = ServerCommand::Version;
    return std::string();
  }
  if (options.command != ServerCommand::Serve && options.command != command)
    return "--set-admin-password and --backup-to are separate commands";
  options.command = command;
  return std::string();
}

std::string count(const std::string& text, const char* name, int minimum, int maximum, int& value) {
  std::uint64_t number = 0;
  if (!parseNumber(text, static_cast<std::uint64_t>(minimum), static_cast<std::uint64_t>(maximum), number))
    return std::string(name) + " needs a number from " + std::to_string(minimum) + " to " + std::to_string(maximum);
  value = static_cast<int>(number);
  return std::string();
}

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
