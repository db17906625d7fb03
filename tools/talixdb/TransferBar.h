// File transfers as the user sees them: a progress bar on the terminal for
// large files, and Ctrl-C stopping the transfer in progress without leaving
// a partial file anywhere.
#pragma once

#include <string>

#include "ConsoleLogger.h"
#include "talixdbapi/TransferProgress.h"

namespace talixdb_cli {

// The receiver the session attaches to its handle: shows the bytes of files
// of 4 MiB or more on the status line (so only on a terminal, and not with
// --quiet or --verbose) and stops every transfer once the command is stopped
// (Supervisor.h).
class TransferBar final : public VLT_121::ITransferProgress {
 public:
  explicit TransferBar(ConsoleLogger& logger) : m_logger(logger) {}

  bool onTransfer(long long done, long long expected) override;

  // Whether a stop of the command stopped a transfer.
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

}  // namespace talixdb_cli
