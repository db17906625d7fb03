// TLS for the proxy's runtime context when its endpoint is "https://": TLS
// 1.2 or later, the server's certificate verified against the system's trusted
// certificates (or only those in a trust file, TALIXDB_CA_FILE) together with
// the host name, and a failed handshake explained in one sentence taken from
// what OpenSSL saw.
#pragma once

#include <memory>
#include <string>

#include "stdsoap2.h"

namespace talixdb {

// What the last handshake of a context ended with, as OpenSSL reported it.
struct HandshakeRecord {
  long verifyResult = 0;     // X509_V_OK or the certificate's verification error
  unsigned long error = 0;   // the last OpenSSL error of a failed handshake, 0 if none
};

class ClientTls {
 public:
  // Sets `soap` up to reach the endpoint `url` ("https://HOST[:PORT]/...")
  // over TLS, trusting the certificates in `trustFile`, or the system's when
  // it is empty. Returns "" or the sentence saying why it cannot be done.
  std::string setUp(struct soap* soap, const std::string& url, const std::string& trustFile);
  // Gives `soap` its own I/O functions back; before the context is freed.
  void detach(struct soap* soap);

  // After a call that ended with SOAP_SSL_ERROR: why, in one sentence that
  // names the endpoint and OpenSSL's own reason.
  std::string failure(struct soap* soap) const;

  const std::string& trustFile() const { return m_trustFile; }

  // Called by the hooks installed by setUp.
  HandshakeRecord& record() { return m_record; }
  SOAP_SOCKET (*connect)(struct soap*, const char*, const char*, int) = nullptr;
  int (*send)(struct soap*, const char*, size_t) = nullptr;
  size_t (*receive)(struct soap*, char*, size_t) = nullptr;
  int (*close)(struct soap*) = nullptr;

 private:
  std::string m_address;    // "HOST[:PORT]", for messages
  std::string m_host;       // the name or address the certificate must be for
  std::string m_trustFile;  // kept here: the runtime keeps only the pointer
  HandshakeRecord m_record;
};

// TALIXDB_CA_FILE, or "" when it is unset.
std::string trustFileFromEnvironment();

}  // namespace talixdb
