// The server's event thread. It accepts connections and holds every one that
// needs no worker: while a PROXY header, a TLS handshake or a request arrives
// (a request goes to the workers once it is whole; only an upload's
// attachments, and a body larger than the room holds, are read by a worker),
// while a reply waits for a client that reads slowly, while the rest of a
// refused request is read and dropped, and between kept-alive requests. Each
// socket is non-blocking and each wait has its deadline. When the cap on
// open connections is reached, the connection that has moved no byte for the
// longest is closed, never one whose bytes wait unread; when one address
// has its cap, or descriptors run out, the newest is refused.
#pragma once

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/AddressList.h"
#include "base/ServerLog.h"
#include "net/Connection.h"
#include "net/ProxyProtocol.h"
#include "net/TlsServer.h"

namespace talixdb::server {

class WaitingRoom {
 public:
  using Clock = std::chrono::steady_clock;
  using Ready = std::function<void(Connection)>;

  struct Settings {
    std::chrono::milliseconds idleTimeout{5000};     // between requests
    std::chrono::milliseconds requestTimeout{5000};  // from a request's first byte, plus time for its bytes
    std::uint64_t minRate = 128 * 1024;              // bytes per second that earn a second more
    int maxConnections = 1000;
    int maxPerAddress = 256;
    std::size_t requestHeld = 64 * 1024;  // bytes of one request held here before a worker takes it
    std::size_t headLimit = 64 * 1024;    // bytes of a request head
    std::string streamedAction;           // the SOAPAction whose body a worker reads (uploads)
    const TlsContext* tls = nullptr;      // null: plain HTTP
    AddressList proxies;                  // peers that may send a PROXY header first
    HeldBytes* held = nullptr;            // the cap on bytes held for connections
  };

  // `listener` is a bound, listening socket; `ready` takes connections
  // whose request has arrived. Throws when the event descriptors cannot be made.
  WaitingRoom(int listener, Settings settings, Ready ready);
  ~WaitingRoom();
  WaitingRoom(const WaitingRoom&) = delete;
  WaitingRoom& operator=(const WaitingRoom&) = delete;

  // Serves until one of `stopSignals` (blocked in every thread) arrives and
  // returns it; then stops accepting and closes the connections it holds.
  int run(const sigset_t& stopSignals);

  // From a worker: the connection waits here for its next request, or writes
  // the rest of its reply, or drops the rest of its request, and closes when
  // it was the last (closed at once once run() has returned).
  void giveBack(Connection connection);
  // Connections open: held here, queued for a worker or being served.
  int openConnections() const { return m_counts->total(); }

 private:
  enum class Phase { Proxy, Handshake, Request, Reply, Drain };
  enum class Outcome { Wait, Next, Gone };
  struct Waiting {
    Connection connection;
    Phase phase = Phase::Request;
    Clock::time_point since;     // accepted, given back, or the request's first byte
    Clock::time_point progress;  // the last byte moved either way
    bool begun = false;          // a request (header, handshake) has begun to arrive
    Deadline deadline;           // of a begun request: grows with its bytes
    std::uint64_t bytes = 0;     // of the begun request, so far
    std::unique_ptr<TlsHandshake> handshake;
    bool continued = false;  // "100 Continue" went out
  };

  void acceptAll(Clock::time_point now);
  void outOfResources(int error, Clock::time_point now);
  void add(Connection connection, Phase phase);
  void takeGivenBack();
  void advance(int socket);
  Outcome step(Waiting& waiting, int socket);
  Outcome readProxy(Waiting& waiting, int socket);
  Outcome shakeHands(Waiting& waiting);
  Outcome readRequest(Waiting& waiting, int socket);
  Outcome writeReply(Waiting& waiting, int socket);
  Outcome drain(Waiting& waiting, int socket);
  Outcome refuse(Waiting& waiting, const std::string& problem);
  void begin(Waiting& waiting, Clock::time_point now);
  void sweep(Clock::time_point now);
  bool evictOne(Clock::time_point now);
  void logRequest(const Waiting& waiting, LogLevel level, const std::string& outcome);
  void close(int socket);

  int m_listener;
  Settings m_settings;
  Ready m_ready;
  int m_epoll = -1;
  int m_wake = -1;   // an eventfd: connections were given back
  int m_spare = -1;  // a descriptor given up to refuse one connection when none are left
  bool m_accepting = true;
  Clock::time_point m_resumeAccepting{};
  std::chrono::milliseconds m_backoff{0};
  std::shared_ptr<ConnectionCounts> m_counts;
  std::unordered_map<int, Waiting> m_waiting;  // by socket
  std::vector<char> m_scratch;
  ThrottledWarning m_refusals;
  ThrottledWarning m_acceptFailures;

  std::mutex m_givenMutex;
  std::vector<Connection> m_given;
  bool m_stopped = false;  // under m_givenMutex
};

}  // namespace talixdb::server
