// Where the tool's and the library's messages go: standard error, one line
// each, prefixed "talixdb: ". Errors always; progress when --verbose was given
// or while a long operation asks for it; session events with --verbose only.
// Without --verbose, progress on a terminal is one status line that each
// message overwrites and that goes away when the operation ends.
#pragma once

#include <mutex>
#include <string>

#include "talixdbapi/TalixLogger.h"

namespace talixdb_cli {

class ConsoleLogger final : public TALIX::ILogger {
 public:
  // Takes the library's progress messages in place of the console.
  class ProgressListener {
   public:
    virtual void onProgress(const std::string& text) = 0;

   protected:
    ~ProgressListener() = default;
  };

  explicit ConsoleLogger(bool verbose);

  // Receives a library message (prefix "TALIXDBAPI 1.2.1:\t" removed).
  int log(TALIX::LogType type, const char* message) override;
  // The logger lives on the stack of main: nothing to give up.
  void release() override {}

  // The tool's own messages.
  void error(const std::string& text);
  void warning(const std::string& text);
  void progress(const std::string& text);

  bool verbose() const { return m_verbose; }

  // While set (not null), progress messages of the library go to `listener`.
  void setProgressListener(ProgressListener* listener) { m_listener = listener; }
  // On a terminal (without --verbose or --quiet), shows `text` as the status
  // line, in place of the one before; elsewhere does nothing.
  void status(const std::string& text);
  // Removes the status line, if one is shown.
  void clearStatus();
  // What the status line shows ("" when none is shown).
  const std::string& statusText() const { return m_statusText; }
  // --quiet: no status line from now on.
  void setQuiet() { m_quiet = true; }
  // Nothing is written from now on but what finalError says: after Ctrl-C
  // the failures it caused are told by one line.
  void mute() { m_muted = true; }
  void finalError(const std::string& text);
  // Whether messages are dropped (mute(), or a stop of the command).
  bool muted() const;
  // The text of the last line written (without "talixdb: "), so that what
  // the library logged already is not said twice.
  std::string lastLine() const;

  // Shows progress while alive, whatever --verbose says (long operations);
  // clears the status line when it ends.
  class ShowProgress {
   public:
    explicit ShowProgress(ConsoleLogger& logger);
    ~ShowProgress();
    ShowProgress(const ShowProgress&) = delete;
    ShowProgress& operator=(const ShowProgress&) = delete;

   private:
    ConsoleLogger& m_logger;
    bool m_before;
  };

  // While alive, the library's outcome messages (type 0) count as progress:
  // for operations that report their outcome through the tool instead, such
  // as the snapshot's "Done" or a deletion's "... has been deleted.".
  class OutcomesAsProgress {
   public:
    explicit OutcomesAsProgress(ConsoleLogger& logger);
    ~OutcomesAsProgress();
    OutcomesAsProgress(const OutcomesAsProgress&) = delete;
    OutcomesAsProgress& operator=(const OutcomesAsProgress&) = delete;

   private:
    ConsoleLogger& m_logger;
    bool m_before;
  };

 private:
  void write(const std::string& text);
  void print(const std::string& text);
  void showStatus(const std::string& text);
  void removeStatus();

  // The supervisor's thread shows notes too.
  mutable std::recursive_mutex m_mutex;

  bool m_verbose;
  bool m_showProgress;
  bool m_outcomesAsProgress = false;
  bool m_statusLine;
  bool m_statusShown = false;
  std::string m_statusText;
  bool m_quiet = false;
  bool m_muted = false;
  std::string m_lastLine;
  ProgressListener* m_listener = nullptr;
};

// "[######..................] 25%": `done` of `total` (> 0) as a bar of
// fixed width, for status lines.
std::string progressBar(long long done, long long total);

// Runs `operation` with progress shown, and returns its result once the
// status line is gone (so that what follows on standard output stands alone).
template <typename Operation>
auto withProgress(ConsoleLogger& logger, Operation operation) {
  ConsoleLogger::ShowProgress progress(logger);
  return operation();
}

}  // namespace talixdb_cli
