// How long one request to the server may take: the configured seconds plus
// one second per MiB it has moved, so that the limit grows with a transfer.
#include <gtest/gtest.h>

#include <cstdint>

#include "client/ClientContext.h"

TEST(ExchangeAllowance, GrowsBySecondPerMiBMovedAndZeroMeansNoLimit) {
  const std::uint64_t kMiB = std::uint64_t(1) << 20;
  struct Case {
    int seconds;
    std::uint64_t bytes;
    std::int64_t micros;
  };
  const Case cases[] = {
      {0, 0, 0},
      {0, 1024 * kMiB, 0},
      {600, 0, 600000000},
      {600, kMiB, 601000000},
      {2, kMiB / 2, 2500000},
      {1, 1024 * kMiB, 1025000000},  // 1 GiB: more than 17 minutes
      {1, UINT64_MAX, INT64_MAX},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VLT_121::exchangeAllowance(c.seconds, c.bytes), c.micros) << c.seconds << " s, " << c.bytes << " bytes";
}
