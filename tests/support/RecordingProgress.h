// A progress receiver for tests: it records what the library reports of
// transfers and stops one once a given number of bytes has moved.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "talixdbapi/TransferProgress.h"

namespace talixdb_test {

struct RecordingProgress : VLT_121::ITransferProgress {
  bool onTransfer(long long done, long long expected) override {
    calls.emplace_back(done, expected);
    return done < stopAt;
  }
  // The calls so far, which are then forgotten.
  std::vector<std::pair<long long, long long>> take() { return std::exchange(calls, {}); }

  std::vector<std::pair<long long, long long>> calls;  // done, expected
  long long stopAt = LLONG_MAX;
};

// The reports of one complete transfer of `size` bytes: from 0 to `size`,
// never back, at least every MiB (give or take the runtime's 64 KiB chunk).
inline ::testing::AssertionResult reportsWholeTransfer(const std::vector<std::pair<long long, long long>>& calls,
                                                       long long size) {
  if (calls.empty() || calls.front().first != 0 || calls.back().first != size)
    return ::testing::AssertionFailure() << calls.size() << " reports, not from 0 to " << size;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].second != size) return ::testing::AssertionFailure() << "expected " << calls[i].second;
    if (i > 0 && (calls[i].first < calls[i - 1].first || calls[i].first - calls[i - 1].first > (17 << 16)))
      return ::testing::AssertionFailure() << "report " << i << " goes from " << calls[i - 1].first << " to "
                                           << calls[i].first;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace talixdb_test
