// The command line of talixdb-server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talixdb::server {

struct ServerOptions {
  std::string dataDirectory;
  std::string host = "127.0.0.1";
  int port = 8080;
  std::int64_t sessionTimeout = 1800;  // seconds
  int threads = 8;
  std::uint64_t maxUpload = 1ull << 30;  // bytes
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name into `options`. Returns ""
// on success, else a one-line description of the first problem.
std::string parseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options);

// The --help text.
std::string serverUsage();

}  // namespace talixdb::server
