// TLS on the server's connections: one context made at start from the
// certificate and key files (TLS 1.2 or later, no renegotiation), and the
// handshake that turns one accepted socket into a TLS session.
#pragma once

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

// The server side of one connection's handshake, run by the event thread a
// step at a time on the non-blocking socket, so that a slow or silent client
// costs no worker and holds up nothing else.
class TlsHandshake {
 public:
  enum class Step { Done, WantRead, WantWrite, Failed };

  // Starts a session over `socket`; Failed from the first step when it cannot.
  TlsHandshake(const TlsContext& context, int socket);
  ~TlsHandshake();
  TlsHandshake(const TlsHandshake&) = delete;
  TlsHandshake& operator=(const TlsHandshake&) = delete;

  // Goes on as far as the socket allows. A plain HTTP request gets a plain
  // "400 Bad Request" saying to use https, and Failed.
  Step step();
  // Done: the session, now the caller's.
  SSL* take();
  // Failed: why; and whether the client sent nothing at all (a port probe).
  const std::string& failure() const { return m_failure; }
  bool silent() const;

 private:
  SSL* m_ssl = nullptr;
  int m_socket;
  std::string m_failure;
};

}  // namespace talixdb::server
