#include "base/Metrics.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace talixdb::server {

namespace {

constexpr const char* kOutcomeNames[kRequestOutcomes] = {"ok", "refused", "failed", "cut"};
constexpr const char* kOther = "other";

// A request's figures of one operation, summed over its slots.
struct OperationTotals {
  std::uint64_t outcomes[kRequestOutcomes] = {};
  std::uint64_t buckets[Metrics::kBuckets + 1] = {};
  std::uint64_t microseconds = 0;
};

std::string number(double value);
// A label value with \, " and line breaks escaped.
std::string labelValue(const std::string& text);
void header(std::string& page, const std::string& name, const char* type, const std::string& help);

}  // namespace

Metrics& metrics() {
  static Metrics figures;
  return figures;
}

void Metrics::countRequest(const std::string& name, RequestOutcome outcome, double seconds) noexcept {
  Operation& counted = operation(name.empty() ? std::string("none") : name);
  counted.outcomes[static_cast<std::size_t>(outcome)].fetch_add(1, std::memory_order_relaxed);
  std::size_t bucket = 0;
  while (bucket < kBuckets && seconds > kLatencyBounds[bucket]) ++bucket;
  counted.buckets[bucket].fetch_add(1, std::memory_order_relaxed);
  const double micros = std::max(0.0, seconds) * 1e6;
  counted.microseconds.fetch_add(static_cast<std::uint64_t>(std::llround(std::min(micros, 1e15))),
                                 std::memory_order_relaxed);
}

// The operation's slot, named on first use: a free slot is claimed by
// whichever request gets it first. Two requests naming the same new
// operation at once may claim two slots; the page adds them up.
Metrics::Operation& Metrics::operation(const std::string& name) noexcept {
  if (name.size() >= sizeof(Operation::name)) return m_operations[kOperations];
  for (std::size_t i = 0; i < kOperations; ++i) {
    Operation& slot = m_operations[i];
    int state = slot.state.load(std::memory_order_acquire);
    if (state == 2 && name == slot.name) return slot;
    if (state == 0 && slot.state.compare_exchange_strong(state, 1, std::memory_order_acq_rel)) {
      std::memcpy(slot.name, name.c_str(), name.size() + 1);
      slot.state.store(2, std::memory_order_release);
      return slot;
    }
  }
  return m_operations[kOperations];
}

void Metrics::addSource(Source source) {
  std::lock_guard<std::mutex> lock(m_sourcesMutex);
  m_sources.push_back(std::move(source));
}

void Metrics::clearSources() {
  std::lock_guard<std::mutex> lock(m_sourcesMutex);
  m_sources.clear();
}

std::string Metrics::page(const std::vector<Figure>& more) const {
  std::map<std::string, OperationTotals> operations;
  for (std::size_t i = 0; i <= kOperations; ++i) {
    const Operation& slot = m_operations[i];
    const bool other = i == kOperations;
    if (!other && slot.state.load(std::memory_order_acquire) != 2) continue;
    OperationTotals sums;
    std::uint64_t seen = 0;
    for (std::size_t k = 0; k < kRequestOutcomes; ++k) seen += sums.outcomes[k] = slot.outcomes[k].load();
    if (other && seen == 0) continue;
    for (std::size_t k = 0; k <= kBuckets; ++k) sums.buckets[k] = slot.buckets[k].load();
    sums.microseconds = slot.microseconds.load();
    OperationTotals& total = operations[other ? kOther : slot.name];
    for (std::size_t k = 0; k < kRequestOutcomes; ++k) total.outcomes[k] += sums.outcomes[k];
    for (std::size_t k = 0; k <= kBuckets; ++k) total.buckets[k] += sums.buckets[k];
    total.microseconds += sums.microseconds;
  }

  std::string page;
  header(page, "talixdb_requests_total", "counter", "Requests served, by operation and outcome.");
  for (const auto& [name, total] : operations) {
    for (std::size_t k = 0; k < kRequestOutcomes; ++k)
      page += "talixdb_requests_total{operation=\"" + labelValue(name) + "\",outcome=\"" + kOutcomeNames[k] + "\"} " +
              std::to_string(total.outcomes[k]) + "\n";
  }
  header(page, "talixdb_request_duration_seconds", "histogram",
         "Time from a request's start until its reply began (as its log line says), by operation.");
  for (const auto& [name, total] : operations) {
    const std::string label = "operation=\"" + labelValue(name) + "\"";
    std::uint64_t cumulative = 0;
    for (std::size_t k = 0; k <= kBuckets; ++k) {
      cumulative += total.buckets[k];
      const std::string bound = k < kBuckets ? number(kLatencyBounds[k]) : "+Inf";
      page += "talixdb_request_duration_seconds_bucket{" + label + ",le=\"" + bound + "\"} " +
              std::to_string(cumulative) + "\n";
    }
    page += "talixdb_request_duration_seconds_sum{" + label + "} " + number(total.microseconds / 1e6) + "\n";
    page += "talixdb_request_duration_seconds_count{" + label + "} " + std::to_string(cumulative) + "\n";
  }

  std::vector<Figure> figures = {
      {"talixdb_requests_in_progress", "Requests begun and not yet ended.", "",
       static_cast<double>(requestsInProgress.value())},
      {"talixdb_received_bytes_total", "Bytes of requests received, headers included.", "",
       static_cast<double>(bytesReceived.value()), true},
      {"talixdb_sent_bytes_total", "Bytes of replies sent, headers included.", "",
       static_cast<double>(bytesSent.value()), true},
      {"talixdb_replies_cut_total", "Replies cut short after they began: the client did not take them in time.",
       "", static_cast<double>(repliesCut.value()), true},
      {"talixdb_transactions_total", "Transactions run for requests, reruns included.", "",
       static_cast<double>(transactions.value()), true},
      {"talixdb_transaction_retries_total", "Transactions run again after losing to a concurrent one.", "",
       static_cast<double>(transactionRetries.value()), true},
      {"talixdb_transactions_alone_total", "Transactions run alone after losing to concurrent ones more than once.",
       "", static_cast<double>(transactionsAlone.value()), true},
      {"talixdb_login_delays_total", "Logins refused at once while failed ones delayed their user or address.", "",
       static_cast<double>(loginDelays.value()), true},
  };
  {
    std::lock_guard<std::mutex> lock(m_sourcesMutex);
    for (const Source& source : m_sources) {
      std::vector<Figure> read = source();
      figures.insert(figures.end(), read.begin(), read.end());
    }
  }
  figures.insert(figures.end(), more.begin(), more.end());
  std::string previous;
  for (const Figure& figure : figures) {
    if (figure.name != previous) header(page, figure.name, figure.counter ? "counter" : "gauge", figure.help);
    previous = figure.name;
    page += figure.name + (figure.labels.empty() ? "" : "{" + figure.labels + "}") + " " + number(figure.value) + "\n";
  }
  return page;
}

namespace {

std::string number(double value) {
  if (std::isnan(value)) return "NaN";
  char text[32];
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.9g", value);
  }
  return text;
}

std::string labelValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    if (c == '\n') {
      escaped += "\\n";
      continue;
    }
    escaped += c;
  }
  return escaped;
}

void header(std::string& page, const std::string& name, const char* type, const std::string& help) {
  page += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

}  // namespace talixdb::server
