#include "net/WaitingRoom.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/Guard.h"
#include "base/Limits.h"

namespace talixdb::server {

namespace {

using std::chrono::milliseconds;

constexpr auto kSweepInterval = milliseconds(100);
// Connections accepted per turn, so that a flood of them holds up nothing else.
constexpr int kAcceptTurn = 64;
// After accept4 failed, accepting pauses this long, doubled while not even
// a refusal works, up to the most.
constexpr auto kFirstBackoff = milliseconds(100);
constexpr auto kMostBackoff = milliseconds(1600);
constexpr auto kDrainTotal = milliseconds(Limits::kDrainMilliseconds);
constexpr auto kDrainIdle = milliseconds(Limits::kDrainIdleMilliseconds);

std::runtime_error setupFailure(const char* what);
void watch(int epoll, int socket, std::uint32_t events);
std::string seconds(std::chrono::steady_clock::duration duration);

}  // namespace

WaitingRoom::WaitingRoom(int listener, Settings settings, Ready ready)
    : m_listener(listener),
      m_settings(std::move(settings)),
      m_ready(std::move(ready)),
      m_counts(std::make_shared<ConnectionCounts>()),
      m_scratch(64 * 1024) {
  if (m_settings.held == nullptr) throw std::invalid_argument("the waiting room needs a cap on held bytes");
  m_epoll = epoll_create1(EPOLL_CLOEXEC);
  if (m_epoll < 0) throw setupFailure("epoll");
  m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wake < 0) throw setupFailure("eventfd");
  m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  // A connection that goes away between its event and accept() must not block the loop.
  fcntl(m_listener, F_SETFL, fcntl(m_listener, F_GETFL) | O_NONBLOCK);
  watch(m_epoll, m_listener, EPOLLIN);
  watch(m_epoll, m_wake, EPOLLIN);
}

WaitingRoom::~WaitingRoom() {
  m_waiting.clear();
  m_given.clear();
  if (m_spare >= 0) ::close(m_spare);
  if (m_wake >= 0) ::close(m_wake);
  if (m_epoll >= 0) ::close(m_epoll);
}

int WaitingRoom::run(const sigset_t& stopSignals) {
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signals < 0) throw setupFailure("signalfd");
  watch(m_epoll, signals, EPOLLIN);
  int signal = 0;
  Clock::time_point nextSweep = Clock::now() + kSweepInterval;
  epoll_event events[64];
  while (signal == 0) {
    const auto wait = std::chrono::duration_cast<milliseconds>(nextSweep - Clock::now()).count();
    const int count = epoll_wait(m_epoll, events, 64, static_cast<int>(wait < 0 ? 0 : wait + 1));
    for (int i = 0; i < count; ++i) {
      const int fd = events[i].data.fd;
      if (fd == m_listener) {
        guardedRun("accepting connections", [&] { acceptAll(Clock::now()); });
      } else if (fd == signals) {
        signalfd_siginfo info{};
        if (::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
          signal = static_cast<int>(info.ssi_signo);
      } else if (fd == m_wake) {
        std::uint64_t ignored = 0;
        while (::read(m_wake, &ignored, sizeof ignored) > 0) {
        }
        guardedRun("taking connections back", [&] { takeGivenBack(); });
      } else {
        advance(fd);
      }
    }
    const Clock::time_point now = Clock::now();
    if (now >= nextSweep) {
      guardedRun("closing late connections", [&] { sweep(now); });
      nextSweep = now + kSweepInterval;
    }
  }
  ::close(signals);
  // Stop accepting; what waits here has no worker.
  if (m_accepting) epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_listener, nullptr);
  m_accepting = false;
  {
    std::lock_guard<std::mutex> lock(m_givenMutex);
    m_stopped = true;
    m_given.clear();
  }
  m_waiting.clear();
  return signal;
}

void WaitingRoom::giveBack(Connection connection) {
  std::lock_guard<std::mutex> lock(m_givenMutex);
  if (m_stopped) return;  // closed here
  m_given.push_back(std::move(connection));
  const std::uint64_t one = 1;
  ssize_t written = ::write(m_wake, &one, sizeof one);
  (void)written;  // a wake-up already pending does as well
}

void WaitingRoom::acceptAll(Clock::time_point now) {
  for (int turn = 0; turn < kAcceptTurn; ++turn) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int socket = accept4(m_listener, reinterpret_cast<sockaddr*>(&address), &length,
                               SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (socket < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) outOfResources(errno, now);
      return;
    }
    m_backoff = milliseconds(0);
    Connection connection(socket);  // closed on every way out from here
    connection.count(addressText(address), m_counts);
    const std::string& client = connection.client();
    const bool proxied = m_settings.proxies.contains(address);
    // Behind a balancer the peer is the balancer: its header names the client to count.
    if (!proxied && m_counts->from(client) > m_settings.maxPerAddress) {
      m_refusals.write("refused a connection from " + client + ": " + std::to_string(m_settings.maxPerAddress) +
                       " connections from this address are open");
      continue;
    }
    if (m_counts->total() > m_settings.maxConnections && !evictOne(now)) {
      m_refusals.write("refused a connection from " + client + ": " + std::to_string(m_settings.maxConnections) +
                       " connections are open, none of them idle");
      continue;
    }
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    add(std::move(connection), proxied ? Phase::Proxy : m_settings.tls != nullptr ? Phase::Handshake : Phase::Request);
  }
}

// accept4 failed for want of descriptors, memory or buffers: the
// connections waiting to be accepted are refused (closed at once, with the
// descriptor kept spare for that), and accepting pauses for a while, so that
// the loop never spins on a queue it cannot take; no open connection is
// closed to make room.
void WaitingRoom::outOfResources(int error, Clock::time_point now) {
  int refused = 0;
  if ((error == EMFILE || error == ENFILE) && m_spare >= 0) {
    ::close(m_spare);
    for (int socket; refused < kAcceptTurn && (socket = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
         ++refused)
      ::close(socket);
    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  }
  // Longer pauses only while not even a refusal works.
  m_backoff = refused > 0 || m_backoff.count() == 0 ? kFirstBackoff : std::min<milliseconds>(kMostBackoff, 2 * m_backoff);
  m_resumeAccepting = now + m_backoff;
  if (m_accepting) epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_listener, nullptr);
  m_accepting = false;
  m_acceptFailures.write(std::string("cannot accept connections (") + std::strerror(error) + "): " +
                         (refused > 0 ? "refused the newest " + std::to_string(refused) + ", " : "") +
                         "accepting again in " +
                         std::to_string(m_backoff.count()) + " ms");
}

void WaitingRoom::add(Connection connection, Phase phase) {
  const int socket = connection.socket();
  Waiting waiting;
  waiting.connection = std::move(connection);
  waiting.phase = phase;
  waiting.since = waiting.progress = Clock::now();
  m_waiting.emplace(socket, std::move(waiting));
  // Edge-triggered: each event is followed until the socket would block.
  epoll_event event{};
  event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
  event.data.fd = socket;
  if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, socket, &event) != 0) {
    m_waiting.erase(socket);
    return;
  }
  // Bytes may be there already: a request sent right after the last, or a reply to go on with.
  advance(socket);
}

void WaitingRoom::takeGivenBack() {
  std::vector<Connection> given;
  {
    std::lock_guard<std::mutex> lock(m_givenMutex);
    given.swap(m_given);
  }
  for (Connection& connection : given) {
    // A last reply, even an empty one, ends with the drop of what the client still sends.
    const bool replying = !connection.pending.empty() || connection.closeAfterReply;
    add(std::move(connection), replying ? Phase::Reply : Phase::Request);
  }
}

// Goes on with a connection as far as its socket allows.
void WaitingRoom::advance(int socket) {
  const bool stays = guarded("serving a waiting connection", false, [&] {
    auto found = m_waiting.find(socket);
    if (found == m_waiting.end()) return false;
    Outcome outcome;
    while ((outcome = step(found->second, socket)) == Outcome::Next) {
    }
    return outcome == Outcome::Wait;
  });
  if (!stays) close(socket);
}

void WaitingRoom::sweep(Clock::time_point now) {
  if (!m_accepting && now >= m_resumeAccepting) {
    watch(m_epoll, m_listener, EPOLLIN);
    m_accepting = true;
  }
  std::vector<int> late;
  for (auto& [socket, waiting] : m_waiting) {
    switch (waiting.phase) {
      case Phase::Reply:
        if (waiting.connection.replyDeadline.passed(now)) {
          logRequest(waiting, LogLevel::Warning,
                     "fault: the reply was not taken within " + seconds(now - waiting.connection.started));
          late.push_back(socket);
        }
        break;
      case Phase::Drain:
        if (now - waiting.since >= kDrainTotal || now - waiting.progress >= kDrainIdle) late.push_back(socket);
        break;
      default:
        if (!waiting.begun && now - waiting.since >= m_settings.idleTimeout) {
          late.push_back(socket);
        } else if (waiting.begun && waiting.deadline.passed(now)) {
          logRequest(waiting, LogLevel::Warning,
                     waiting.phase == Phase::Handshake
                         ? "fault: no TLS handshake within " + seconds(now - waiting.since)
                         : "fault: the request did not arrive within " + seconds(now - waiting.since));
          late.push_back(socket);
        }
    }
  }
  for (int socket : late) close(socket);
}

// Makes room for one more connection: the one that has moved no byte for
// the longest is closed, unless bytes of it wait unread (then they are read
// first, which may close it or hand it on, and another is looked for). A
// reply on its way is never closed.
bool WaitingRoom::evictOne(Clock::time_point now) {
  constexpr int kMostTries = 64;
  const int open = m_counts->total();
  for (int tries = 0; tries < kMostTries; ++tries) {
    int victim = -1;
    Clock::time_point stillest = now;
    for (const auto& [socket, waiting] : m_waiting) {
      if (waiting.phase == Phase::Reply) continue;
      if (waiting.phase == Phase::Drain || waiting.progress < stillest) {
        victim = socket;
        stillest = waiting.progress;
        if (waiting.phase == Phase::Drain) break;
      }
    }
    if (victim < 0) return false;
    int unread = 0;
    if (ioctl(victim, FIONREAD, &unread) == 0 && unread > 0) {
      advance(victim);
      if (m_counts->total() < open) return true;
      continue;
    }
    if (logs(LogLevel::Debug))
      logLine(LogLevel::Debug, "closed the connection from " + m_waiting[victim].connection.client() +
                                   " to make room: no byte for " + seconds(now - stillest));
    close(victim);
    return true;
  }
  return false;
}

void WaitingRoom::close(int socket) {
  epoll_ctl(m_epoll, EPOLL_CTL_DEL, socket, nullptr);
  m_waiting.erase(socket);  // the connection closes its socket
}

namespace {

std::runtime_error setupFailure(const char* what) {
  return std::runtime_error(std::string("cannot set up the connection loop (") + what + "): " + std::strerror(errno));
}

void watch(int epoll, int socket, std::uint32_t events) {
  epoll_event event{};
  event.events = events;
  event.data.fd = socket;
  if (epoll_ctl(epoll, EPOLL_CTL_ADD, socket, &event) != 0) throw setupFailure("epoll_ctl");
}

// "2.0 s"
std::string seconds(std::chrono::steady_clock::duration duration) {
  const auto tenths = std::chrono::duration_cast<milliseconds>(duration).count() / 100;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

}  // namespace

}  // namespace talixdb::server
