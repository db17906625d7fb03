// The library over TLS against the real server: a whole session with copies
// of the handle, a server closing during a request, and the refusal of every
// server whose certificate cannot be verified, with the one message the host
// hears for it.
#include <signal.h>

#include "api/ApiTestSupport.h"
#include "support/TestCertificates.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;

namespace {

const char kModelPath[] = "/Repository/talixdb/Flow/Ducts/Duct";

class Tls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_certificates = std::make_unique<TestCertificates>(); }
  static void TearDownTestSuite() { s_certificates.reset(); }
  static const TestCertificates& certificates() { return *s_certificates; }
  static std::string https(const TestServer& server, const std::string& host = "127.0.0.1") {
    return "https://" + host + ":" + std::to_string(server.port());
  }
  inline static std::unique_ptr<TestCertificates> s_certificates;
};

std::string downloadedReport(CVLTDatabase& db) {
  char* data = nullptr;
  long size = db.downloadSurface(kModelPath, "Solver", 1, "blade", data);
  std::string bytes = data != nullptr ? std::string(data, static_cast<size_t>(size)) : std::string();
  db.releaseMemory(data);
  return bytes;
}

// A report of several TLS records goes up and down, also through copies of
// the handle (proxies of their own in the same server session).
TEST_F(Tls, WholeSessionCopiesOfTheHandleAndAServerThatClosesDuringARequest) {
  ScopedEnv trust("TALIXDB_CA_FILE", certificates().authority().c_str());
  TestServer server(certificates().serverOptions(certificates().server()));
  CVLTDatabase db;
  ASSERT_TRUE(db.open(https(server).c_str()));
  ASSERT_EQ(db.createTalixDb(), 0);
  std::string report(1 << 20, '\0');
  for (size_t i = 0; i < report.size(); ++i) report[i] = static_cast<char>((i * 131) ^ (i >> 9));
  ASSERT_EQ(db.uploadSurface(kModelPath, "Solver", "blade", 1, report.data(), static_cast<long>(report.size())), 0);
  EXPECT_EQ(downloadedReport(db), report);
  auto source = std::make_unique<CVLTDatabase>(db);
  CVLTDatabase assigned;
  assigned = *source;
  source.reset();
  EXPECT_EQ(downloadedReport(assigned), report);
  // OpenSSL writes to the socket without MSG_NOSIGNAL: a server that closes
  // while a request is still going out must not end the host with SIGPIPE.
  void (*previous)(int) = signal(SIGPIPE, SIG_DFL);
  // Far more than the server reads of a request without attachments.
  EXPECT_FALSE(db.checkCategory(std::string(48 << 20, 'c').c_str()));
  signal(SIGPIPE, previous);
  EXPECT_EQ(downloadedReport(db), report);  // and the next call goes through
  EXPECT_TRUE(db.logout());
  EXPECT_FALSE(assigned.isSurfaceUploaded(kModelPath, "Solver", 1, "blade"));  // that session has ended
  EXPECT_TRUE(CVLTDatabase().open(https(server, "localhost").c_str()));      // the certificate names localhost too
}

struct Refusal {
  const char* name;
  std::string (TestCertificates::*certificate)() const;  // null: a plain HTTP server
  bool trustTheAuthority;                                // else the system's certificates
  const char* host;
  const char* reason;  // the message after "cannot connect to https://HOST:PORT: "
};

const Refusal kRefusals[] = {
    {"self-signed", &TestCertificates::selfSigned, true, "127.0.0.1",
     "the server's certificate is not trusted (OpenSSL: self-signed certificate); trusted are the certificates "
     "in TALIXDB_CA_FILE (CA)"},
    {"unknown authority", &TestCertificates::server, false, "127.0.0.1",
     "the server's certificate is not trusted (OpenSSL: unable to get local issuer certificate); trusted are the "
     "system's certificates"},
    {"wrong address", &TestCertificates::wrongHost, true, "127.0.0.1",
     "the server's certificate is not for 127.0.0.1 (OpenSSL: IP address mismatch)"},
    {"wrong name", &TestCertificates::wrongHost, true, "localhost",
     "the server's certificate is not for localhost (OpenSSL: hostname mismatch)"},
    {"expired", &TestCertificates::expired, true, "127.0.0.1",
     "the server's certificate has expired (OpenSSL: certificate has expired)"},
    {"plain HTTP", nullptr, true, "127.0.0.1",
     "the server did not speak TLS; it may serve plain HTTP (OpenSSL: wrong version number)"},
};

TEST_F(Tls, CertificatesThatCannotBeVerifiedFailOpenWithOneMessage) {
  for (const Refusal& row : kRefusals) {
    SCOPED_TRACE(row.name);
    ScopedEnv trust("TALIXDB_CA_FILE", row.trustTheAuthority ? certificates().authority().c_str() : nullptr);
    TestServer server(row.certificate != nullptr ? certificates().serverOptions((certificates().*row.certificate)())
                                                 : std::vector<std::string>{});
    CVLTDatabase db;
    AttachedLogger logger(db);
    EXPECT_FALSE(db.open(https(server, row.host).c_str()));
    EXPECT_FALSE(db.isOpen());
    std::string reason = row.reason;
    const size_t ca = reason.find("(CA)");
    if (ca != std::string::npos) reason.replace(ca, 4, "(" + certificates().authority() + ")");
    const std::string expected = "cannot connect to " + https(server, row.host) + ": " + reason;
    ASSERT_EQ(logger.texts(), std::vector<std::string>{expected});
    EXPECT_EQ(logger.messages[0].first, TALIX::LogTypeError);
  }
  // An unreadable trust file fails before any server is contacted.
  const std::string missing = certificates().authority() + ".missing";
  ScopedEnv trust("TALIXDB_CA_FILE", missing.c_str());
  CVLTDatabase db;
  AttachedLogger logger(db);
  EXPECT_FALSE(db.open("https://127.0.0.1:1"));
  EXPECT_EQ(logger.texts(), std::vector<std::string>{"cannot read the trusted certificates in TALIXDB_CA_FILE (" +
                                                     missing + "): No such file or directory"});
}

}  // namespace
