// The server's event thread. It accepts connections and holds every one
// that has no request in progress (just accepted, or kept alive after a
// reply) without a worker; one goes to the workers when it becomes
// readable. Connections idle longer than the idle limit are closed; so is
// the one idle longest when the cap on open connections is reached (a new
// connection is refused when none is idle).
#pragma once

#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "WorkerPool.h"

namespace talixdb::server {

class WaitingRoom {
 public:
  using Clock = std::chrono::steady_clock;
  using Ready = std::function<void(Connection)>;

  // `listener` is a bound, listening socket; `ready` takes connections
  // that became readable. Throws when the event descriptors cannot be made.
  WaitingRoom(int listener, std::chrono::milliseconds idleTimeout, int maxConnections, Ready ready);
  ~WaitingRoom();
  WaitingRoom(const WaitingRoom&) = delete;
  WaitingRoom& operator=(const WaitingRoom&) = delete;

  // Serves until one of `stopSignals` (blocked in every thread) arrives and
  // returns it; then stops accepting and closes the connections it holds.
  int run(const sigset_t& stopSignals);

  // From a worker: the connection waits here for its next request (closed
  // once run() has returned).
  void giveBack(Connection connection);
  // From a worker: a connection it had was closed.
  void closed() { m_open.fetch_sub(1); }

 private:
  struct Waiting {
    Connection connection;
    Clock::time_point since;
  };
  void acceptAll();
  void add(Connection connection);
  void takeGivenBack();
  void onReadable(int socket);
  void sweep(Clock::time_point now);
  bool closeLongestIdle();
  void close(int socket);

  int m_listener;
  std::chrono::milliseconds m_idleTimeout;
  int m_maxConnections;
  Ready m_ready;
  int m_epoll = -1;
  int m_wake = -1;  // an eventfd: connections were given back
  std::unordered_map<int, Waiting> m_waiting;  // by socket
  std::atomic<int> m_open{0};                   // connections here and with workers

  std::mutex m_givenMutex;
  std::vector<Connection> m_given;
  bool m_stopped = false;  // under m_givenMutex
};

}  // namespace talixdb::server
