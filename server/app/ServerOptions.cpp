#include "app/ServerOptions.h"

#include <arpa/inet.h>
#include <getopt.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>


namespace talixdb::server {

namespace {

enum OptionId {
  kData = 1000,
  kStore,
  kHost,
  kPort,
  kLogLevel,
  kQuiet,
  kBackupTo,
  kTlsCert,
  kTlsKey,
  kMetricsFrom,
  kProxyProtocol,
  kSetAdminPassword,
  kEndSessions,
  kVersion,
  kHelp = 'h',
  kFirstLimit = 2000,  // then one per limitOptions() entry
};

const option kFixedOptions[] = {
    {"data", required_argument, nullptr, kData},
    {"store", required_argument, nullptr, kStore},
    {"host", required_argument, nullptr, kHost},
    {"port", required_argument, nullptr, kPort},
    {"log-level", required_argument, nullptr, kLogLevel},
    {"quiet", no_argument, nullptr, kQuiet},
    {"backup-to", required_argument, nullptr, kBackupTo},
    {"tls-cert", required_argument, nullptr, kTlsCert},
    {"tls-key", required_argument, nullptr, kTlsKey},
    {"metrics-from", required_argument, nullptr, kMetricsFrom},
    {"proxy-protocol", required_argument, nullptr, kProxyProtocol},
    {"set-admin-password", no_argument, nullptr, kSetAdminPassword},
    {"end-sessions", required_argument, nullptr, kEndSessions},
    {"version", no_argument, nullptr, kVersion},
    {"help", no_argument, nullptr, kHelp},
};

// The fixed options, then one per limit, then the end mark getopt_long wants.
std::vector<option> allOptions();

// Applies one option with its value; "" or the problem.
std::string apply(int id, const std::string& value, ServerOptions& options);
// Sets the command once; a second, different one is a problem.
std::string setCommand(ServerCommand command, ServerOptions& options);
// A whole decimal number within [minimum, maximum], or false.
bool parseNumber(const std::string& text, std::uint64_t minimum, std::uint64_t maximum, std::uint64_t& value);
// Sets `value` to the number in `text` within [minimum, maximum]; "" or the problem with `name`.
std::string count(const std::string& text, const char* name, std::int64_t minimum, std::int64_t maximum,
                  std::int64_t& value);

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
  const std::vector<option> table = allOptions();
  for (;;) {
    int id = getopt_long(argc, argv.data(), "+:h", table.data(), nullptr);
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
         "                      [--max-connections-per-address N] [--idle-timeout SECONDS]\n"
         "                      [--request-timeout SECONDS] [--min-rate BYTES] [--max-buffered BYTES]\n"
         "                      [--keep-alive-requests N] [--stop-timeout SECONDS] [--max-db-connections N]\n"
         "                      [--log-level LEVEL] [--quiet] [--tls-cert FILE --tls-key FILE]\n"
         "                      [--metrics-from ADDRESS,...]\n"
         "                      [--proxy-protocol ADDRESSES]\n"
         "       talixdb-server (--data DIR | --store URI) --set-admin-password\n"
         "       talixdb-server (--data DIR | --store URI) --end-sessions USER\n"
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
         "  --max-db-connections N     PostgreSQL connections this server opens at most; requests\n"
         "                             wait for one while all are in use (default 24, at least 2)\n"
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
         "  --max-connections N        connections open at once; when full, the one that has moved\n"
         "                             no byte for the longest is closed, or the new one refused\n"
         "                             (default 1000, lowered to what the open file limit allows)\n"
         "  --max-connections-per-address N\n"
         "                             connections open at once from one client address\n"
         "                             (default 256)\n"
         "  --idle-timeout SECONDS     a connection without a request in progress is closed after\n"
         "                             this long (default 5); idle connections cost no worker\n"
         "  --request-timeout SECONDS  a request's head and body must arrive within this time from\n"
         "                             their first byte, or it is cut and its connection closed\n"
         "                             (default 5)\n"
         "  --min-rate BYTES           requests, attachments and replies get one more second per\n"
         "                             BYTES moved, beyond --request-timeout (default 131072)\n"
         "  --max-buffered BYTES       bytes of requests and replies held in memory for slow\n"
         "                             clients at once (default 268435456)\n"
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
         "  --metrics-from ADDRESS,... serve GET /metrics (figures for Prometheus) to these client\n"
         "                             addresses or networks (127.0.0.1, 10.0.0.0/8, ::1); repeatable\n"
         "                             (default: not served)\n"
         "  --proxy-protocol ADDRESSES accept a PROXY protocol header (v1 or v2) naming the client\n"
         "                             from these addresses or networks (ADDRESS[/BITS],...)\n"
         "  --set-admin-password       set the password of the administrator \"root\" to the first\n"
         "                             line of standard input, or to VLT_ADMIN_PASSWORD when that\n"
         "                             is set and not empty, and exit\n"
         "  --end-sessions USER        end every login session of USER (root too) and exit: a\n"
         "                             client that died keeps its user out until then\n"
         "  --backup-to NEWDIR         copy a SQLite store, consistently, into the new directory\n"
         "                             NEWDIR (also while a server uses it) and exit; back up a\n"
         "                             PostgreSQL store with pg_dump\n"
         "  --version                  the version\n"
         "  --help                     this text\n"
         "\n"
         "The administrator \"root\" is created on first start with the password in\n"
         "VLT_ADMIN_PASSWORD; without it the password is \"kelp482\", which is allowed only\n"
         "for a store made on a loopback address.\n"
         "\n"
         "Environment:\n"
         "  VLT_ADMIN_PASSWORD   the administrator's password at the first start, and the new\n"
         "                       one for --set-admin-password\n"
         "  PGPASSWORD, PGPASSFILE and the other libpq variables  for a --store URI\n"
         "\n"
         "Examples:\n"
         "  talixdb-server --data /var/lib/talixdb --port 8080\n"
         "      serve a SQLite store on 127.0.0.1:8080\n"
         "  talixdb-server --data /var/lib/talixdb --tls-cert server.pem --tls-key server.key\n"
         "      serve it over HTTPS only\n"
         "  talixdb-server --store postgresql://talixdb@db.example/talixdb --host 0.0.0.0\n"
         "      serve a PostgreSQL store on every address (beside other servers of it)\n"
         "  talixdb-server --data /var/lib/talixdb --end-sessions alice\n"
         "      end the sessions a crashed client of alice left behind\n"
         "  talixdb-server --data /var/lib/talixdb --backup-to /backup/talixdb-2025-05-14\n"
         "      copy the store while it is served\n";
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
    case kMetricsFrom:
      // Repeatable: each value adds its entries.
      for (std::size_t start = 0; start <= value.size();) {
        std::size_t comma = std::min(value.find(',', start), value.size());
        std::string problem = options.metricsFrom.add(value.substr(start, comma - start));
        if (!problem.empty()) return "--metrics-from: " + problem;
        start = comma + 1;
      }
      return std::string();
    case kProxyProtocol: {
      std::string problem;
      if (AddressList::parse(value, problem).empty())
        return "--proxy-protocol needs addresses or networks (ADDRESS/BITS), separated by commas: " + problem;
      options.proxyProtocol = value;
      return std::string();
    }
    case kBackupTo:
      if (value.empty()) return "--backup-to needs a directory";
      options.backupDirectory = value;
      return setCommand(ServerCommand::Backup, options);
    case kSetAdminPassword:
      return setCommand(ServerCommand::SetAdminPassword, options);
    case kEndSessions:
      if (value.empty()) return "--end-sessions needs a user name";
      options.sessionsUser = value;
      return setCommand(ServerCommand::EndSessions, options);
    case kVersion:
      return setCommand(ServerCommand::Version, options);
    case kHelp:
      return setCommand(ServerCommand::Help, options);
  }
  const std::vector<LimitOption>& limits = limitOptions();
  if (id >= kFirstLimit && id < kFirstLimit + static_cast<int>(limits.size())) {
    const LimitOption& limit = limits[static_cast<std::size_t>(id - kFirstLimit)];
    return count(value, limit.name, limit.minimum, limit.maximum, options.limits.*limit.field);
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
    return "--set-admin-password, --end-sessions and --backup-to are separate commands";
  options.command = command;
  return std::string();
}

std::string count(const std::string& text, const char* name, std::int64_t minimum, std::int64_t maximum,
                  std::int64_t& value) {
  std::uint64_t number = 0;
  if (!parseNumber(text, static_cast<std::uint64_t>(minimum), static_cast<std::uint64_t>(maximum), number))
    return std::string(name) + " needs a number from " + std::to_string(minimum) + " to " + std::to_string(maximum);
  value = static_cast<std::int64_t>(number);
  return std::string();
}

std::vector<option> allOptions() {
  std::vector<option> table(std::begin(kFixedOptions), std::end(kFixedOptions));
  int id = kFirstLimit;
  for (const LimitOption& limit : limitOptions()) table.push_back({limit.name + 2, required_argument, nullptr, id++});
  table.push_back({nullptr, 0, nullptr, 0});
  return table;
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
