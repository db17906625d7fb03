#include "client/ClientTls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <pthread.h>
#include <signal.h>

#include <cstdlib>

#include "OpenSslText.h"

namespace talixdb {

namespace {

const char kScheme[] = "https://";

// Where each context's ClientTls hangs on its OpenSSL context.
int tlsIndex();
ClientTls& tlsOf(struct soap* soap);
// Records how a handshake ended, while OpenSSL still holds the reason.
void noteHandshake(const SSL* ssl, int where, int ret);
// The host name or address in "HOST[:PORT]" or "[IPv6]:PORT".
std::string hostOf(const std::string& address);
// What a certificate verification error means to the user, and whether it
// is a matter of trust.
std::string certificateProblem(long verifyResult, const std::string& host, bool& untrusted);
std::string runtimeReason(struct soap* soap);

// OpenSSL writes to the socket with write(), which, unlike the runtime's own
// sends, cannot ask for no SIGPIPE: a server that closes the connection early
// would end the host process. While one of these lives, a SIGPIPE raised by
// this thread is held back and then discarded.
class SigpipeShield {
 public:
  SigpipeShield() {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
  }
  ~SigpipeShield() {
    sigset_t pending;
    sigpending(&pending);
    if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
      timespec zero{0, 0};
      sigtimedwait(&m_pipe, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
  }
  SigpipeShield(const SigpipeShield&) = delete;
  SigpipeShield& operator=(const SigpipeShield&) = delete;

 private:
  sigset_t m_pipe;
  sigset_t m_previous;
  bool m_wasPending = false;
};

SOAP_SOCKET shieldedConnect(struct soap* soap, const char* endpoint, const char* host, int port) {
  SigpipeShield shield;
  ClientTls& tls = tlsOf(soap);
  tls.record() = HandshakeRecord{};
  ERR_clear_error();
  return tls.connect(soap, endpoint, host, port);
}

int shieldedSend(struct soap* soap, const char* data, size_t length) {
  SigpipeShield shield;
  return tlsOf(soap).send(soap, data, length);
}

size_t shieldedReceive(struct soap* soap, char* data, size_t length) {
  SigpipeShield shield;  // a read may answer the server, e.g. a key update
  return tlsOf(soap).receive(soap, data, length);
}

int shieldedClose(struct soap* soap) {
  SigpipeShield shield;  // the close_notify alert
  return tlsOf(soap).close(soap);
}

}  // namespace

std::string trustFileFromEnvironment() {
  const char* value = std::getenv("TALIXDB_CA_FILE");
  return value != nullptr ? value : "";
}

std::string ClientTls::setUp(struct soap* soap, const std::string& url, const std::string& trustFile) {
  std::string rest = url.compare(0, sizeof kScheme - 1, kScheme) == 0 ? url.substr(sizeof kScheme - 1) : url;
  m_address = rest.substr(0, rest.find('/'));
  m_host = hostOf(m_address);
  m_trustFile = trustFile;
  if (soap == nullptr) return "";  // no context: every call fails anyway
  if (soap->fopen == shieldedConnect) return "";  // set up already
  unsigned short flags = SOAP_SSL_DEFAULT | SOAP_TLSv1_2 | SOAP_TLSv1_3;
  if (!m_trustFile.empty()) flags |= SOAP_SSL_NO_DEFAULT_CA_PATH;
  ERR_clear_error();
  if (soap_ssl_client_context(soap, flags, nullptr, nullptr, m_trustFile.empty() ? nullptr : m_trustFile.c_str(),
                              nullptr, nullptr) != SOAP_OK || soap->ctx == nullptr) {
    unsigned long error = ERR_peek_error();
    std::string reason = error != 0 ? openSslErrorText(error) : runtimeReason(soap);
    ERR_clear_error();
    if (m_trustFile.empty()) return "cannot set up TLS for https://" + m_address + ": " + reason;
    return "cannot read the trusted certificates in TALIXDB_CA_FILE (" + m_trustFile + "): " + reason;
  }
  SSL_CTX* context = soap->ctx;
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // OpenSSL checks the name (or the address) against the certificate's
  // subject alternative names as part of the verification, so a mismatch
  // fails the handshake with its own reason.
  X509_VERIFY_PARAM* parameters = SSL_CTX_get0_param(context);
  if (X509_VERIFY_PARAM_set1_ip_asc(parameters, m_host.c_str()) != 1)
    X509_VERIFY_PARAM_set1_host(parameters, m_host.c_str(), m_host.size());
  SSL_CTX_set_ex_data(context, tlsIndex(), this);
  SSL_CTX_set_info_callback(context, noteHandshake);
  connect = soap->fopen;
  send = soap->fsend;
  receive = soap->frecv;
  close = soap->fclose;
  soap->fopen = shieldedConnect;
  soap->fsend = shieldedSend;
  soap->frecv = shieldedReceive;
  soap->fclose = shieldedClose;
  return "";
}

void ClientTls::detach(struct soap* soap) {
  if (soap == nullptr || soap->fopen != shieldedConnect) return;
  soap->fopen = connect;
  soap->fsend = send;
  soap->frecv = receive;
  soap->fclose = close;
  SSL_CTX_set_ex_data(soap->ctx, tlsIndex(), nullptr);
}

std::string ClientTls::failure(struct soap* soap) const {
  const std::string where = "cannot connect to https://" + m_address + ": ";
  if (m_record.verifyResult != X509_V_OK) {
    bool untrusted = false;
    std::string text = where + certificateProblem(m_record.verifyResult, m_host, untrusted) + " (OpenSSL: " +
                       X509_verify_cert_error_string(m_record.verifyResult) + ")";
    if (!untrusted) return text;
    if (m_trustFile.empty()) return text + "; trusted are the system's certificates";
    return text + "; trusted are the certificates in TALIXDB_CA_FILE (" + m_trustFile + ")";
  }
  const unsigned long error = m_record.error;
  if (error != 0 && ERR_GET_LIB(error) == ERR_LIB_SSL) {
    const int reason = ERR_GET_REASON(error);
    // A first reply that is no TLS record, e.g. "HTTP/1.1 400".
    if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG)
      return where + "the server did not speak TLS; it may serve plain HTTP (OpenSSL: " + openSslErrorText(error) + ")";
    if (reason == SSL_R_UNEXPECTED_EOF_WHILE_READING)
      return where + "the server closed the connection during the TLS handshake (OpenSSL: " + openSslErrorText(error) +
             ")";
  }
  if (error != 0) return where + "the TLS handshake failed (OpenSSL: " + openSslErrorText(error) + ")";
  return where + "TLS failed: " + runtimeReason(soap);
}

namespace {

int tlsIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

ClientTls& tlsOf(struct soap* soap) { return *static_cast<ClientTls*>(SSL_CTX_get_ex_data(soap->ctx, tlsIndex())); }

void noteHandshake(const SSL* ssl, int where, int ret) {
  if ((where & SSL_CB_CONNECT_EXIT) != SSL_CB_CONNECT_EXIT) return;
  auto* tls = static_cast<ClientTls*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), tlsIndex()));
  if (tls == nullptr) return;
  tls->record().verifyResult = SSL_get_verify_result(ssl);
  // A handshake that waits for the socket exits without an error.
  if (ret <= 0 && ERR_peek_error() != 0) tls->record().error = ERR_peek_error();
}

std::string hostOf(const std::string& address) {
  if (!address.empty() && address[0] == '[') return address.substr(1, address.find(']') - 1);
  return address.substr(0, address.find(':'));
}

std::string certificateProblem(long verifyResult, const std::string& host, bool& untrusted) {
  untrusted = false;
  switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return "the server's certificate has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return "the server's certificate is not valid yet";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return "the server's certificate is not for " + host;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      untrusted = true;
      return "the server's certificate is not trusted";
    default:
      return "the server's certificate cannot be verified";
  }
}

std::string runtimeReason(struct soap* soap) {
  const char* text = soap_fault_string(soap);
  const char* detail = soap_fault_detail(soap);
  std::string reason = text != nullptr ? text : "error " + std::to_string(soap->error);
  if (detail != nullptr && *detail != '\0') reason += std::string(" (") + detail + ")";
  return reason;
}

}  // namespace

}  // namespace talixdb
