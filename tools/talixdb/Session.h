// The tool's one connection to the repository server: opening it, logging in
// as the user or checking the administrator's credentials, and logging out
// and closing at the end, whatever happened in between.
#pragma once

#include <string>

#include "ConsoleLogger.h"
#include "GlobalOptions.h"
#include "TransferBar.h"
#include "talixdbapi/VLTDatabase.h"

namespace talixdb_cli {

class Session {
 public:
  // Attaches `logger` (which must outlive the session) and a transfer bar
  // that draws through it; contacts nobody.
  Session(const GlobalOptions& options, ConsoleLogger& logger);
  // Logs out when logged in and closes the connection.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens the connection (once). 0, or exit_code::kUnreachable with a message.
  int open();
  // Opens for the library's administrator operations: --user / --password,
  // when given, stand for VLT_ADMIN_USER / VLT_ADMIN_PASSWORD from now on;
  // without either password, a terminal is asked for it. 0, or
  // kUnreachable / kUsage (no password read) with a message.
  int openAsAdministrator();
  // Opens and logs in as the user of the global options. 0, or
  // kUnreachable / kLoginRefused / kUsage with a message.
  int login();
  // Opens with openAsAdministrator() and logs in as the administrator that
  // the library's administrator operations use. 0, or kUnreachable /
  // kLoginRefused with a message.
  int loginAsAdministrator();
  // The same, logging out again: tells early whether the library's
  // administrator operations will be able to log in.
  int checkAdministrator();
  // After a login failed: kUnreachable with a time-out message when the
  // server does not answer in time, else kLoginRefused with `refusal`.
  int loginFailed(const std::string& refusal);

  VLT_121::CVLTDatabase& db();
  // Follows every file transfer of db().
  const TransferBar& transfers() const { return m_transfers; }
  // The address the connection was opened with (known after open()).
  const std::string& address() const { return m_address; }
  // The administrator's user name as the library will take it.
  static std::string administratorName();

 private:
  class Database : public VLT_121::CVLTDatabase {
   public:
    static const char* addressFromEnvironment() { return getURL(); }
  };

  enum class Answer { kAnswers, kSilent, kUnreachable };

  int addressFromEnvironment();
  int userPassword(std::string& password);
  // Whether the server answers a fresh connection within a few seconds.
  Answer answerCheck();

  const GlobalOptions& m_options;
  ConsoleLogger& m_logger;
  TransferBar m_transfers;
  Database m_db;
  std::string m_address;
  bool m_opened = false;
};

}  // namespace talixdb_cli
