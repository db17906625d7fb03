// How often transactions lost to concurrent ones (see Repository): counted
// per request, for its log line, and in all since the server started, for
// its figures. The totals are plain atomics that any thread may read.
#pragma once

#include <atomic>
#include <cstdint>

namespace talixdb::server {

// One request's share.
struct Contention {
  int retries = 0;  // transactions run again after losing to a concurrent one
  int alone = 0;    // of those runs, the ones that ran alone
};

struct ContentionTotals {
  std::atomic<std::uint64_t> transactions{0};  // bodies run, reruns included
  std::atomic<std::uint64_t> retries{0};
  std::atomic<std::uint64_t> alone{0};
};

// The process's totals.
ContentionTotals& contentionTotals();

}  // namespace talixdb::server
