// A throw-away certificate authority and server certificates, made with the
// openssl command in a temporary directory, for tests and benchmarks of TLS.
#pragma once

#include <string>
#include <vector>

#include "support/TestServer.h"

namespace talixdb_test {

class TestCertificates {
 public:
  // Makes every file below; throws std::runtime_error with what openssl said
  // when it cannot.
  TestCertificates();

  // The authority's certificate: the trust file (TALIXDB_CA_FILE).
  std::string authority() const { return path("authority.pem"); }
  // Certificates for the key serverKey(). Signed by the authority and valid
  // now, for 127.0.0.1 and localhost:
  std::string server() const { return path("server.pem"); }
  // ... for wrong.example only:
  std::string wrongHost() const { return path("wrong-host.pem"); }
  // ... for 127.0.0.1 and localhost, but valid only on 1 January 2020:
  std::string expired() const { return path("expired.pem"); }
  // ... for 127.0.0.1 and localhost, signed by itself, not by the authority:
  std::string selfSigned() const { return path("self-signed.pem"); }
  std::string serverKey() const { return path("server.key"); }
  // A key that belongs to none of the certificates.
  std::string otherKey() const { return path("other.key"); }

  // The server options that serve TLS with `certificate` and serverKey().
  std::vector<std::string> serverOptions(const std::string& certificate) const {
    return {"--tls-cert", certificate, "--tls-key", serverKey()};
  }

 private:
  std::string path(const char* name) const { return m_dir.path() + "/" + name; }
  // Runs openssl with `args` in the directory; throws when it fails.
  void openssl(std::vector<std::string> args) const;
  // Signs the request `request` with the authority into `certificate`.
  void sign(const std::string& request, const std::string& certificate, const std::string& names,
            const std::string& from, const std::string& until) const;

  TempDir m_dir;
};

}  // namespace talixdb_test
