// The times of a user's live session, as the server tells them to a caller
// who proved that user's password (or the administrator's) with HTTP Basic
// authorization on an isLoggedIn request: one reply header, beside the usual
// body, that other clients never ask for and may ignore:
//   X-Talixdb-Session: last-used=SECONDS; expires=SECONDS
// with seconds since 1970-01-01 UTC (the latest session of the user).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace talixdb {

inline constexpr char kSessionTimesHeader[] = "X-Talixdb-Session";

struct SessionTimes {
  bool known = false;
  std::int64_t lastUsed = 0;
  std::int64_t expires = 0;
};

// The header's value.
inline std::string formatSessionTimes(std::int64_t lastUsed, std::int64_t expires) {
  return "last-used=" + std::to_string(lastUsed) + "; expires=" + std::to_string(expires);
}

// Reads the header's value; `known` stays false for anything else.
inline SessionTimes parseSessionTimes(const std::string& value) {
  SessionTimes times;
  long long lastUsed = 0, expires = 0;
  int end = 0;
  if (std::sscanf(value.c_str(), "last-used=%lld; expires=%lld%n", &lastUsed, &expires, &end) == 2 &&
      value[static_cast<std::size_t>(end)] == '\0') {
    times.known = true;
    times.lastUsed = lastUsed;
    times.expires = expires;
  }
  return times;
}

}  // namespace talixdb
