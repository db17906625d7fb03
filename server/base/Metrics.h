// The server's figures for operators, in one home: counts and levels that any
// layer adds to without a lock, and the page of GET /metrics that shows them
// in the Prometheus text format (version 0.0.4). Figures owned elsewhere (the
// waiting room's connections, the workers, the store) are read when a page is
// made, through sources registered at start or passed in by the caller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace talixdb::server {

// A count that only grows.
class Counter {
 public:
  void add(std::uint64_t amount = 1) noexcept { m_value.fetch_add(amount, std::memory_order_relaxed); }
  std::uint64_t value() const noexcept { return m_value.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> m_value{0};
};

// A level that goes up and down.
class Gauge {
 public:
  void add(std::int64_t amount) noexcept { m_value.fetch_add(amount, std::memory_order_relaxed); }
  std::int64_t value() const noexcept { return m_value.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::int64_t> m_value{0};
};

// How a request ended: answered, refused (a fault the client caused: the
// repository's rules, bytes no request may hold, a busy server), failed (a
// fault of the server or its store), or cut short (its request or reply
// missed its deadline).
enum class RequestOutcome { Ok = 0, Refused, Failed, Cut };
constexpr std::size_t kRequestOutcomes = 4;

// One figure read when a page is made.
struct Figure {
  std::string name;    // "talixdb_..."
  std::string help;    // one line
  std::string labels;  // "" or `state="busy"`: what tells figures of one name apart
  double value = 0;
  bool counter = false;  // else a gauge
};

class Metrics {
 public:
  // The upper bounds of the latency histogram's buckets, in seconds.
  static constexpr double kLatencyBounds[] = {0.001, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                              0.5,   1,     2.5,  5,     10,   30,  60};
  static constexpr std::size_t kBuckets = sizeof kLatencyBounds / sizeof kLatencyBounds[0];
  // Operations counted apart; more share the label "other".
  static constexpr std::size_t kOperations = 64;

  // A request of `operation` ("" when none ran) ended with `outcome`, its
  // reply beginning `seconds` after it did. Takes no lock.
  void countRequest(const std::string& operation, RequestOutcome outcome, double seconds) noexcept;

  Counter bytesReceived;       // of requests, headers included
  Counter bytesSent;           // of replies, headers included
  Gauge requestsInProgress;    // begun and not yet answered and ended
  Counter repliesCut;          // replies cut short after they began (the client did not take them)
  // Of requests' transactions, added up from each request's share when it is counted.
  Counter transactions;        // run, reruns included
  Counter transactionRetries;  // run again after losing to a concurrent one
  Counter transactionsAlone;   // run alone after losing more than once
  Counter loginDelays;         // logins refused at once while their delay lasted

  using Source = std::function<std::vector<Figure>()>;
  // Reads `source` at every page from now on; the source must outlive the
  // pages made or be taken away with clearSources() first.
  void addSource(Source source);
  void clearSources();

  // The page: every figure above, the sources' and `more`.
  std::string page(const std::vector<Figure>& more = {}) const;

 private:
  struct Operation {
    std::atomic<int> state{0};  // 0 free, 1 being named, 2 named
    char name[48] = {};
    std::atomic<std::uint64_t> outcomes[kRequestOutcomes] = {};
    std::atomic<std::uint64_t> buckets[kBuckets + 1] = {};  // the last: above every bound
    std::atomic<std::uint64_t> microseconds{0};
  };
  Operation& operation(const std::string& name) noexcept;

  Operation m_operations[kOperations + 1];  // the last: "other"
  mutable std::mutex m_sourcesMutex;        // only for sources, never on a request's path
  std::vector<Source> m_sources;
};

// The one set of figures of this process.
Metrics& metrics();

}  // namespace talixdb::server
