#include "Session.h"

#include <chrono>
#include <cstdlib>

#include "ExitCodes.h"
#include "PasswordPrompt.h"
#include "ServerAddress.h"

namespace talixdb_cli {

namespace {

const char kDefaultAdministrator[] = "root";
const char kDefaultAdministratorPassword[] = "kelp482";
const char kAdministratorDomain[] = "Default";
const char kPoolUserPrefix[] = "cfduser";
// Longest wait of the check whether a server answers at all.
constexpr int kAnswerCheckSeconds = 5;

std::string environmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

bool isPoolUser(const std::string& user) { return user.compare(0, sizeof kPoolUserPrefix - 1, kPoolUserPrefix) == 0; }

// Sets an environment variable for its lifetime.
class EnvironmentSetting {
 public:
  EnvironmentSetting(const char* name, const std::string& value) : m_name(name) {
    const char* before = std::getenv(name);
    m_had = before != nullptr;
    if (m_had) m_before = before;
    ::setenv(name, value.c_str(), 1);
  }
  ~EnvironmentSetting() {
    if (m_had)
      ::setenv(m_name, m_before.c_str(), 1);
    else
      ::unsetenv(m_name);
  }
  EnvironmentSetting(const EnvironmentSetting&) = delete;
  EnvironmentSetting& operator=(const EnvironmentSetting&) = delete;

 private:
  const char* m_name;
  std::string m_before;
  bool m_had = false;
};

// The user's I/O time-out when it is shorter than the check's own.
int answerCheckSeconds() {
  const char* text = std::getenv("TALIXDB_IO_TIMEOUT");
  int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 && seconds < kAnswerCheckSeconds ? seconds : kAnswerCheckSeconds;
}

}  // namespace

Session::Session(const GlobalOptions& options, ConsoleLogger& logger)
    : m_options(options), m_logger(logger), m_transfers(logger) {
  m_db.setLoggingObject(&m_logger);
  m_db.setTransferProgress(&m_transfers);
}

Session::~Session() {
  if (m_db.isLoggedIn()) m_db.logout();
  m_db.close();
}

int Session::open() {
  if (m_opened) return exit_code::kSuccess;
  m_address = m_options.server;
  if (m_address.empty()) {
    if (int found = addressFromEnvironment()) return found;
  }
  m_logger.progress("connecting to " + m_address);
  if (!m_db.open(m_address.c_str())) {
    m_logger.error("cannot reach the server at " + m_address);
    return exit_code::kUnreachable;
  }
  m_opened = true;
  return exit_code::kSuccess;
}

// MODELDATABASE_HOME holds an address in one of the forms --server takes, or
// names a file that the library reads.
int Session::addressFromEnvironment() {
  const char* home = std::getenv("MODELDATABASE_HOME");
  if (home == nullptr) {
    m_logger.error("no server address: give --server HOST:PORT or set MODELDATABASE_HOME");
    return exit_code::kUnreachable;
  }
  m_address = serverAddress(home, true);
  if (m_address.empty()) {
    const char* fromFile = Database::addressFromEnvironment();
    if (fromFile != nullptr) m_address = fromFile;
  }
  if (m_address.empty()) {
    m_logger.error("MODELDATABASE_HOME (\"" + std::string(home) +
                   "\") names no server: it must hold HOST:PORT, http://HOST:PORT or "
                   "http://HOST:PORT/vlt/services/QuillonBinding, or name a file whose first word is that URL");
    return exit_code::kUnreachable;
  }
  return exit_code::kSuccess;
}

int Session::openAsAdministrator() {
  // The library's administrator operations read their credentials from the
  // environment; credentials given on the command line stand for them.
  if (m_options.userGiven) ::setenv("VLT_ADMIN_USER", m_options.user.c_str(), 1);
  if (m_options.passwordGiven) ::setenv("VLT_ADMIN_PASSWORD", m_options.password.c_str(), 1);
  if (int opened = open()) return opened;
  if (std::getenv("VLT_ADMIN_PASSWORD") == nullptr && canPrompt()) {
    std::string password;
    if (!promptForPassword("talixdb: password for administrator " + administratorName() + ": ", password)) {
      m_logger.error("no password was read");
      return exit_code::kUsage;
    }
    ::setenv("VLT_ADMIN_PASSWORD", password.c_str(), 1);
  }
  return exit_code::kSuccess;
}

// --password or --password-file; TALIXDB_PASSWORD; VLT_ADMIN_PASSWORD for the
// administrator; a prompt on a terminal; else VLT_ADMIN_PASSWORD or the
// built-in default.
int Session::userPassword(std::string& password) {
  const char* administratorPassword = std::getenv("VLT_ADMIN_PASSWORD");
  if (m_options.passwordGiven) {
    password = m_options.password;
  } else if (const char* fromEnvironment = std::getenv("TALIXDB_PASSWORD")) {
    password = fromEnvironment;
  } else if (administratorPassword != nullptr && m_options.user == administratorName()) {
    password = administratorPassword;
  } else if (canPrompt() && !isPoolUser(m_options.user)) {
    if (!promptForPassword("talixdb: password for " + m_options.user + ": ", password)) {
      m_logger.error("no password was read");
      return exit_code::kUsage;
    }
  } else {
    password = administratorPassword != nullptr ? administratorPassword : kDefaultAdministratorPassword;
  }
  return exit_code::kSuccess;
}

int Session::login() {
  if (int opened = open()) return opened;
  if (m_db.isLoggedIn()) return exit_code::kSuccess;
  std::string password;
  if (int known = userPassword(password)) return known;
  // A pool user name ("cfduser...") asks the library to pick a free account
  // of the pool; it counts the pool as administrator first.
  int poolSize = isPoolUser(m_options.user) ? 1 : 0;
  if (!m_db.login(m_options.user.c_str(), password.c_str(), m_options.domain.c_str(), poolSize))
    return loginFailed("login refused for user " + m_options.user + " in domain " + m_options.domain +
                       " (wrong password, or the user has a live session elsewhere)");
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
  if (!m_db.login(user.c_str(), password.c_str(), kAdministratorDomain, 0))
    return loginFailed("login refused for administrator " + user +
                       " (wrong password, or the administrator has a live session elsewhere)");
  return exit_code::kSuccess;
}

int Session::loginFailed(const std::string& refusal) {
  switch (answerCheck()) {
    case Answer::kAnswers:
      m_logger.error(refusal);
      return exit_code::kLoginRefused;
    case Answer::kSilent:
      m_logger.error("time-out while logging in: the server at " + m_address +
                     " accepts connections but does not answer (TALIXDB_IO_TIMEOUT sets the seconds to wait)");
      break;
    case Answer::kUnreachable:
      m_logger.error("cannot reach the server at " + m_address + " any more");
      break;
  }
  return exit_code::kUnreachable;
}

// The library reports a login that timed out as it reports a refused one. A
// server that answers refuses the placeholder login of a fresh connection at
// once; one that does not answer keeps that connection waiting until a short
// time-out.
Session::Answer Session::answerCheck() {
  const int seconds = answerCheckSeconds();
  EnvironmentSetting connectTimeout("TALIXDB_CONNECT_TIMEOUT", std::to_string(seconds));
  EnvironmentSetting ioTimeout("TALIXDB_IO_TIMEOUT", std::to_string(seconds));
  VLT_121::CVLTDatabase probe;
  const auto start = std::chrono::steady_clock::now();
  const bool reached = probe.open(m_address.c_str());
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
  if (!reached) return Answer::kUnreachable;
  return waited.count() * 2 < seconds ? Answer::kAnswers : Answer::kSilent;
}

VLT_121::CVLTDatabase& Session::db() { return m_db; }

std::string Session::administratorName() { return environmentOr("VLT_ADMIN_USER", kDefaultAdministrator); }

}  // namespace talixdb_cli
