#include "Session.h"

#include <cstdlib>

#include "ExitCodes.h"

namespace talixdb_cli {

namespace {

const char kDefaultAdministrator[] = "root";
const char kDefaultAdministratorPassword[] = "kelp482";
const char kAdministratorDomain[] = "Default";
const char kPoolUserPrefix[] = "cfduser";

std::string environmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

}  // namespace

Session::Session(const GlobalOptions& options, ConsoleLogger& logger) : m_options(options), m_logger(logger) {
  m_db.setLoggingObject(&m_logger);
}

Session::~Session() {
  if (m_db.isLoggedIn()) m_db.logout();
  m_db.close();
}

int Session::open() {
  if (m_opened) return exit_code::kSuccess;
  if (!m_options.server.empty()) {
    m_address = m_options.server;
  } else {
    const char* fromEnvironment = Database::addressFromEnvironment();
    if (fromEnvironment == nullptr || *fromEnvironment == '\0') {
      const char* home = std::getenv("MODELDATABASE_HOME");
      if (home == nullptr)
        m_logger.error("no server address: give --server HOST:PORT or set MODELDATABASE_HOME");
      else
        m_logger.error("MODELDATABASE_HOME (\"" + std::string(home) +
                       "\") names no server: it must hold http://HOST:PORT/vlt/services/QuillonBinding "
                       "or name a file whose first word is that address");
      return exit_code::kUnreachable;
    }
    m_address = fromEnvironment;
  }
  m_logger.progress("connecting to " + m_address);
  if (!m_db.open(m_address.c_str())) {
    m_logger.error("cannot reach the server at " + m_address);
    return exit_code::kUnreachable;
  }
  m_opened = true;
  return exit_code::kSuccess;
}

int Session::openAsAdministrator() {
  // The library's administrator operations read their credentials from the
  // environment; credentials given on the command line stand for them.
  if (m_options.userGiven) setenv("VLT_ADMIN_USER", m_options.user.c_str(), 1);
  if (m_options.passwordGiven) setenv("VLT_ADMIN_PASSWORD", m_options.password.c_str(), 1);
  return open();
}

int Session::login() {
  if (int opened = open()) return opened;
  if (m_db.isLoggedIn()) return exit_code::kSuccess;
  // A pool user name ("cfduser...") asks the library to pick a free account
  // of the pool; it counts the pool as administrator first.
  int poolSize = m_options.user.compare(0, sizeof kPoolUserPrefix - 1, kPoolUserPrefix) == 0 ? 1 : 0;
  if (!m_db.login(m_options.user.c_str(), m_options.password.c_str(), m_options.domain.c_str(), poolSize)) {
    m_logger.error("login refused for user " + m_options.user + " in domain " + m_options.domain +
                   " (wrong password, or the user has a live session elsewhere)");
    return exit_code::kLoginRefused;
  }
  return exit_code::kSuccess;
}

int Session::checkAdministrator() {
  int loggedIn = loginAsAdministrator();
  if (loggedIn == exit_code::kSuccess) m_db.logout();
  return loggedIn;
}

int Session::loginAsAdministrator() {
  if (int opened = openAsAdministrator()) return opened;
  if (m_db.isLoggedIn()) m_db.logout();
  std::string user = administratorName();
  std::string password = environmentOr("VLT_ADMIN_PASSWORD", kDefaultAdministratorPassword);
  if (!m_db.login(user.c_str(), password.c_str(), kAdministratorDomain, 0)) {
    m_logger.error("login refused for administrator " + user +
                   " (wrong password, or the administrator has a live session elsewhere)");
    return exit_code::kLoginRefused;
  }
  return exit_code::kSuccess;
}

VLT_121::CVLTDatabase& Session::db() { return m_db; }

std::string Session::administratorName() { return environmentOr("VLT_ADMIN_USER", kDefaultAdministrator); }

}  // namespace talixdb_cli
