// The guard at every place where C code calls ours (the runtime's hooks) and
// around each event of the event loop and each request of a worker: a
// failure there becomes the value the caller expects and one log line, never
// an exception that crosses C frames or ends the server.
#pragma once

#include <exception>

namespace talixdb::server {

// Logs, as a warning, that `where` failed because of `what`; never throws.
void logGuardedFailure(const char* where, const char* what) noexcept;

// Runs `work` and returns its result; when it throws, logs the failure and
// returns `failed`.
template <typename Result, typename Work>
Result guarded(const char* where, Result failed, Work&& work) noexcept {
  try {
    return work();
  } catch (const std::exception& problem) {
    logGuardedFailure(where, problem.what());
  } catch (...) {
    logGuardedFailure(where, "unknown failure");
  }
  return failed;
}

// The same for work without a result: false when it threw.
template <typename Work>
bool guardedRun(const char* where, Work&& work) noexcept {
  return guarded(where, false, [&] {
    work();
    return true;
  });
}

}  // namespace talixdb::server
