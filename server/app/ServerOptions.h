// The command line of talixdb-server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/AddressList.h"
#include "base/Limits.h"
#include "base/ServerLog.h"

namespace talixdb::server {

// What the program is asked to do.
enum class ServerCommand {
  Serve,             // serve the store until SIGINT or SIGTERM
  SetAdminPassword,  // --set-admin-password: change root's password and exit
  Backup,            // --backup-to DIR: copy the store and exit
  EndSessions,       // --end-sessions USER: end the user's sessions and exit
  Help,              // --help
  Version,           // --version
};

struct ServerOptions {
  ServerCommand command = ServerCommand::Serve;
  std::string dataDirectory;  // --data: a SQLite store
  std::string storeUri;       // --store: a PostgreSQL store (a libpq connection URI)
  std::string backupDirectory;  // --backup-to
  std::string sessionsUser;     // --end-sessions
  std::string host = "127.0.0.1";
  int port = 8080;
  Limits limits;  // the numeric options (see base/Limits.h)
  // --proxy-protocol: addresses (or networks, ADDRESS/BITS) whose connections
  // may begin with a PROXY protocol header naming the real client.
  std::string proxyProtocol;
  LogLevel logLevel = LogLevel::Info;
  std::string tlsCertificate;  // --tls-cert: serve HTTPS only, with this certificate
  std::string tlsKey;          // --tls-key: and its private key
  AddressList metricsFrom;     // --metrics-from: clients that may read GET /metrics (none: not served)
};

// Parses the arguments after the program name into `options` (each option
// as "--name value" or "--name=value"). Returns "" on success, else a
// one-line description of the first problem.
std::string parseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options);

// True for an address that only this machine reaches: 127.0.0.0/8, ::1
// and "localhost". Host names are not resolved.
bool isLoopbackAddress(const std::string& host);

// The --help text.
std::string serverUsage();
// The --version text: "talixdb-server VERSION".
std::string serverVersion();

}  // namespace talixdb::server
