// The server's log on standard error, one whole line per event:
//   <time> <level> <text>
// with the time in ISO 8601 (UTC, milliseconds). A served request is one line
//   <time> <level> request <client> <operation> <user or -> <duration>ms <outcome>
// whose outcome, the only field that may hold blanks, comes last (blanks in
// the other fields become '_', an empty one is "-"). A request whose
// transactions lost to concurrent ones and ran again ends in
// "(N retries)" or "(N retries, M alone)".
// Lines below the chosen level are dropped; errors always pass.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

namespace talixdb::server {

enum class LogLevel { Error = 0, Warning = 1, Info = 2, Debug = 3 };

// "error", "warning", "info" or "debug".
const char* logLevelName(LogLevel level);
// Reads one of the names above; false for anything else.
bool parseLogLevel(const std::string& text, LogLevel& level);

// The most detailed level written from now on (default: info).
void setLogThreshold(LogLevel level);
bool logs(LogLevel level);

// Writes one line at `level` when that level is logged; line breaks in
// `text` become blanks.
void logLine(LogLevel level, const std::string& text);

// A warning that a flood could repeat (refused connections, workers that
// cannot start): written at most once a second, each line saying how many
// like it were held back since the last.
class ThrottledWarning {
 public:
  void write(const std::string& text);

 private:
  std::mutex m_mutex;
  std::chrono::steady_clock::time_point m_last{};
  long m_held = 0;
};

// What one request's line says.
struct RequestRecord {
  std::string client;     // the peer's address
  std::string operation;  // "" when none was recognised
  std::string user;       // "" when unknown
  std::chrono::steady_clock::duration duration{};
  std::string outcome;    // "ok", "fault: ..." or "probe"
  int retries = 0;        // transactions run again after a conflict
  int alone = 0;          // runs that ran alone
};

// The text after the level of a request's line.
std::string requestText(const RequestRecord& record);
// A whole line as written, without its newline.
std::string formatLogLine(std::chrono::system_clock::time_point time, LogLevel level, const std::string& text);

}  // namespace talixdb::server
