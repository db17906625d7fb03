#include "ConsoleLogger.h"

#include <unistd.h>

#include <cstdio>

#include "Supervisor.h"

namespace talixdb_cli {

namespace {

const std::string kLibraryPrefix = "TALIXDBAPI 1.2.1:\t";
// Longest status line on a terminal; the rest of a long path is cut.
constexpr std::size_t kStatusWidth = 110;

// Library messages carry line breaks of their own ("Uploading File:\n/x\n");
// on the console each becomes one line with single blanks.
std::string oneLine(const std::string& text) {
  std::string line;
  bool pendingBlank = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
      pendingBlank = !line.empty();
      continue;
    }
    if (pendingBlank) line.push_back(' ');
    pendingBlank = false;
    line.push_back(c);
  }
  return line;
}

}  // namespace

ConsoleLogger::ConsoleLogger(bool verbose)
    : m_verbose(verbose), m_showProgress(verbose), m_statusLine(!verbose && ::isatty(2) == 1) {}

int ConsoleLogger::log(TALIX::LogType type, const char* message) {
  std::string text = message != nullptr ? message : "";
  if (text.compare(0, kLibraryPrefix.size(), kLibraryPrefix) == 0) text.erase(0, kLibraryPrefix.size());
  switch (type) {
    case TALIX::LogTypeError:
      if (m_outcomesAsProgress)
        progress(oneLine(text));
      else
        write(oneLine(text));
      break;
    case TALIX::LogTypeProgress:
    case TALIX::LogTypeWarning:
      if (m_listener != nullptr)
        m_listener->onProgress(oneLine(text));
      else
        progress(oneLine(text));
      break;
    default:
      if (m_verbose) write(oneLine(text));
      break;
  }
  return 0;
}

void ConsoleLogger::error(const std::string& text) { write(text); }

void ConsoleLogger::warning(const std::string& text) { write("warning: " + text); }

void ConsoleLogger::progress(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (!m_showProgress || text.empty() || muted()) return;
  if (m_statusLine)
    showStatus(text);
  else
    write(text);
}

void ConsoleLogger::status(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (m_statusLine && !m_quiet && !muted()) showStatus(text);
}

void ConsoleLogger::finalError(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  m_muted = true;
  print(text);
}

bool ConsoleLogger::muted() const { return m_muted || Supervisor::stopRequested(); }

void ConsoleLogger::write(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (!muted()) print(text);
}

std::string ConsoleLogger::lastLine() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_lastLine;
}

void ConsoleLogger::print(const std::string& text) {
  if (text.empty()) return;
  m_lastLine = text;
  removeStatus();
  std::fprintf(stderr, "talixdb: %s\n", text.c_str());
  std::fflush(stderr);
}

void ConsoleLogger::showStatus(const std::string& text) {
  std::string shown = text.size() > kStatusWidth ? text.substr(0, kStatusWidth - 3) + "..." : text;
  std::fprintf(stderr, "\r\033[Ktalixdb: %s", shown.c_str());
  std::fflush(stderr);
  m_statusShown = true;
  m_statusText = text;
}

void ConsoleLogger::clearStatus() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  removeStatus();
}

void ConsoleLogger::removeStatus() {
  if (!m_statusShown) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  m_statusShown = false;
  m_statusText.clear();
}

std::string progressBar(long long done, long long total) {
  constexpr long long kBarWidth = 24;
  if (done > total) done = total;
  const long long filled = done * kBarWidth / total;
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + std::to_string(done * 100 / total) +
         "%";
}

ConsoleLogger::ShowProgress::ShowProgress(ConsoleLogger& logger)
    : m_logger(logger), m_before(logger.m_showProgress) {
  m_logger.m_showProgress = true;
}

ConsoleLogger::ShowProgress::~ShowProgress() {
  m_logger.clearStatus();
  m_logger.m_showProgress = m_before;
}

ConsoleLogger::OutcomesAsProgress::OutcomesAsProgress(ConsoleLogger& logger)
    : m_logger(logger), m_before(logger.m_outcomesAsProgress) {
  m_logger.m_outcomesAsProgress = true;
}

ConsoleLogger::OutcomesAsProgress::~OutcomesAsProgress() { m_logger.m_outcomesAsProgress = m_before; }

}  // namespace talixdb_cli
