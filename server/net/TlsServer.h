// TLS on the server's connections: one context made at start from the
// certificate and key files, and the handshake that turns one accepted socket
// into a TLS session. The handshake runs in the worker that serves the
// connection and is bounded in time, so a slow or silent client never holds
// up the accepting thread.
#pragma once

#include <chrono>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace talixdb::server {

class TlsContext {
 public:
  // Reads the certificate (PEM, the server's first, then any intermediate
  // ones) and its private key (PEM, unencrypted) for TLS 1.2 or later. Throws
  // std::runtime_error with one sentence for the log when a file cannot be
  // read or the key does not belong to the certificate.
  TlsContext(const std::string& certificateFile, const std::string& keyFile);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* get() const { return m_context; }

 private:
  SSL_CTX* m_context = nullptr;
};

// How a server-side handshake ended.
struct TlsHandshake {
  SSL* ssl = nullptr;    // the session over the socket; null when it failed
  std::string failure;   // why it failed
  bool silent = false;   // the client sent nothing at all (a port probe)
};

// Runs the server side of a TLS handshake on `socket` for at most `limit`.
// On success the caller owns the session, and the socket is left
// non-blocking, as the runtime expects of a TLS socket with time limits. A
// plain HTTP request gets a plain "400 Bad Request" saying to use https. The
// socket stays open either way.
TlsHandshake acceptTls(const TlsContext& context, int socket, std::chrono::milliseconds limit);

}  // namespace talixdb::server
