// The tool's one connection to the repository server: opening it, logging in
// as the user or checking the administrator's credentials, and logging out
// and closing at the end, whatever happened in between (a stop included:
// Supervisor.h). Failures to connect or log in are told in the library's
// words (getLastErrorText), each kind with its own exit status.
#pragma once

#include <string>

#include "ConsoleLogger.h"
#include "GlobalOptions.h"
#include "Supervisor.h"
#include "TransferBar.h"
#include "talixdbapi/VLTDatabase.h"

namespace talixdb_cli {

class Session {
 public:
  // Attaches `logger` (which, like `supervisor`, must outlive the session)
  // and a transfer bar that draws through it; contacts nobody.
  Session(const GlobalOptions& options, ConsoleLogger& logger, Supervisor& supervisor);
  // Logs out when logged in and closes the connection.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens the connection (once). 0, or the status of the failure with a
  // message (exit_code::kUnreachable and the statuses after it).
  int open();
  // Opens for the library's administrator operations: --user / --password,
  // when given, stand for VLT_ADMIN_USER / VLT_ADMIN_PASSWORD from now on;
  // without any password, a saved one or a terminal's answer is taken.
  // 0, or the failure of open() / kUsage (no password read) with a message.
  int openAsAdministrator();
  // Opens and logs in as the user of the global options. 0, or the failure
  // of open(), kLoginRefused or kUsage with a message.
  int login();
  // Opens with openAsAdministrator() and logs in as the administrator that
  // the library's administrator operations use.
  int loginAsAdministrator();
  // The same, logging out again: tells early whether the library's
  // administrator operations will be able to log in.
  int checkAdministrator();
  // After a login of `who` ("user alice in domain Default") failed: the
  // message and status for why; `hint` is added to a refusal.
  int loginFailed(const std::string& who, const std::string& hint = "");
  // After a stop ended the session: logs in again so that the command can
  // undo what it did. 0, or the failure.
  int resumeAfterStop();

  VLT_121::CVLTDatabase& db();
  // Follows every file transfer of db().
  const TransferBar& transfers() const { return m_transfers; }
  // The address the connection was opened with (known after open()).
  const std::string& address() const { return m_address; }
  // The account logged in: the user given, or for a pool login the account
  // of the pool the library took.
  std::string account() { return m_db.getLoginUser(); }
  // The administrator's user name as the library will take it.
  static std::string administratorName();

 private:
  class Database : public VLT_121::CVLTDatabase {
   public:
    static const char* addressFromEnvironment() { return getURL(); }
  };

  int addressFromEnvironment();
  int userPassword(std::string& password);
  // A connection that failed: the library's reason and the status of its kind.
  int connectionFailed();
  bool logIn(const char* user, const char* password, const char* domain, int poolSize);
  // How long connecting and logging in may take.
  int connectSeconds() const;

  const GlobalOptions& m_options;
  ConsoleLogger& m_logger;
  Supervisor& m_supervisor;
  TransferBar m_transfers;
  Database m_db;
  std::string m_address;
  std::string m_password;  // of the user's login, to log in again after a stop
  bool m_opened = false;
};

// The exit status for a failure the library described with `text`
// (getLastErrorText) when it is one of the connection, 0 otherwise.
int connectionFailureStatus(const std::string& text);

}  // namespace talixdb_cli
