// Time limits of one request, and what every worker shares about
// connections: their limits, the transfers running and whether the server
// is stopping.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "http/TransferPlaces.h"

namespace talixdb::server {

struct ConnectionPolicy {
  std::chrono::milliseconds requestTimeout{5000};  // HTTP head and XML part; also the base of a reply
  std::chrono::milliseconds idleTimeout{5000};     // between requests (for the Keep-Alive header)
  std::uint64_t minRate = 128 * 1024;  // bytes per second granted beyond requestTimeout
  std::chrono::seconds stallTimeout{60};  // one socket operation at most
  int keepAliveRequests = 100;         // requests per connection (1: no keep-alive)
  int maxTransfers = 16;               // uploadFiles and downloadFiles at once
  TransferPlaces transfers;            // held by the requests served
  std::atomic<bool> stopping{false};  // replies say "Connection: close"
};

// An absolute time limit for receiving or sending one message: a fixed
// allowance from its start, plus one second per `rate` bytes its attachments
// or its reply have actually moved (never what they declare).
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  void start(Clock::time_point now, std::chrono::milliseconds allowance) {
    m_at = now + allowance;
    m_granted = 0;
    m_running = true;
  }
  void stop() { m_running = false; }
  bool running() const { return m_running; }

  // Grants time for `total` bytes in all: bytes granted before count once.
  void grant(std::uint64_t total, std::uint64_t rate) {
    if (total <= m_granted || rate == 0) return;
    const std::uint64_t more = total - m_granted;
    m_at += std::chrono::seconds(more / rate) + std::chrono::microseconds((more % rate) * 1000000 / rate);
    m_granted = total;
  }

  // The time left as a runtime socket timeout (negative: microseconds), at
  // most `cap`; 0 when the deadline has passed.
  int socketTimeout(std::chrono::seconds cap) const {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(m_at - Clock::now());
    if (left.count() <= 0) return 0;
    return -static_cast<int>(std::min<std::chrono::microseconds::rep>(
        left.count(), std::chrono::duration_cast<std::chrono::microseconds>(cap).count()));
  }

 private:
  Clock::time_point m_at{};
  std::uint64_t m_granted = 0;
  bool m_running = false;
};

}  // namespace talixdb::server
