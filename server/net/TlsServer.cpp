#include "net/TlsServer.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "OpenSslText.h"

namespace talixdb::server {

namespace {

// OpenSSL's reason for the first error queued by this thread, then a clean queue.
std::string takeOpenSslReason();
// Why a file cannot be opened for reading, or "" when it can.
std::string unreadable(const std::string& path);
// The first private key in a PEM file, or null with OpenSSL's reason queued.
EVP_PKEY* readKey(const std::string& path);
std::string handshakeFailure(int error);
void answerPlainHttp(int socket);

}  // namespace

TlsContext::TlsContext(const std::string& certificateFile, const std::string& keyFile) {
  for (const std::string* file : {&certificateFile, &keyFile}) {
    std::string problem = unreadable(*file);
    if (!problem.empty())
      throw std::runtime_error("cannot read the TLS " + std::string(file == &keyFile ? "key " : "certificate ") +
                               *file + ": " + problem);
  }
  ERR_clear_error();
  m_context = SSL_CTX_new(TLS_server_method());
  if (m_context == nullptr) throw std::runtime_error("cannot make a TLS context: " + takeOpenSslReason());
  SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
  // A client may not renegotiate a TLS 1.2 session: each costs the server a
  // handshake's work, as often as the client likes.
  SSL_CTX_set_options(m_context, SSL_OP_NO_RENEGOTIATION);
  // Writes on the non-blocking sockets may stop after any record and go on
  // from a buffer that has moved (a reply held for a slow reader).
  SSL_CTX_set_mode(m_context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (SSL_CTX_use_certificate_chain_file(m_context, certificateFile.c_str()) != 1) {
    std::string reason = takeOpenSslReason();
    SSL_CTX_free(m_context);
    throw std::runtime_error("the TLS certificate " + certificateFile +
                             " holds no certificate OpenSSL can read (OpenSSL: " + reason + ")");
  }
  EVP_PKEY* key = readKey(keyFile);
  if (key == nullptr) {
    std::string reason = takeOpenSslReason();
    SSL_CTX_free(m_context);
    throw std::runtime_error("the TLS key " + keyFile +
                             " holds no unencrypted private key OpenSSL can read (OpenSSL: " + reason + ")");
  }
  // OpenSSL refuses a key that does not belong to the certificate.
  const bool paired = SSL_CTX_use_PrivateKey(m_context, key) == 1 && SSL_CTX_check_private_key(m_context) == 1;
  EVP_PKEY_free(key);
  if (!paired) {
    ERR_clear_error();
    SSL_CTX_free(m_context);
    throw std::runtime_error("the TLS key " + keyFile + " does not belong to the certificate " + certificateFile);
  }
}

TlsContext::~TlsContext() { SSL_CTX_free(m_context); }

TlsHandshake::TlsHandshake(const TlsContext& context, int socket) : m_socket(socket) {
  ERR_clear_error();
  m_ssl = SSL_new(context.get());
  if (m_ssl == nullptr || SSL_set_fd(m_ssl, socket) != 1) {
    m_failure = "cannot start a TLS session: " + takeOpenSslReason();
    SSL_free(m_ssl);
    m_ssl = nullptr;
  }
}

TlsHandshake::~TlsHandshake() { SSL_free(m_ssl); }

TlsHandshake::Step TlsHandshake::step() {
  if (m_ssl == nullptr) return Step::Failed;
  errno = 0;
  const int done = SSL_accept(m_ssl);
  if (done == 1) return Step::Done;
  const int error = SSL_get_error(m_ssl, done);
  if (error == SSL_ERROR_WANT_READ) return Step::WantRead;
  if (error == SSL_ERROR_WANT_WRITE) return Step::WantWrite;
  const unsigned long queued = ERR_peek_error();
  if (ERR_GET_LIB(queued) == ERR_LIB_SSL && ERR_GET_REASON(queued) == SSL_R_HTTP_REQUEST) answerPlainHttp(m_socket);
  m_failure = handshakeFailure(error);
  return Step::Failed;
}

SSL* TlsHandshake::take() {
  SSL* ssl = m_ssl;
  m_ssl = nullptr;
  return ssl;
}

bool TlsHandshake::silent() const { return m_ssl != nullptr && BIO_number_read(SSL_get_rbio(m_ssl)) == 0; }

namespace {

std::string takeOpenSslReason() {
  const unsigned long error = ERR_peek_error();
  std::string reason = error != 0 ? openSslErrorText(error) : "unknown error";
  ERR_clear_error();
  return reason;
}

std::string unreadable(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return std::strerror(errno);
  std::fclose(file);
  return std::string();
}

EVP_PKEY* readKey(const std::string& path) {
  BIO* file = BIO_new_file(path.c_str(), "r");
  if (file == nullptr) return nullptr;
  // No password: OpenSSL would otherwise ask for one on the terminal.
  auto noPassword = [](char*, int, int, void*) { return 0; };
  EVP_PKEY* key = PEM_read_bio_PrivateKey(file, nullptr, noPassword, nullptr);
  BIO_free(file);
  return key;
}

std::string handshakeFailure(int error) {
  if (ERR_peek_error() != 0) return "TLS handshake failed: " + takeOpenSslReason();
  if (error == SSL_ERROR_SYSCALL && errno != 0) return std::string("TLS handshake failed: ") + std::strerror(errno);
  return "TLS handshake failed: the client closed the connection";
}

void answerPlainHttp(int socket) {
  const std::string body = "This server speaks HTTPS only: use https://\n";
  const std::string reply = "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nConnection: close\r\n"
                            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  // The socket is non-blocking: a reply that does not fit at once is cut short.
  ssize_t ignored = send(socket, reply.data(), reply.size(), MSG_NOSIGNAL);
  (void)ignored;
}

}  // namespace

}  // namespace talixdb::server
