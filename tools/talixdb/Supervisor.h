// Watches the running command from a thread of its own, so that a stopped
// tool never leaves its user locked out: SIGINT, SIGTERM, SIGHUP and SIGPIPE,
// the command's deadline (--timeout), and a connection that takes long.
//
// A stop (the first such signal, or the deadline) ends the server session at
// once, through a copy of the handle that carries its cookie: the library lets
// a user log in only when no session of theirs lives, and the command's further
// requests then fail quickly, so it ends soon after, undoing what it must.
// Transfers in progress stop as they do for Ctrl-C. The program then exits
// with 128 + the signal's number (130 for Ctrl-C), or exit_code::kTimedOut.
// Before the login there is no session: a signal ends the program as it
// always did, and so does a connection that outlasts its limit. A second
// signal ends the program at once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ConsoleLogger.h"
#include "talixdbapi/VLTDatabase.h"

namespace talixdb_cli {

class Supervisor {
 public:
  // Catches the four signals (a signal ignored at the start stays ignored)
  // and starts the watching thread.
  explicit Supervisor(ConsoleLogger& logger);
  // Ends the thread and gives the signals their earlier actions.
  ~Supervisor();
  Supervisor(const Supervisor&) = delete;
  Supervisor& operator=(const Supervisor&) = delete;

  // The command ends, stopped, `seconds` from now (0: no deadline).
  void setDeadline(int seconds);
  // Connecting to `address` and logging in: a note on a terminal after two
  // seconds, and the end of the program after `limitSeconds` (0: none).
  void connecting(const std::string& address, int limitSeconds);
  void connected();
  // A session was opened on `db` (logged in); a copy of `db` made now ends
  // it on a stop. Time limits of the copy are short (see Supervisor.cpp).
  void sessionStarted(const VLT_121::CVLTDatabase& db);
  // The session was ended by the command itself.
  void sessionEnded();
  // Whether a stop ended the session (the command may log in again to undo
  // what it did).
  bool sessionEndedByStop() const;

  // Whether a stop was asked; readable from anywhere, signal handlers too.
  static bool stopRequested();
  // Transfers tell when one is in progress (a stop then waits for it).
  static void setTransferring(bool transferring);
  // The exit status and the last line for a stopped command.
  int exitStatus() const;
  std::string stopMessage() const;

 private:
  void watch();
  void stop();
  void endSession();
  // stopMessage() with m_mutex held.
  std::string stopText() const;

  ConsoleLogger& m_logger;
  mutable std::mutex m_mutex;  // guards everything below but the thread
  std::condition_variable m_wake;
  bool m_finished = false;
  std::string m_address;
  int m_deadlineSeconds = 0;
  std::chrono::steady_clock::time_point m_deadline{};
  bool m_hasDeadline = false;
  std::chrono::steady_clock::time_point m_connectStart{};
  int m_connectLimit = 0;
  bool m_connecting = false;
  bool m_noteShown = false;
  std::unique_ptr<VLT_121::CVLTDatabase> m_guard;
  bool m_sessionEnded = false;
  std::thread m_thread;
};

}  // namespace talixdb_cli
