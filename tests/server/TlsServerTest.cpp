// The server with --tls-cert and --tls-key: refused starts, HTTPS only from
// TLS 1.2 on, and handshakes that run in the workers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "RawHttp.h"
#include "ServiceUris.h"
#include "client/RepositorySession.h"
#include "support/ServerLog.h"
#include "support/TestCertificates.h"

namespace talixdb_test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A TCP connection to 127.0.0.1:port that says nothing; -1 when refused.
int connectTo(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// The protocol a client offering only `version` agrees on, or "refused".
std::string handshakeAt(int port, int version) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_security_level(context, 0);  // so that this client offers old versions at all
  SSL_CTX_set_min_proto_version(context, version);
  SSL_CTX_set_max_proto_version(context, version);
  SSL* ssl = SSL_new(context);
  const int fd = connectTo(port);
  SSL_set_fd(ssl, fd);
  std::string agreed = SSL_connect(ssl) == 1 ? SSL_get_version(ssl) : "refused";
  SSL_free(ssl);
  SSL_CTX_free(context);
  ::close(fd);
  return agreed;
}

class TlsServer : public ::testing::Test {
 protected:
  TestCertificates certificates;
  TempDir dir;
};

TEST_F(TlsServer, StartIsRefusedWhenACertificateOrKeyCannotBeUsed) {
  const std::string missing = dir.path() + "/missing.pem";
  struct Case {
    std::string certificate, key, message;
  };
  const Case cases[] = {
      {missing, certificates.serverKey(), "cannot read the TLS certificate " + missing + ": No such file or directory"},
      {certificates.server(), missing, "cannot read the TLS key " + missing + ": No such file or directory"},
      {certificates.serverKey(), certificates.serverKey(),
       "the TLS certificate " + certificates.serverKey() + " holds no certificate OpenSSL can read (OpenSSL: no "
       "start line)"},
      {certificates.server(), certificates.server(),
       "the TLS key " + certificates.server() + " holds no unencrypted private key OpenSSL can read (OpenSSL: "
       "unsupported)"},
      {certificates.server(), certificates.otherKey(),
       "the TLS key " + certificates.otherKey() + " does not belong to the certificate " + certificates.server()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ProgramResult result = runServerProgram(
        {"--data", dir.path() + "/store", "--port", "0", "--tls-cert", c.certificate, "--tls-key", c.key});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(contains(result.err, " error " + c.message + "\n")) << result.err;
    EXPECT_FALSE(contains(result.err, "started")) << result.err;
  }
  EXPECT_EQ(access((dir.path() + "/store").c_str(), F_OK), -1);  // and no store was made
}

TEST_F(TlsServer, ServesHttpsOnlyFromTls12OnAndHandshakesInTheWorkers) {
  TestServer server({"--threads", "2", "--tls-cert", certificates.server(), "--tls-key", certificates.serverKey()});
  // A client that connects and never starts its handshake holds one worker,
  // not the accepting thread: a TLS call still gets through at once.
  const int silent = connectTo(server.port());
  ASSERT_GE(silent, 0);
  QuillonBinding binding;
  ASSERT_EQ(binding.setEndpoint("https://" + server.address() + "/vlt/services/QuillonBinding",
                                certificates.authority()),
            "");
  VLT_121::CRepositorySession session(&binding);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(session.login("root", kAdminPassword, "Default", 0, 0, true));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
  ::close(silent);

  EXPECT_EQ(handshakeAt(server.port(), TLS1_1_VERSION), "refused");
  EXPECT_EQ(handshakeAt(server.port(), TLS1_2_VERSION), "TLSv1.2");
  EXPECT_EQ(handshakeAt(server.port(), TLS1_3_VERSION), "TLSv1.3");
  const std::string plain = exchange(server.port(), soapPost(actionOf("login"), "<x/>"));
  EXPECT_EQ(plain.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << plain;
  EXPECT_TRUE(contains(plain, "\r\n\r\nThis server speaks HTTPS only: use https://\n")) << plain;

  const std::string address = server.address();
  server.stop();
  const std::string log = server.log();
  EXPECT_TRUE(contains(log, " info started talixdb-server " TALIXDB_VERSION " on " + address + " (TLS), store "))
      << log;
  std::vector<std::string> failures;
  for (const LoggedRequest& request : loggedRequests(log))
    if (request.operation == "-") failures.push_back(request.level + " " + request.outcome);
  EXPECT_EQ(failures, (std::vector<std::string>{"warning fault: TLS handshake failed: unsupported protocol",
                                                "warning fault: TLS handshake failed: http request"}))
      << log;
}

}  // namespace
}  // namespace talixdb_test
