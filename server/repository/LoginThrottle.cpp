#include "repository/LoginThrottle.h"

#include <algorithm>

#include "repository/NameRules.h"

namespace talixdb::server {

namespace {

// Most addresses remembered as known for one user.
constexpr std::size_t kKnownPerUser = 8;

// A user name as counted: no user's name is longer than kMaxNameBytes, so a
// longer one is cut (which keeps a flood of long names from filling memory).
std::string userKey(const std::string& user) { return user.substr(0, kMaxNameBytes + 1); }

}  // namespace

LoginThrottle::LoginThrottle(ThrottleLimits limits, Clock clock) : m_limits(limits), m_clock(std::move(clock)) {}

std::int64_t LoginThrottle::wait(const std::string& user, const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const Time now = m_clock();
  auto find = [](const auto& map, const std::string& key) {
    auto found = map.find(key);
    return found == map.end() ? nullptr : &found->second;
  };
  std::int64_t seconds = delayed(find(m_addresses, address), now);
  const std::string name = userKey(user);
  if (!isKnown(name, address, now)) seconds = std::max(seconds, delayed(find(m_users, name), now));
  return seconds;
}

ThrottleDelay LoginThrottle::failed(const std::string& user, const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const Time now = m_clock();
  ThrottleDelay byUser = fail(m_users, userKey(user), m_limits.userFailures, now);
  ThrottleDelay byAddress = fail(m_addresses, address, m_limits.addressFailures, now);
  byAddress.byAddress = true;
  return byAddress.seconds > byUser.seconds ? byAddress : byUser;
}

void LoginThrottle::succeeded(const std::string& user, const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const Time now = m_clock();
  const std::string name = userKey(user);
  if (m_known.find(name) == m_known.end()) makeRoom(m_known, now, m_limits.knownFor);
  KnownAddresses& known = m_known[name];
  std::vector<Known>& list = known.list;
  auto same = std::find_if(list.begin(), list.end(), [&](const Known& each) { return each.address == address; });
  if (same != list.end()) list.erase(same);
  if (list.size() >= kKnownPerUser) list.erase(list.begin());
  list.push_back(Known{address, now});
  known.last = now;
}

std::int64_t LoginThrottle::delayed(const Count* count, Time now) const {
  if (count == nullptr || count->until <= now) return 0;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(count->until - now).count();
  return (left + 999) / 1000;
}

ThrottleDelay LoginThrottle::fail(std::unordered_map<std::string, Count>& counts, const std::string& key, int free,
                                  Time now) {
  auto found = counts.find(key);
  if (found == counts.end()) {
    makeRoom(counts, now, m_limits.forgetAfter + m_limits.longestDelay);
    found = counts.emplace(key, Count{}).first;
  }
  Count& count = found->second;
  if (now - count.last > m_limits.forgetAfter) count.failures = 0;
  count.failures = std::min(count.failures + 1, 1 << 20);
  count.last = now;
  ThrottleDelay delay;
  delay.failures = count.failures;
  if (count.failures <= free) return delay;
  const int doublings = std::min(count.failures - free - 1, 30);
  const auto longest = m_limits.longestDelay;
  const auto grown = m_limits.firstDelay * (std::int64_t{1} << doublings);
  delay.seconds = std::min<std::chrono::seconds>(grown, longest).count();
  count.until = std::max(count.until, now + std::chrono::seconds(delay.seconds));
  return delay;
}

bool LoginThrottle::isKnown(const std::string& user, const std::string& address, Time now) const {
  auto found = m_known.find(user);
  if (found == m_known.end()) return false;
  const std::vector<Known>& list = found->second.list;
  return std::any_of(list.begin(), list.end(), [&](const Known& each) {
    return each.address == address && now - each.since < m_limits.knownFor;
  });
}

template <class Map>
void LoginThrottle::makeRoom(Map& map, Time now, std::chrono::steady_clock::duration stale) {
  if (map.size() < m_limits.maxEntries) return;
  for (auto it = map.begin(); it != map.end();) it = now - it->second.last > stale ? map.erase(it) : std::next(it);
  if (map.size() < m_limits.maxEntries) return;
  map.erase(std::min_element(map.begin(), map.end(),
                             [](const auto& a, const auto& b) { return a.second.last < b.second.last; }));
}

}  // namespace talixdb::server
