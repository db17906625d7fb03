// Bytes to and from a non-blocking connection, plain or TLS, without
// waiting, and a wait for the connection that is bounded: what the event
// thread and the workers' send hook share, so that no socket operation of
// the server ever blocks beyond the time it is given.
#pragma once

#include <chrono>
#include <cstddef>

typedef struct ssl_st SSL;

namespace talixdb::server {

struct SocketIo {
  enum class Status {
    Moved,       // `bytes` were read or written (never 0)
    WouldBlock,  // nothing now: wait for the socket (see waitForSocket)
    Closed,      // the peer ended the connection (reading only)
    Failed,      // the connection broke
  };
  Status status = Status::Failed;
  std::size_t bytes = 0;
  bool wantsWrite = false;  // WouldBlock: the socket must take bytes (else bring them)
};

// Reads up to `size` bytes from `socket`, through `tls` when not null.
SocketIo readSome(int socket, SSL* tls, char* into, std::size_t size);
// Writes up to `size` bytes. Through TLS a write that would block must be
// tried again with the same first bytes and at least as many of them.
SocketIo writeSome(int socket, SSL* tls, const char* data, std::size_t size);
// Waits until `socket` is ready for what `blocked` wants, or it reports an
// error, for at most `limit`; false when the time passed first.
bool waitForSocket(int socket, const SocketIo& blocked, std::chrono::milliseconds limit);

}  // namespace talixdb::server
