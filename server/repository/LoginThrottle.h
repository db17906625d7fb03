// Slows password guessing. Failed logins are counted per user name and per
// client address; once a few have failed in a row, the next attempt for that
// user or from that address must wait a delay that doubles with every
// further failure, up to a cap. An attempt inside the delay is refused at
// once, its password unchecked, saying how long is left: no worker waits.
//
// So that an attacker cannot lock a real user out, a user's own delay does
// not hold at an address from which that user logged in lately (the
// address's own delay still does). Counts fade after a quiet while.
//
// One object serves all workers of a server; each server keeps its own
// (several servers on one database each slow what reaches them).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace talixdb::server {

struct ThrottleLimits {
  int userFailures = 5;      // failed in a row for one user name before delays begin
  int addressFailures = 10;  // the same for one address (several users may share it)
  std::chrono::seconds firstDelay{1};
  std::chrono::seconds longestDelay{60};
  std::chrono::seconds forgetAfter{15 * 60};  // a count ends after this long without failures
  std::chrono::hours knownFor{7 * 24};        // how long a login makes its address known for the user
  std::size_t maxEntries = 10000;             // names and addresses remembered, each
};

// A delay that a failure began or lengthened, for the log.
struct ThrottleDelay {
  std::int64_t seconds = 0;  // 0: none
  int failures = 0;          // failed in a row, of the user or the address that was delayed
  bool byAddress = false;    // the address's count set it (else the user's)
};

class LoginThrottle {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit LoginThrottle(ThrottleLimits limits = {}, Clock clock = std::chrono::steady_clock::now);

  // Whole seconds `user` must still wait before trying from `address` (0: now).
  std::int64_t wait(const std::string& user, const std::string& address);
  // Counts a wrong user name or password; returns the delay it set.
  ThrottleDelay failed(const std::string& user, const std::string& address);
  // Notes a login: `address` becomes known for `user`.
  void succeeded(const std::string& user, const std::string& address);

 private:
  using Time = std::chrono::steady_clock::time_point;
  struct Count {
    int failures = 0;
    Time last{};
    Time until{};  // the delay's end
  };
  struct Known {
    std::string address;
    Time since{};
  };
  struct KnownAddresses {
    std::vector<Known> list;  // oldest first
    Time last{};
  };

  std::int64_t delayed(const Count* count, Time now) const;
  ThrottleDelay fail(std::unordered_map<std::string, Count>& counts, const std::string& key, int free, Time now);
  bool isKnown(const std::string& user, const std::string& address, Time now) const;
  // Before a new entry: when `map` is full, drops the entries unused for
  // `stale`, and else the one used longest ago.
  template <class Map>
  void makeRoom(Map& map, Time now, std::chrono::steady_clock::duration stale);

  const ThrottleLimits m_limits;
  const Clock m_clock;
  std::mutex m_mutex;
  std::unordered_map<std::string, Count> m_users;
  std::unordered_map<std::string, Count> m_addresses;
  std::unordered_map<std::string, KnownAddresses> m_known;  // by user
};

}  // namespace talixdb::server
