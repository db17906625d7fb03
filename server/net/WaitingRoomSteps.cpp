// The waiting room's steps for one connection: each goes on as far as the
// socket allows and says whether the connection waits, goes on to its next
// phase, or is gone (closed, or handed to a worker).
#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "http/SocketIo.h"
#include "net/RequestHead.h"
#include "net/WaitingRoom.h"

namespace talixdb::server {

namespace {

constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

}  // namespace

WaitingRoom::Outcome WaitingRoom::step(Waiting& waiting, int socket) {
  switch (waiting.phase) {
    case Phase::Proxy:
      return readProxy(waiting, socket);
    case Phase::Handshake:
      return shakeHands(waiting);
    case Phase::Request:
      return readRequest(waiting, socket);
    case Phase::Reply:
      return writeReply(waiting, socket);
    case Phase::Drain:
      return drain(waiting, socket);
  }
  return Outcome::Gone;
}

// A PROXY header, when the peer sends one; its bytes are taken from the
// socket exactly, so that a TLS handshake after it finds its own.
WaitingRoom::Outcome WaitingRoom::readProxy(Waiting& waiting, int socket) {
  char header[kMaxProxyHeader];
  const ssize_t peeked = ::recv(socket, header, sizeof header, MSG_PEEK | MSG_DONTWAIT);
  if (peeked < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Outcome::Wait : Outcome::Gone;
  if (peeked == 0) return Outcome::Gone;
  begin(waiting, Clock::now());
  const ProxyHeader proxy = readProxyHeader(std::string_view(header, static_cast<std::size_t>(peeked)));
  if (proxy.state == ProxyHeader::State::Incomplete) return Outcome::Wait;
  if (proxy.state == ProxyHeader::State::Malformed) {
    logRequest(waiting, LogLevel::Warning, "fault: " + proxy.problem);
    return Outcome::Gone;
  }
  if (proxy.state == ProxyHeader::State::Complete) {
    if (::recv(socket, header, proxy.length, MSG_DONTWAIT) != static_cast<ssize_t>(proxy.length)) return Outcome::Gone;
    if (!proxy.client.empty()) {
      if (m_counts->from(proxy.client) >= m_settings.maxPerAddress) {
        m_refusals.write("refused a connection from " + proxy.client + " (through " + waiting.connection.client() +
                         "): " + std::to_string(m_settings.maxPerAddress) + " connections from this address are open");
        return Outcome::Gone;
      }
      waiting.connection.setClient(proxy.client);
    }
  }
  waiting.phase = m_settings.tls != nullptr ? Phase::Handshake : Phase::Request;
  return Outcome::Next;
}

WaitingRoom::Outcome WaitingRoom::shakeHands(Waiting& waiting) {
  Connection& connection = waiting.connection;
  if (!waiting.handshake) waiting.handshake = std::make_unique<TlsHandshake>(*m_settings.tls, connection.socket());
  const TlsHandshake::Step step = waiting.handshake->step();
  if (!waiting.handshake->silent()) begin(waiting, Clock::now());
  if (step == TlsHandshake::Step::WantRead || step == TlsHandshake::Step::WantWrite) return Outcome::Wait;
  if (step == TlsHandshake::Step::Failed) {
    // A connection that sent nothing at all (a port probe) is no request.
    logRequest(waiting, waiting.handshake->silent() ? LogLevel::Debug : LogLevel::Warning,
               "fault: " + waiting.handshake->failure());
    return Outcome::Gone;
  }
  connection.setTls(waiting.handshake->take());
  waiting.handshake.reset();
  // From here the client has the idle time for its request, as after a reply.
  waiting.phase = Phase::Request;
  waiting.begun = false;
  waiting.since = Clock::now();
  return Outcome::Next;
}

// Reads the request until it is whole, then hands it to a worker.
WaitingRoom::Outcome WaitingRoom::readRequest(Waiting& waiting, int socket) {
  Connection& connection = waiting.connection;
  for (;;) {
    if (!connection.received.empty()) {
      const RequestShape shape =
          shapeOf(connection.received, m_settings.requestHeld, m_settings.headLimit, m_settings.streamedAction);
      if (shape.state == RequestShape::State::Malformed) return refuse(waiting, shape.problem);
      if (shape.state == RequestShape::State::Complete || shape.state == RequestShape::State::Streamed) {
        const bool complete = shape.state == RequestShape::State::Complete;
        connection.request = connection.received.substr(0, complete ? shape.length : connection.received.size());
        connection.received.erase(0, connection.request.size());
        connection.requestComplete = complete;
        connection.started = waiting.since;
        Connection leaving = std::move(connection);
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, socket, nullptr);
        m_waiting.erase(socket);
        m_ready(std::move(leaving));
        return Outcome::Wait;  // the connection is gone from here; nothing is left to close
      }
      if (shape.expectsContinue && !waiting.continued) {
        waiting.continued = true;
        writeSome(socket, connection.tls(), kContinue.data(), kContinue.size());
      }
    }
    const std::size_t wanted = std::min(m_scratch.size(), m_settings.requestHeld - std::min(m_settings.requestHeld,
                                                                                      connection.received.size()));
    if (!connection.hold(*m_settings.held, wanted)) {
      m_refusals.write("refused a request from " + connection.client() + ": the server holds " +
                       std::to_string(m_settings.held->held()) + " bytes for connections (--max-buffered)");
      return Outcome::Gone;
    }
    const SocketIo read = readSome(socket, connection.tls(), m_scratch.data(), wanted);
    const std::size_t got = read.status == SocketIo::Status::Moved ? read.bytes : 0;
    connection.letGo(wanted - got);
    if (read.status == SocketIo::Status::WouldBlock) return Outcome::Wait;
    if (read.status != SocketIo::Status::Moved) {
      // The client went: in the middle of a request that is worth a line.
      if (waiting.begun && !connection.received.empty())
        logRequest(waiting, LogLevel::Warning, "fault: the client closed the connection before its request's end");
      return Outcome::Gone;
    }
    const Clock::time_point now = Clock::now();
    begin(waiting, now);
    connection.received.append(m_scratch.data(), got);
    waiting.bytes += got;
    waiting.deadline.grant(waiting.bytes, m_settings.minRate);
  }
}

// Writes the rest of a reply; then the connection waits for its next
// request, or drops what its client still sends and closes.
WaitingRoom::Outcome WaitingRoom::writeReply(Waiting& waiting, int socket) {
  Connection& connection = waiting.connection;
  while (!connection.pending.empty()) {
    const SocketIo written = writeSome(socket, connection.tls(), connection.pending.data(), connection.pending.size());
    if (written.status == SocketIo::Status::WouldBlock) return Outcome::Wait;
    if (written.status != SocketIo::Status::Moved) return Outcome::Gone;
    connection.pending.erase(0, written.bytes);
    connection.letGo(written.bytes);
    connection.replySent += written.bytes;
    connection.replyDeadline.grant(connection.replySent, m_settings.minRate);
    waiting.progress = Clock::now();
  }
  connection.pending = std::string();
  connection.replyDeadline.stop();
  waiting.since = waiting.progress = Clock::now();
  waiting.begun = false;
  waiting.bytes = 0;
  waiting.continued = false;
  waiting.phase = connection.closeAfterReply ? Phase::Drain : Phase::Request;
  if (connection.closeAfterReply) {
    // TLS needs no drain: its client reads a reply it was sent whatever else it sends.
    if (connection.tls() != nullptr) return Outcome::Gone;
    ::shutdown(socket, SHUT_WR);
  }
  return Outcome::Next;
}

WaitingRoom::Outcome WaitingRoom::drain(Waiting& waiting, int socket) {
  for (;;) {
    const SocketIo read = readSome(socket, nullptr, m_scratch.data(), m_scratch.size());
    if (read.status == SocketIo::Status::WouldBlock) return Outcome::Wait;
    if (read.status != SocketIo::Status::Moved) return Outcome::Gone;
    waiting.progress = Clock::now();
  }
}

// A request no worker need see: answered 400 at once, then closed.
WaitingRoom::Outcome WaitingRoom::refuse(Waiting& waiting, const std::string& problem) {
  Connection& connection = waiting.connection;
  logRequest(waiting, LogLevel::Warning, "fault: " + problem);
  const std::string body = problem + "\n";
  connection.pending = "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\n"
                       "Content-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n" + body;
  connection.received.clear();
  connection.closeAfterReply = true;
  connection.replySent = 0;
  connection.replyDeadline.start(Clock::now(), m_settings.requestTimeout);
  waiting.phase = Phase::Reply;
  return Outcome::Next;
}

// The first byte of a request (or of its PROXY header or handshake) starts its deadline.
void WaitingRoom::begin(Waiting& waiting, Clock::time_point now) {
  waiting.progress = now;
  if (waiting.begun) return;
  waiting.begun = true;
  waiting.since = now;
  waiting.deadline.start(now, m_settings.requestTimeout);
}

void WaitingRoom::logRequest(const Waiting& waiting, LogLevel level, const std::string& outcome) {
  if (!logs(level)) return;
  RequestRecord record;
  record.client = waiting.connection.client();
  record.operation = waiting.phase == Phase::Reply ? waiting.connection.operation : std::string();
  record.user = waiting.phase == Phase::Reply ? waiting.connection.user : std::string();
  record.duration = Clock::now() - (waiting.phase == Phase::Reply ? waiting.connection.started : waiting.since);
  record.outcome = outcome;
  logLine(level, requestText(record));
}

}  // namespace talixdb::server
