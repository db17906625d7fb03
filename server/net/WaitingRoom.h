// The server's event thread. It accepts connections and holds every one
// that has no request in progress (just accepted, or kept alive after a
// reply) without a worker. A plain HTTP connection goes to the workers once
// its request head has arrived, and for a small request with a
// Content-Length its body too (the bytes stay in the socket for the worker);
// a TLS one as soon as it is readable. Connections idle longer than the idle
// limit are closed, and so are those whose request does not arrive within
// the request limit; when the cap on open connections is reached, the one
// idle longest is closed (a new connection is refused when none is idle).
#pragma once

#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "net/Connection.h"

namespace talixdb::server {

class WaitingRoom {
 public:
  using Clock = std::chrono::steady_clock;
  using Ready = std::function<void(Connection)>;

  // `listener` is a bound, listening socket; `ready` takes connections
  // that became readable. Throws when the event descriptors cannot be made.
  // `lookAhead` false: hand connections over at their first byte (TLS).
  WaitingRoom(int listener, std::chrono::milliseconds idleTimeout, std::chrono::milliseconds requestTimeout,
              int maxConnections, bool lookAhead, Ready ready);
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
  // Connections open: held here, queued for a worker or being served.
  int openConnections() const { return m_open.load(); }

 private:
  struct Waiting {
    Connection connection;
    Clock::time_point since;
    bool begun = false;  // part of a request has arrived (since then)
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
  std::chrono::milliseconds m_requestTimeout;
  int m_maxConnections;
  bool m_lookAhead;
  std::vector<char> m_peeked;
  Ready m_ready;
  int m_epoll = -1;
  int m_wake = -1;  // an eventfd: connections were given back
  std::unordered_map<int, Waiting> m_waiting;  // by socket
  std::atomic<int> m_open{0};                   // connections here and with workers

  std::mutex m_givenMutex;
  std::vector<Connection> m_given;
  bool m_stopped = false;  // under m_givenMutex
};

// True when `bytes`, the start of what a connection sent, hold a whole
// request head and, for a request with a Content-Length that fits in
// `lookAhead` bytes, its whole body; or when they fill `lookAhead`.
bool requestArrived(std::string_view bytes, std::size_t lookAhead);

}  // namespace talixdb::server
