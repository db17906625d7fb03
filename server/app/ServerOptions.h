// The command line of talixdb-server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/ServerLog.h"

namespace talixdb::server {

// What the program is asked to do.
enum class ServerCommand {
  Serve,             // serve the store until SIGINT or SIGTERM
  SetAdminPassword,  // --set-admin-password: change root's password and exit
  Backup,            // --backup-to DIR: copy the store and exit
  Help,              // --help
  Version,           // --version
};

// The largest --max-upload (1 TiB). Files travel as chunked DIME records and
// are counted in 64-bit sizes throughout: the bound is one of sense, not
// one the format sets.
constexpr std::uint64_t kMaxUploadCeiling = std::uint64_t(1) << 40;

struct ServerOptions {
  ServerCommand command = ServerCommand::Serve;
  std::string dataDirectory;  // --data: a SQLite store
  std::string storeUri;       // --store: a PostgreSQL store (a libpq connection URI)
  std::string backupDirectory;  // --backup-to
  std::string host = "127.0.0.1";
  int port = 8080;
  std::int64_t sessionTimeout = 1800;  // seconds
  int threads = 8;          // workers kept ready
  int maxThreads = 64;      // --max-threads: workers at most (never fewer than threads)
  int maxTransfers = 16;    // --max-transfers: uploadFiles and downloadFiles at once
  int maxConnections = 1000;  // --max-connections: open connections at most
  int idleTimeout = 5;      // --idle-timeout: seconds a connection may wait without a request
  int requestTimeout = 5;   // --request-timeout: seconds for a request's head and XML part
  std::uint64_t minRate = 128 * 1024;  // --min-rate: bytes per second granted to attachments and replies
  int keepAliveRequests = 100;  // --keep-alive-requests: requests per connection (1: no keep-alive)
  int stopTimeout = 3;      // --stop-timeout: seconds requests in flight get at SIGTERM
  std::uint64_t maxUpload = 64ull << 30;  // bytes, at most kMaxUploadCeiling
  LogLevel logLevel = LogLevel::Info;
  std::string tlsCertificate;  // --tls-cert: serve HTTPS only, with this certificate
  std::string tlsKey;          // --tls-key: and its private key
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
