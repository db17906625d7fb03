#include "app/StoreCommands.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/Stores.h"
#include "repository/Repository.h"
#include "storage/sqlite/SqliteBackup.h"

namespace talixdb::server {

namespace {

// The new password: the environment's, else one line of standard input
// (asked for without echo on a terminal).
std::string newAdministratorPassword();
int fail(const std::string& message);

}  // namespace

int setAdministratorPassword(const ServerOptions& options) {
  std::string password = newAdministratorPassword();
  if (password.empty())
    return fail("no password given: put it on the first line of standard input, or in VLT_ADMIN_PASSWORD");
  try {
    std::unique_ptr<Store> store = openConfiguredStore(options, StoreUse::Administer);
    std::unique_ptr<Storage> storage = store->connect();
    Repository repository(*storage, options.limits.sessionTimeout);
    if (!repository.bootstrap(password)) repository.setPassword(kAdministratorName, password);
  } catch (const std::exception& error) {
    return fail("cannot set the administrator's password in " + configuredStoreName(options) + ": " + error.what());
  }
  std::printf("talixdb-server: the password of %s in %s is set\n", kAdministratorName,
              configuredStoreName(options).c_str());
  return 0;
}

int endUserSessions(const ServerOptions& options) {
  bool ended = false;
  try {
    std::unique_ptr<Store> store = openConfiguredStore(options, StoreUse::Administer);
    std::unique_ptr<Storage> storage = store->connect();
    Repository repository(*storage, options.limits.sessionTimeout);
    ended = repository.endSessions(options.sessionsUser);
  } catch (const std::exception& error) {
    return fail("cannot end the sessions of " + options.sessionsUser + " in " + configuredStoreName(options) + ": " +
                error.what());
  }
  std::printf("talixdb-server: %s %s in %s\n", ended ? "ended the sessions of" : "no live session of",
              options.sessionsUser.c_str(), configuredStoreName(options).c_str());
  return 0;
}

int backUpStore(const ServerOptions& options) {
  BackupSummary summary;
  try {
    summary = backupSqliteStore(options.dataDirectory, options.backupDirectory);
  } catch (const std::exception& error) {
    return fail("cannot back up " + options.dataDirectory + ": " + error.what());
  }
  std::printf("talixdb-server: backed up %s to %s (%zu content files, %llu bytes)\n", options.dataDirectory.c_str(),
              options.backupDirectory.c_str(), summary.contentFiles,
              static_cast<unsigned long long>(summary.contentBytes));
  return 0;
}

namespace {

std::string newAdministratorPassword() {
  const char* variable = std::getenv("VLT_ADMIN_PASSWORD");
  if (variable != nullptr && *variable != '\0') return variable;
  termios saved{};
  const bool terminal = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    std::fputs("New password for root: ", stderr);
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "talixdb-server: %s\n", message.c_str());
  return 1;
}

}  // namespace

}  // namespace talixdb::server
