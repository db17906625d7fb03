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

// The bytes of requests and replies held in memory for connections (read
// ahead by the event thread, or waiting for a client that does not read),
// against a cap shared by every thread.
class HeldBytes {
 public:
  explicit HeldBytes(std::uint64_t most = std::uint64_t(256) << 20) : m_most(most) {}
  // Takes `bytes` more; false, taking nothing, when the cap would be passed.
  bool take(std::uint64_t bytes) {
    std::uint64_t now = m_held.load();
    do {
      if (bytes > m_most || now > m_most - bytes) return false;
    } while (!m_held.compare_exchange_weak(now, now + bytes));
    return true;
  }
  void give(std::uint64_t bytes) { m_held.fetch_sub(bytes); }
  std::uint64_t held() const { return m_held.load(); }
  std::uint64_t most() const { return m_most; }

 private:
  const std::uint64_t m_most;
  std::atomic<std::uint64_t> m_held{0};
};

struct ConnectionPolicy {
  std::chrono::milliseconds requestTimeout{5000};  // HTTP head and XML part; also the base of a reply
  std::chrono::milliseconds idleTimeout{5000};     // between requests (for the Keep-Alive header)
  std::uint64_t minRate = 128 * 1024;  // bytes per second granted beyond requestTimeout
  std::chrono::seconds stallTimeout{60};  // one socket operation at most
  int keepAliveRequests = 100;         // requests per connection (1: no keep-alive)
  int maxTransfers = 16;               // uploadFiles and downloadFiles at once
  std::uint64_t replyHeld = 16 << 20;  // bytes of one reply held for a client that does not read yet
  TransferPlaces transfers;            // held by the requests served
  HeldBytes* held = nullptr;  // the cap on held bytes; null: replies are never held
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
  // The deadline stops at the clock's end rather than wrap around (a
  // large upload at a rate of a byte a second would).
  void grant(std::uint64_t total, std::uint64_t rate) {
    if (total <= m_granted || rate == 0) return;
    const std::uint64_t more = total - m_granted;
    m_granted = total;
    using std::chrono::microseconds;
    const std::int64_t room = std::chrono::duration_cast<microseconds>(Clock::time_point::max() - m_at).count();
    const std::uint64_t seconds = more / rate;
    const std::uint64_t micros = (more % rate) * 1000000 / rate;  // (more % rate) * 10^6 stays below 2^60
    if (room / 1000000 < 2 || seconds >= static_cast<std::uint64_t>(room / 1000000 - 1)) {
      m_at = Clock::time_point::max();
      return;
    }
    m_at += microseconds(static_cast<microseconds::rep>(seconds * 1000000 + micros));
  }
  bool passed(Clock::time_point now) const { return m_running && now >= m_at; }

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
