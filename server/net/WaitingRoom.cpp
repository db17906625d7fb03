#include "net/WaitingRoom.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/ServerLog.h"

namespace talixdb::server {

namespace {

constexpr auto kSweepInterval = std::chrono::milliseconds(100);
// Connections accepted per turn, so that a flood of them holds up nothing else.
constexpr int kAcceptTurn = 64;
// How much of a request the loop looks at before a worker takes it.
constexpr std::size_t kLookAhead = 64 * 1024;

std::string peerAddress(const sockaddr_storage& address);
std::runtime_error setupFailure(const char* what);
void watch(int epoll, int socket);

}  // namespace

WaitingRoom::WaitingRoom(int listener, std::chrono::milliseconds idleTimeout, std::chrono::milliseconds requestTimeout,
                         int maxConnections, bool lookAhead, Ready ready)
    : m_listener(listener),
      m_idleTimeout(idleTimeout),
      m_requestTimeout(requestTimeout),
      m_maxConnections(maxConnections),
      m_lookAhead(lookAhead),
      m_peeked(kLookAhead),
      m_ready(std::move(ready)) {
  m_epoll = epoll_create1(EPOLL_CLOEXEC);
  if (m_epoll < 0) throw setupFailure("epoll");
  m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wake < 0) throw setupFailure("eventfd");
  // A connection that goes away between its event and accept() must not block the loop.
  fcntl(m_listener, F_SETFL, fcntl(m_listener, F_GETFL) | O_NONBLOCK);
  watch(m_epoll, m_listener);
  watch(m_epoll, m_wake);
}

WaitingRoom::~WaitingRoom() {
  for (auto& entry : m_waiting) ::close(entry.first);
  for (const Connection& connection : m_given) ::close(connection.socket);
  if (m_wake >= 0) ::close(m_wake);
  if (m_epoll >= 0) ::close(m_epoll);
}

int WaitingRoom::run(const sigset_t& stopSignals) {
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signals < 0) throw setupFailure("signalfd");
  watch(m_epoll, signals);
  int signal = 0;
  Clock::time_point nextSweep = Clock::now() + kSweepInterval;
  epoll_event events[64];
  while (signal == 0) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextSweep - Clock::now()).count();
    const int count = epoll_wait(m_epoll, events, 64, static_cast<int>(wait < 0 ? 0 : wait + 1));
    for (int i = 0; i < count; ++i) {
      const int fd = events[i].data.fd;
      if (fd == m_listener) {
        acceptAll();
      } else if (fd == signals) {
        signalfd_siginfo info{};
        if (::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
          signal = static_cast<int>(info.ssi_signo);
      } else if (fd == m_wake) {
        std::uint64_t ignored = 0;
        while (::read(m_wake, &ignored, sizeof ignored) > 0) {
        }
        takeGivenBack();
      } else {
        onReadable(fd);
      }
    }
    const Clock::time_point now = Clock::now();
    if (now >= nextSweep) {
      sweep(now);
      nextSweep = now + kSweepInterval;
    }
  }
  ::close(signals);
  // Stop accepting; what waits here has no request in progress.
  epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_listener, nullptr);
  {
    std::lock_guard<std::mutex> lock(m_givenMutex);
    m_stopped = true;
  }
  takeGivenBack();
  std::vector<int> sockets;
  for (const auto& entry : m_waiting) sockets.push_back(entry.first);
  for (int socket : sockets) close(socket);
  return signal;
}

void WaitingRoom::giveBack(Connection connection) {
  std::lock_guard<std::mutex> lock(m_givenMutex);
  if (m_stopped) {
    ::close(connection.socket);
    closed();
    return;
  }
  m_given.push_back(std::move(connection));
  const std::uint64_t one = 1;
  ssize_t written = ::write(m_wake, &one, sizeof one);
  (void)written;  // a wake-up already pending does as well
}

void WaitingRoom::acceptAll() {
  for (int turn = 0; turn < kAcceptTurn; ++turn) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int socket = accept4(m_listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (socket < 0) {
      // Out of descriptors: an idle connection makes room for the next try.
      if ((errno == EMFILE || errno == ENFILE) && closeLongestIdle()) continue;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    if (m_open.load() >= m_maxConnections && !closeLongestIdle()) {
      if (logs(LogLevel::Debug))
        logLine(LogLevel::Debug, "refused a connection from " + peerAddress(address) + ": " +
                                     std::to_string(m_maxConnections) + " connections are open, none idle");
      ::close(socket);
      continue;
    }
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_open.fetch_add(1);
    add(Connection{socket, peerAddress(address), 0});
  }
}

void WaitingRoom::add(Connection connection) {
  const int socket = connection.socket;
  // Edge-triggered: a partial request is looked at again when more arrives.
  epoll_event event{};
  event.events = EPOLLIN | EPOLLET;
  event.data.fd = socket;
  if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, socket, &event) != 0) {
    ::close(socket);
    closed();
    return;
  }
  m_waiting[socket] = Waiting{std::move(connection), Clock::now()};
}

void WaitingRoom::takeGivenBack() {
  std::vector<Connection> given;
  {
    std::lock_guard<std::mutex> lock(m_givenMutex);
    given.swap(m_given);
  }
  for (Connection& connection : given) add(std::move(connection));
}

// More of a request arrived, or the client went away.
void WaitingRoom::onReadable(int socket) {
  auto found = m_waiting.find(socket);
  if (found == m_waiting.end()) return;
  const ssize_t peeked = ::recv(socket, m_peeked.data(), m_lookAhead ? m_peeked.size() : 1, MSG_PEEK | MSG_DONTWAIT);
  if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (peeked <= 0) {
    close(socket);
    return;
  }
  if (m_lookAhead &&
      !requestArrived(std::string_view(m_peeked.data(), static_cast<std::size_t>(peeked)), m_peeked.size())) {
    if (!found->second.begun) {
      found->second.begun = true;
      found->second.since = Clock::now();
    }
    return;
  }
  epoll_ctl(m_epoll, EPOLL_CTL_DEL, socket, nullptr);
  Connection connection = std::move(found->second.connection);
  m_waiting.erase(found);
  m_ready(std::move(connection));
}

void WaitingRoom::sweep(Clock::time_point now) {
  std::vector<int> idle;
  std::vector<int> late;
  for (const auto& entry : m_waiting) {
    const Waiting& waiting = entry.second;
    if (waiting.begun && now - waiting.since >= m_requestTimeout) late.push_back(entry.first);
    if (!waiting.begun && now - waiting.since >= m_idleTimeout) idle.push_back(entry.first);
  }
  for (int socket : idle) close(socket);
  for (int socket : late) {
    RequestRecord record;
    record.client = m_waiting[socket].connection.client;
    record.duration = now - m_waiting[socket].since;
    record.outcome = "fault: the request did not arrive within " +
                     std::to_string(std::chrono::duration_cast<std::chrono::seconds>(m_requestTimeout).count()) +
                     " s";
    if (logs(LogLevel::Warning)) logLine(LogLevel::Warning, requestText(record));
    close(socket);
  }
}

bool WaitingRoom::closeLongestIdle() {
  auto longest = m_waiting.end();
  for (auto entry = m_waiting.begin(); entry != m_waiting.end(); ++entry) {
    if (entry->second.begun) continue;  // a request is arriving
    if (longest == m_waiting.end() || entry->second.since < longest->second.since) longest = entry;
  }
  if (longest == m_waiting.end()) return false;
  close(longest->first);
  return true;
}

void WaitingRoom::close(int socket) {
  epoll_ctl(m_epoll, EPOLL_CTL_DEL, socket, nullptr);
  ::close(socket);
  m_waiting.erase(socket);
  closed();
}

bool requestArrived(std::string_view bytes, std::size_t lookAhead) {
  if (bytes.size() >= lookAhead) return true;
  // Bytes no HTTP head holds (a TLS handshake on the plain port, garbage):
  // a worker answers them at once.
  for (const char c : bytes.substr(0, std::min(bytes.find("\r\n\r\n"), bytes.find("\n\n"))))
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n' && c != '\t') ||
        static_cast<unsigned char>(c) >= 0x7f)
      return true;
  std::size_t bodyStart = bytes.find("\r\n\r\n");
  if (bodyStart != std::string_view::npos) {
    bodyStart += 4;
  } else if ((bodyStart = bytes.find("\n\n")) != std::string_view::npos) {
    bodyStart += 2;
  } else {
    return false;
  }
  // The Content-Length, when the head names one.
  std::size_t length = 0;
  for (std::size_t line = bytes.find('\n'); line != std::string_view::npos && line + 1 < bodyStart;
       line = bytes.find('\n', line + 1)) {
    constexpr std::string_view kField = "content-length:";
    std::size_t i = 0;
    while (i < kField.size() && line + 1 + i < bodyStart &&
           std::tolower(static_cast<unsigned char>(bytes[line + 1 + i])) == kField[i])
      ++i;
    if (i < kField.size()) continue;
    for (std::size_t at = line + 1 + i; at < bodyStart; ++at) {
      const char c = bytes[at];
      if (c == ' ' || c == '\t') continue;
      if (c < '0' || c > '9' || length > lookAhead) break;
      length = length * 10 + static_cast<std::size_t>(c - '0');
    }
  }
  return bodyStart + length > lookAhead || bytes.size() >= bodyStart + length;
}

namespace {

std::string peerAddress(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  const void* bytes = nullptr;
  if (address.ss_family == AF_INET) bytes = &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr;
  if (address.ss_family == AF_INET6) bytes = &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
  if (bytes == nullptr || inet_ntop(address.ss_family, bytes, text, sizeof text) == nullptr) return std::string();
  return text;
}

std::runtime_error setupFailure(const char* what) {
  return std::runtime_error(std::string("cannot set up the connection loop (") + what + "): " + std::strerror(errno));
}

void watch(int epoll, int socket) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = socket;
  if (epoll_ctl(epoll, EPOLL_CTL_ADD, socket, &event) != 0) throw setupFailure("epoll_ctl");
}

}  // namespace

}  // namespace talixdb::server
