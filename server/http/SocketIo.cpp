#include "http/SocketIo.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>

namespace talixdb::server {

namespace {

SocketIo moved(std::size_t bytes) { return SocketIo{SocketIo::Status::Moved, bytes, false}; }
SocketIo blocked(bool wantsWrite) { return SocketIo{SocketIo::Status::WouldBlock, 0, wantsWrite}; }
SocketIo ended(SocketIo::Status status) { return SocketIo{status, 0, false}; }

// What a TLS read or write that moved nothing means.
SocketIo tlsOutcome(SSL* tls, int result, bool reading) {
  const int error = SSL_get_error(tls, result);
  ERR_clear_error();
  if (error == SSL_ERROR_WANT_READ) return blocked(false);
  if (error == SSL_ERROR_WANT_WRITE) return blocked(true);
  if (reading && error == SSL_ERROR_ZERO_RETURN) return ended(SocketIo::Status::Closed);
  return ended(SocketIo::Status::Failed);
}

}  // namespace

SocketIo readSome(int socket, SSL* tls, char* into, std::size_t size) {
  if (size == 0) return blocked(false);
  if (tls != nullptr) {
    const int result = SSL_read(tls, into, static_cast<int>(size > INT_MAX ? INT_MAX : size));
    return result > 0 ? moved(static_cast<std::size_t>(result)) : tlsOutcome(tls, result, true);
  }
  for (;;) {
    const ssize_t result = ::recv(socket, into, size, MSG_DONTWAIT);
    if (result > 0) return moved(static_cast<std::size_t>(result));
    if (result == 0) return ended(SocketIo::Status::Closed);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return blocked(false);
    return ended(SocketIo::Status::Failed);
  }
}

SocketIo writeSome(int socket, SSL* tls, const char* data, std::size_t size) {
  if (size == 0) return moved(0);
  if (tls != nullptr) {
    const int result = SSL_write(tls, data, static_cast<int>(size > INT_MAX ? INT_MAX : size));
    return result > 0 ? moved(static_cast<std::size_t>(result)) : tlsOutcome(tls, result, false);
  }
  for (;;) {
    const ssize_t result = ::send(socket, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (result >= 0) return moved(static_cast<std::size_t>(result));
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return blocked(true);
    return ended(SocketIo::Status::Failed);
  }
}

bool waitForSocket(int socket, const SocketIo& blocked, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd ready{socket, static_cast<short>(blocked.wantsWrite ? POLLOUT : POLLIN), 0};
    const int result = ::poll(&ready, 1, static_cast<int>(left > INT_MAX ? INT_MAX : left));
    if (result > 0) return true;
    if (result == 0) return false;
    if (errno != EINTR) return true;  // the next read or write reports the trouble
  }
}

}  // namespace talixdb::server
