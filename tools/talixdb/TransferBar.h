// File transfers as the user sees them: a progress bar on the terminal for
// large files, and Ctrl-C stopping the transfer in progress without leaving
// a partial file anywhere.
#pragma once

#include <signal.h>

#include <string>

#include "ConsoleLogger.h"
#include "talixdbapi/TransferProgress.h"

namespace talixdb_cli {

// The receiver the session attaches to its handle: shows the bytes of files
// of 4 MiB or more on the status line (so only on a terminal, and not with
// --quiet or --verbose) and stops every transfer once Ctrl-C was pressed
// during one.
class TransferBar final : public VLT_121::ITransferProgress {
 public:
  explicit TransferBar(ConsoleLogger& logger) : m_logger(logger) {}

  bool onTransfer(long long done, long long expected) override;

  // Whether Ctrl-C was pressed while a file moved.
  bool interrupted() const;
  // The one line that tells what an interruption left behind.
  static std::string interruptedMessage();

 private:
  ConsoleLogger& m_logger;
  bool m_barShown = false;
  int m_percentShown = -1;  // of the file in transfer
  std::string m_statusBefore;  // the status line the bar stands in for
  bool m_stopped = false;
};

// While alive, Ctrl-C during a file transfer asks the transfer to stop (the
// program then ends with exit_code::kInterrupted); anywhere else, or a second
// time, Ctrl-C ends the program at once as it always did. A program started
// with Ctrl-C ignored keeps ignoring it.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

 private:
  struct sigaction m_previous {};
  bool m_installed = false;
};

}  // namespace talixdb_cli
