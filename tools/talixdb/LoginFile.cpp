#include "LoginFile.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ServerAddress.h"

namespace talixdb_cli {

namespace {

bool matches(const std::string& pattern, const std::string& value) { return pattern == "*" || pattern == value; }

}  // namespace

std::string loginFilePath() {
  if (const char* file = std::getenv("TALIXDB_LOGIN_FILE")) return file;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0')
    return std::string(config) + "/talixdb/logins";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/talixdb/logins";
}

bool savedPassword(const std::string& server, const std::string& user, std::string& password,
                   std::string& warning) {
  const std::string path = loginFilePath();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    warning = "not using the saved logins in " + path + ": others may read it (make it yours only: chmod 600 " +
              path + ")";
    return false;
  }
  std::ifstream file(path);
  if (!file) {
    warning = "cannot read the saved logins in " + path;
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string savedServer, savedUser;
    if (!(fields >> savedServer >> savedUser) || savedServer[0] == '#') continue;
    std::string rest;
    std::getline(fields >> std::ws, rest);
    if (rest.empty()) continue;
    const std::string normalised = savedServer == "*" ? savedServer : serverAddress(savedServer, false);
    if (matches(normalised, server) && matches(savedUser, user)) {
      password = rest;
      return true;
    }
  }
  return false;
}

}  // namespace talixdb_cli
