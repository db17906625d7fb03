#include "base/Guard.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "base/ServerLog.h"

namespace talixdb::server {

void logGuardedFailure(const char* where, const char* what) noexcept {
  try {
    logLine(LogLevel::Warning, std::string(where) + " failed: " + what);
  } catch (...) {
    // Out of memory for the line itself: a fixed text, written as it is.
    const char line[] = "warning: a guarded step failed and its log line could not be made\n";
    ssize_t ignored = ::write(2, line, sizeof line - 1);
    (void)ignored;
  }
}

}  // namespace talixdb::server
