#include "base/ServerLog.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace talixdb::server {

namespace {

std::atomic<int> g_threshold{static_cast<int>(LogLevel::Info)};

const char* const kLevelNames[] = {"error", "warning", "info", "debug"};

std::string oneLine(std::string text);
std::string orDash(const std::string& text);

}  // namespace

const char* logLevelName(LogLevel level) { return kLevelNames[static_cast<int>(level)]; }

bool parseLogLevel(const std::string& text, LogLevel& level) {
  for (int i = 0; i < 4; ++i) {
    if (text == kLevelNames[i]) {
      level = static_cast<LogLevel>(i);
      return true;
    }
  }
  return false;
}

void setLogThreshold(LogLevel level) { g_threshold = static_cast<int>(level); }

bool logs(LogLevel level) { return level == LogLevel::Error || static_cast<int>(level) <= g_threshold; }

void logLine(LogLevel level, const std::string& text) {
  if (!logs(level)) return;
  static std::mutex mutex;
  std::string line = formatLogLine(std::chrono::system_clock::now(), level, text) + "\n";
  std::lock_guard<std::mutex> lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void ThrottledWarning::write(const std::string& text) {
  long held = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    if (m_last != std::chrono::steady_clock::time_point{} && now - m_last < std::chrono::seconds(1)) {
      ++m_held;
      return;
    }
    m_last = now;
    held = m_held;
    m_held = 0;
  }
  logLine(LogLevel::Warning, held == 0 ? text : text + " (and " + std::to_string(held) + " more like it before)");
}

std::string requestText(const RequestRecord& record) {
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(record.duration).count();
  char duration[32];
  std::snprintf(duration, sizeof duration, "%lld.%03lldms", static_cast<long long>(micros / 1000),
                static_cast<long long>(micros % 1000));
  std::string text = "request " + orDash(record.client) + " " + orDash(record.operation) + " " +
                     orDash(record.user) + " " + duration + " " + record.outcome;
  if (record.retries > 0) {
    text += " (" + std::to_string(record.retries) + (record.retries == 1 ? " retry" : " retries");
    if (record.alone > 0) text += ", " + std::to_string(record.alone) + " alone";
    text += ")";
  }
  return text;
}

std::string formatLogLine(std::chrono::system_clock::time_point time, LogLevel level, const std::string& text) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() % 1000;
  if (millis < 0) millis += 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return std::string(stamp) + " " + logLevelName(level) + " " + oneLine(text);
}

namespace {

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// A field that must stay one word: blanks would shift the fields after it.
std::string orDash(const std::string& text) {
  if (text.empty()) return "-";
  std::string word = text;
  for (char& c : word) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = '_';
  }
  return word;
}

}  // namespace

}  // namespace talixdb::server
