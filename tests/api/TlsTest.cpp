// The library over TLS against the real server: a whole session with a copy
// of the handle, the address from the environment, and the refusal of every
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
  static void SetUpTestSuite() { s_certificates = new TestCertificates(); }
  static void TearDownTestSuite() {
    delete s_certificates;
    s_certificates = nullptr;
  }
  static const TestCertificates& certificates() { return *s_certificates; }
  static std::string https(const TestServer& server, const std::string& host = "127.0.0.1") {
    return "https://" + host + ":" + std::to_string(server.port());
  }
  static TestCertificates* s_certificates;
};
TestCertificates* Tls::s_certificates = nullptr;

// Bytes of every value, several TLS records long.
std::string payload(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
  return bytes;
}

std::string downloadedReport(CVLTDatabase& db) {
  char* data = nullptr;
  long size = db.downloadSurface(kModelPath, "Solver", 1, "blade", data);
  std::string bytes = data != nullptr ? std::string(data, static_cast<size_t>(size)) : std::string();
  db.releaseMemory(data);
  return bytes;
}

TEST_F(Tls, WholeSessionAndCopiesOfTheHandle) {
  ScopedEnv trust("TALIXDB_CA_FILE", certificates().authority().c_str());
  TestServer server(certificates().serverOptions(certificates().server()));

  CVLTDatabase db;
  ASSERT_TRUE(db.open(https(server).c_str()));
  ASSERT_EQ(db.createTalixDb(), 0);
  VLT_121::CVLTModel* model = VLT_121::CVLTModel::newObject();
  model->setName("Duct");
  EXPECT_EQ(db.uploadModel("Flow", "Ducts", model), 0);
  VLT_121::CVLTModel::deleteObject(model);
  db.logout();

  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  const std::string report = payload(1 << 20);
  ASSERT_EQ(db.uploadSurface(kModelPath, "Solver", "blade", 1, report.data(), static_cast<long>(report.size())), 0);
  EXPECT_EQ(downloadedReport(db), report);

  // Copies talk over TLS on proxies of their own, in the same server session.
  auto source = std::make_unique<CVLTDatabase>(db);
  CVLTDatabase assigned;
  assigned = *source;
  source.reset();
  EXPECT_EQ(downloadedReport(assigned), report);
  EXPECT_TRUE(assigned.isSurfaceUploaded(kModelPath, "Solver", 1, "blade"));
  EXPECT_TRUE(db.logout());
  EXPECT_FALSE(assigned.isSurfaceUploaded(kModelPath, "Solver", 1, "blade"));  // that session has ended

  // The certificate names localhost too.
  CVLTDatabase byName;
  EXPECT_TRUE(byName.open(https(server, "localhost").c_str()));
}

struct Refusal {
  const char* name;
  std::string (TestCertificates::*certificate)() const;  // null: a plain HTTP server
  bool trustTheAuthority;                                // else the system's certificates
  const char* host;
  const char* reason;  // the message after "cannot connect to https://HOST:PORT: "
};

// clang-format off
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
// clang-format on

TEST_F(Tls, CertificatesThatCannotBeVerifiedFailOpenWithOneMessage) {
  for (const Refusal& row : kRefusals) {
    SCOPED_TRACE(row.name);
    ScopedEnv trust("TALIXDB_CA_FILE", row.trustTheAuthority ? certificates().authority().c_str() : nullptr);
    TestServer server(row.certificate != nullptr ? certificates().serverOptions((certificates().*row.certificate)())
                                                 : std::vector<std::string>{});
    RecordingLogger logger;
    CVLTDatabase db;
    db.setLoggingObject(&logger);
    logger.messages.clear();
    EXPECT_FALSE(db.open(https(server, row.host).c_str()));
    EXPECT_FALSE(db.isOpen());
    std::string reason = row.reason;
    const size_t ca = reason.find("(CA)");
    if (ca != std::string::npos) reason.replace(ca, 4, "(" + certificates().authority() + ")");
    const std::string expected = "cannot connect to " + https(server, row.host) + ": " + reason;
    ASSERT_EQ(logger.texts(), std::vector<std::string>{expected});
    EXPECT_EQ(logger.messages[0].first, TALIX::LogTypeError);
  }
}

TEST_F(Tls, UnreadableTrustFileFailsOpenWithoutContactingTheServer) {
  const std::string missing = certificates().authority() + ".missing";
  ScopedEnv trust("TALIXDB_CA_FILE", missing.c_str());
  RecordingLogger logger;
  CVLTDatabase db;
  db.setLoggingObject(&logger);
  logger.messages.clear();
  EXPECT_FALSE(db.open("https://127.0.0.1:1"));
  EXPECT_EQ(logger.texts(), std::vector<std::string>{"cannot read the trusted certificates in TALIXDB_CA_FILE (" +
                                                     missing + "): No such file or directory"});
}

// OpenSSL writes to the socket without MSG_NOSIGNAL: a server that closes
// while a request is still going out must not end the host with SIGPIPE.
TEST_F(Tls, ServerThatClosesDuringARequestDoesNotEndTheHost) {
  ScopedEnv trust("TALIXDB_CA_FILE", certificates().authority().c_str());
  TestServer server(certificates().serverOptions(certificates().server()));
  CVLTDatabase db;
  ASSERT_TRUE(db.open(https(server).c_str()));
  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  void (*previous)(int) = signal(SIGPIPE, SIG_DFL);
  // Far more than the server reads of a request without attachments.
  EXPECT_FALSE(db.checkCategory(std::string(48 << 20, 'c').c_str()));
  signal(SIGPIPE, previous);
  EXPECT_EQ(db.createTalixDb(), 0);  // and the next call goes through
  EXPECT_TRUE(db.logout());
}

}  // namespace
