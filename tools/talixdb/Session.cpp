#include "Session.h"

#include <cstdlib>
#include <string>

#include "ExitCodes.h"
#include "LoginFile.h"
#include "PasswordPrompt.h"
#include "ServerAddress.h"

namespace talixdb_cli {

namespace {

const char kDefaultAdministrator[] = "root";
const char kDefaultAdministratorPassword[] = "kelp482";
const char kAdministratorDomain[] = "Default";
const char kPoolUserPrefix[] = "cfduser";
// How long connecting and logging in may take without --timeout.
constexpr int kConnectSeconds = 15;
// The words the library's failure texts begin with (VLTDatabase.h), and the
// status of each kind; texts that are no failure of the connection are not here.
struct FailureKind {
  const char* start;
  int status;
};
const FailureKind kFailureKinds[] = {
    {"cannot resolve the host name", exit_code::kNameNotResolved},
    {"connection refused by", exit_code::kConnectionRefused},
    {"no connection to", exit_code::kTimedOut},
    {"no answer from", exit_code::kTimedOut},
    {"cannot connect to https://", exit_code::kTlsFailed},
    {"cannot set up TLS", exit_code::kTlsFailed},
    {"cannot read the trusted certificates", exit_code::kTlsFailed},
    {"not a repository server at", exit_code::kNotRepository},
    {"cannot reach", exit_code::kUnreachable},
    {"the connection to", exit_code::kUnreachable},
};
const char kClosedWithoutAnswer[] = " closed the connection without answering";
const char kLiveSession[] = " has a live session elsewhere";

std::string environmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

bool isPoolUser(const std::string& user) { return user.compare(0, sizeof kPoolUserPrefix - 1, kPoolUserPrefix) == 0; }

// --timeout bounds each of the library's limits too, so that no single
// request outlasts the command.
void limitLibraryTimes(int seconds) {
  if (seconds <= 0) return;
  for (const char* name : {"TALIXDB_CALL_TIMEOUT", "TALIXDB_CONNECT_TIMEOUT", "TALIXDB_IO_TIMEOUT"}) {
    const char* current = std::getenv(name);
    const int value = current != nullptr ? std::atoi(current) : 0;
    if (value <= 0 || value > seconds) ::setenv(name, std::to_string(seconds).c_str(), 1);
  }
}

}  // namespace

int connectionFailureStatus(const std::string& text) {
  for (const FailureKind& kind : kFailureKinds)
    if (text.compare(0, std::char_traits<char>::length(kind.start), kind.start) == 0) return kind.status;
  if (text.find(kClosedWithoutAnswer) != std::string::npos) return exit_code::kUnreachable;
  return 0;
}

Session::Session(const GlobalOptions& options, ConsoleLogger& logger, Supervisor& supervisor)
    : m_options(options), m_logger(logger), m_supervisor(supervisor), m_transfers(logger) {
  m_db.setLoggingObject(&m_logger);
  m_db.setTransferProgress(&m_transfers);
}

Session::~Session() {
  if (m_db.isLoggedIn()) m_db.logout();
  m_supervisor.sessionEnded();
  m_db.close();
}

int Session::open() {
  if (m_opened) return exit_code::kSuccess;
  m_address = m_options.server;
  if (m_address.empty()) {
    if (int found = addressFromEnvironment()) return found;
  }
  limitLibraryTimes(m_options.timeout);
  m_supervisor.connecting(m_address, connectSeconds());
  m_logger.progress("connecting to " + m_address);
  if (!m_db.open(m_address.c_str())) {
    m_supervisor.connected();
    return connectionFailed();
  }
  m_opened = true;
  return exit_code::kSuccess;
}

int Session::connectSeconds() const { return m_options.timeout > 0 ? m_options.timeout : kConnectSeconds; }

int Session::connectionFailed() {
  const std::string text = m_db.getLastErrorText();
  if (text.empty()) {
    m_logger.error("cannot reach the server at " + m_address);
    return exit_code::kUnreachable;
  }
  // The library logs a failed TLS set-up or handshake itself.
  if (m_logger.lastLine() != text) m_logger.error(text);
  const int status = connectionFailureStatus(text);
  return status != 0 ? status : exit_code::kUnreachable;
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
  // The library logs in later, inside its operations.
  m_supervisor.connected();
  if (std::getenv("VLT_ADMIN_PASSWORD") == nullptr) {
    std::string password, warning;
    if (savedPassword(m_address, administratorName(), password, warning)) {
      ::setenv("VLT_ADMIN_PASSWORD", password.c_str(), 1);
    } else if (canPrompt()) {
      if (!warning.empty()) m_logger.warning(warning);
      if (!promptForPassword("talixdb: password for administrator " + administratorName() + ": ", password)) {
        m_logger.error("no password was read");
        return exit_code::kUsage;
      }
      ::setenv("VLT_ADMIN_PASSWORD", password.c_str(), 1);
    }
  }
  return exit_code::kSuccess;
}

// --password or --password-file; TALIXDB_PASSWORD; a saved login;
// VLT_ADMIN_PASSWORD for the administrator; a prompt on a terminal; else
// VLT_ADMIN_PASSWORD or the built-in default.
int Session::userPassword(std::string& password) {
  const char* administratorPassword = std::getenv("VLT_ADMIN_PASSWORD");
  std::string warning;
  if (m_options.passwordGiven) {
    password = m_options.password;
  } else if (const char* fromEnvironment = std::getenv("TALIXDB_PASSWORD")) {
    password = fromEnvironment;
  } else if (savedPassword(m_address, m_options.user, password, warning)) {
    // Saved in the login file.
  } else if (administratorPassword != nullptr && m_options.user == administratorName()) {
    password = administratorPassword;
  } else if (canPrompt() && !isPoolUser(m_options.user)) {
    if (!warning.empty()) m_logger.warning(warning);
    // The time spent typing is no time the server took.
    m_supervisor.connected();
    const bool read = promptForPassword("talixdb: password for " + m_options.user + ": ", password);
    m_supervisor.connecting(m_address, connectSeconds());
    if (!read) {
      m_logger.error("no password was read");
      return exit_code::kUsage;
    }
  } else {
    password = administratorPassword != nullptr ? administratorPassword : kDefaultAdministratorPassword;
  }
  return exit_code::kSuccess;
}

bool Session::logIn(const char* user, const char* password, const char* domain, int poolSize) {
  const bool done = m_db.login(user, password, domain, poolSize);
  m_supervisor.connected();
  if (done) m_supervisor.sessionStarted(m_db);
  return done;
}

int Session::login() {
  if (int opened = open()) return opened;
  if (m_db.isLoggedIn()) return exit_code::kSuccess;
  if (int known = userPassword(m_password)) return known;
  // A pool user name ("cfduser...") asks the library to pick a free account
  // of the pool; it counts the pool as administrator first.
  int poolSize = isPoolUser(m_options.user) ? 1 : 0;
  if (!logIn(m_options.user.c_str(), m_password.c_str(), m_options.domain.c_str(), poolSize))
    return loginFailed("user " + m_options.user + " in domain " + m_options.domain);
  return exit_code::kSuccess;
}

int Session::resumeAfterStop() {
  if (!m_supervisor.sessionEndedByStop() || m_options.user.empty()) return exit_code::kSuccess;
  m_db.logout();
  const int poolSize = isPoolUser(m_options.user) ? 1 : 0;
  if (m_db.login(m_options.user.c_str(), m_password.c_str(), m_options.domain.c_str(), poolSize))
    return exit_code::kSuccess;
  return exit_code::kLoginRefused;
}

int Session::checkAdministrator() {
  int loggedIn = loginAsAdministrator();
  if (loggedIn == exit_code::kSuccess) {
    m_db.logout();
    m_supervisor.sessionEnded();
  }
  return loggedIn;
}

int Session::loginAsAdministrator() {
  if (int opened = openAsAdministrator()) return opened;
  if (m_db.isLoggedIn()) m_db.logout();
  std::string user = administratorName();
  std::string password = environmentOr("VLT_ADMIN_PASSWORD", kDefaultAdministratorPassword);
  if (!logIn(user.c_str(), password.c_str(), kAdministratorDomain, 0))
    return loginFailed("administrator " + user,
                       "set VLT_ADMIN_USER / VLT_ADMIN_PASSWORD, or give --user / --password");
  return exit_code::kSuccess;
}

int Session::loginFailed(const std::string& who, const std::string& hint) {
  const std::string text = m_db.getLastErrorText();
  if (int status = connectionFailureStatus(text)) {
    m_logger.error(text);
    return status;
  }
  std::string message = "login refused for " + who;
  if (!text.empty()) message += ": " + text;
  const std::string::size_type live = text.find(kLiveSession);
  if (live != std::string::npos) {
    const std::string user = text.substr(0, live);
    if (user == administratorName())
      message += "; its owner can end it now on the server's machine with: talixdb-server (--data DIR | --store URI) "
                 "--end-sessions " + user;
    else
      message += "; the administrator can end it now with: talixdb session end " + user;
  } else if (!hint.empty()) {
    message += " (" + hint + ")";
  }
  m_logger.error(message);
  return exit_code::kLoginRefused;
}

VLT_121::CVLTDatabase& Session::db() { return m_db; }

std::string Session::administratorName() { return environmentOr("VLT_ADMIN_USER", kDefaultAdministrator); }

}  // namespace talixdb_cli
