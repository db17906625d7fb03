// The handle's life: opening, logging in and out, closing, copying, the
// address from the environment, the time limits of a request, logging, the
// memory registry, the version and the texts of the result codes. Then over
// TLS: a whole session with copies of the handle, a server closing during a
// request, and the refusal of every server whose certificate cannot be
// verified, with the one message the host hears for it.
#include <signal.h>

#include <chrono>
#include <set>

#include "api/ApiTestSupport.h"
#include "support/CannedServer.h"
#include "support/TestCertificates.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;

namespace {

using Handle = SharedServer;

// On a server of its own: the closed handle's session stays behind. Without an
// address open() takes it from the environment. The calls go over kept
// connections (TALIXDB_KEEPALIVE=1), as a host may ask.
TEST(HandleSession, OpenLoginLogoutClose) {
  ScopedEnv keepAlive("TALIXDB_KEEPALIVE", "1");
  TestServer server;
  const std::string address = server.address();
  CVLTDatabase db, second, third;
  EXPECT_FALSE(db.isOpen() || db.isLoggedIn());
  EXPECT_TRUE(db.logout());                                      // nothing to end, contacts nobody
  EXPECT_FALSE(db.login("root", kAdminPassword, "Default", 0));  // not open
  EXPECT_FALSE(db.open("") || db.open("127.0.0.1:1") || db.isOpen());
  ASSERT_TRUE(db.open(address.c_str()));  // a failed open leaves the handle usable
  EXPECT_TRUE(db.open("127.0.0.1:1"));    // ignored: already open
  EXPECT_FALSE(db.login("root", "wrong password", "Default", 0) || db.login("nobody", "x", "Default", 0) ||
               db.isLoggedIn());
  ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  EXPECT_TRUE(db.login("someone", "else", "Default", 0));  // keeps the first session
  // A login left behind blocks the same user elsewhere.
  ASSERT_TRUE(second.open(address.c_str()));
  EXPECT_FALSE(second.login("root", kAdminPassword, "Default", 0));
  EXPECT_TRUE(db.logout() && !db.isLoggedIn());
  EXPECT_TRUE(second.login("root", kAdminPassword, "Default", 0));
  second.close();
  // The login flag stays as it was, but nothing reaches the closed proxy, and
  // the closed handle's session stays behind.
  EXPECT_TRUE(!second.isOpen() && second.isLoggedIn());
  EXPECT_FALSE(second.login("root", kAdminPassword, "Default", 0) || second.isTalixDatabaseInstantiated());
  EXPECT_EQ(2, second.addCategory("x"));
  EXPECT_EQ(nullptr, second.downloadModel("a", "b", "c"));
  EXPECT_TRUE(second.logout());
  ASSERT_TRUE(third.open(address.c_str()));
  EXPECT_FALSE(third.login("root", kAdminPassword, "Default", 0));
  ScopedEnv env("MODELDATABASE_HOME", server.endpoint().c_str());
  EXPECT_TRUE(CVLTDatabase().open(nullptr));
  ScopedEnv unset("MODELDATABASE_HOME", nullptr);
  EXPECT_FALSE(CVLTDatabase().open(nullptr));
}

// Why open or login failed, for hosts (getLastErrorText): words whose start
// names the kind, the time limit that ran out by its variable, and for a user
// with a live session elsewhere its times, told only for the right password.
// The administrator ends that session through the one path the server keeps
// for it; a success clears the text.
TEST(HandleSession, LastErrorTextSaysWhyOpenOrLoginFailed) {
  TestServer server;
  CannedServer silent("", CannedServer::kSilent);
  const std::string address = server.address();
  const std::string quiet = silent.address();
  struct Row {
    const char* address;  // null: MODELDATABASE_HOME
    std::vector<std::pair<const char*, std::string>> env;
    std::string start;
  };
  const Row rows[] = {
      {"", {}, "no server address given"},
      {nullptr, {{"MODELDATABASE_HOME", address}},
       "MODELDATABASE_HOME (\"" + address + "\") holds no endpoint URL"},
      {nullptr, {{"MODELDATABASE_HOME", ""}}, "MODELDATABASE_HOME (\"\") holds no endpoint URL"},
      {"127.0.0.1:1", {}, "connection refused by 127.0.0.1:1: no server listens on port 1 of 127.0.0.1"},
      {"nosuch.invalid:80", {}, "cannot resolve the host name nosuch.invalid ("},
      {quiet.c_str(), {{"TALIXDB_IO_TIMEOUT", "1"}}, "no answer from " + quiet + " within 1 s (TALIXDB_IO_TIMEOUT)"},
      {quiet.c_str(), {{"TALIXDB_CALL_TIMEOUT", "1"}},
       "no answer from " + quiet + " within 1 s (TALIXDB_CALL_TIMEOUT)"},
  };
  for (const Row& row : rows) {
    std::vector<std::unique_ptr<ScopedEnv>> env;
    for (const auto& [name, value] : row.env) env.push_back(std::make_unique<ScopedEnv>(name, value.c_str()));
    CVLTDatabase db;
    const bool opened = db.open(row.address);
    if (opened) {
      EXPECT_FALSE(db.login("root", kAdminPassword, "Default", 0));
    }
    EXPECT_EQ(std::string(db.getLastErrorText()).substr(0, row.start.size()), row.start) << db.getLastErrorText();
  }
  CVLTDatabase scheme;
  EXPECT_FALSE(scheme.open(("http://" + address + "/").c_str()));
  EXPECT_EQ(std::string(scheme.getLastErrorText()),
            "open takes HOST[:PORT] for plain HTTP or https://HOST[:PORT] for TLS, not \"http://" + address +
                "/\" (for plain HTTP give \"" + address + "\")");

  CVLTDatabase holder, other;
  ASSERT_TRUE(holder.open(address.c_str()) && other.open(address.c_str()));
  EXPECT_FALSE(other.login("root", "wrong", "Default", 0));
  EXPECT_EQ(std::string(other.getLastErrorText()), "wrong user name or password for root");
  ASSERT_TRUE(holder.login("root", kAdminPassword, "Default", 0));
  EXPECT_STREQ(holder.getLastErrorText(), "");
  EXPECT_STREQ(holder.getLoginUser(), "root");
  EXPECT_FALSE(other.login("root", "wrong", "Default", 0));
  EXPECT_EQ(std::string(other.getLastErrorText()), "root has a live session elsewhere");
  EXPECT_FALSE(other.login("root", kAdminPassword, "Default", 0));
  const std::string told = other.getLastErrorText();
  EXPECT_EQ(told.rfind("root has a live session elsewhere, last used 2", 0), 0u) << told;
  EXPECT_NE(told.find(" UTC unless used again"), std::string::npos) << told;
  AttachedLogger logger(holder);
  EXPECT_TRUE(holder.deleteItem("/System/Users/root/Sessions"));
  EXPECT_TRUE(other.login("root", kAdminPassword, "Default", 0));
  EXPECT_STREQ(other.getLastErrorText(), "");
}

// A reading session (as the web view holds) reads, changes nothing, does not
// lock its user out of a login, and ends at logout; several may live at once.
TEST_F(Handle, AReadingSessionReadsChangesNothingAndLocksNobodyOut) {
  const std::string name = testName();
  CVLTDatabase viewer, second, full;
  ASSERT_TRUE(viewer.open(address().c_str()) && second.open(address().c_str()) && full.open(address().c_str()));
  EXPECT_FALSE(second.loginToRead("root", "wrong password", "Default") || second.isLoggedIn());
  ASSERT_TRUE(viewer.loginToRead("root", kAdminPassword, "Default"));
  ASSERT_TRUE(second.loginToRead("root", kAdminPassword, "Default"));
  ASSERT_TRUE(full.login("root", kAdminPassword, "Default", 0));
  EXPECT_EQ(0, full.addCategory(name.c_str()));
  EXPECT_TRUE(viewer.checkCategory(name.c_str()));
  EXPECT_EQ(2, viewer.addCategory((name + "2").c_str()));
  EXPECT_FALSE(full.checkCategory((name + "2").c_str()));
  CVLTDatabase copy(viewer);  // the same server session
  EXPECT_TRUE(viewer.logout() && !viewer.isLoggedIn());
  EXPECT_FALSE(copy.checkCategory(name.c_str()));
  EXPECT_TRUE(second.checkCategory(name.c_str()));
  EXPECT_TRUE(second.logout() && full.logout());
}

// Copies talk on proxies of their own in the same session, and outlive
// their source; copies of a handle never or no longer open are closed ones.
TEST_F(Handle, CopiesAreIndependentHandlesOnTheSameSession) {
  for (bool assign : {false, true}) {
    auto source = std::make_unique<CVLTDatabase>();
    ASSERT_TRUE(source->open(address().c_str()));
    source->createTalixDb();  // logs in as administrator
    std::unique_ptr<CVLTDatabase> copy =
        assign ? std::make_unique<CVLTDatabase>() : std::make_unique<CVLTDatabase>(*source);
    if (assign) *copy = *source;
    source.reset();
    CVLTDatabase& alias = *copy;
    *copy = alias;  // self-assignment is harmless
    EXPECT_TRUE(copy->isOpen() && copy->isLoggedIn()) << assign;
    const std::string category = testName() + (assign ? "Assigned" : "Constructed");
    EXPECT_EQ(0, copy->addCategory(category.c_str()));
    EXPECT_TRUE(copy->checkCategory(category.c_str()));
    copy->logout();
  }
  CVLTDatabase never, closed;
  ASSERT_TRUE(closed.open(address().c_str()));
  closed.close();
  for (CVLTDatabase* source : {&never, &closed}) {
    CVLTDatabase copy(*source), assigned;
    assigned = *source;
    EXPECT_FALSE(copy.isOpen() || assigned.isTalixDatabaseInstantiated());
    ASSERT_TRUE(copy.open(address().c_str()));
    EXPECT_TRUE(copy.login("root", kAdminPassword, "Default", 0));
    copy.logout();
    EXPECT_FALSE(source->isOpen());
  }
}

// A server that never answers trips the time-out of each receive; one that
// sends a byte every 2 s never does, but trips the overall limit of a request.
TEST(HandleLimits, ServerThatStallsOrTricklesDoesNotHangTheHost) {
  for (const auto& [manner, limit] : {std::make_pair(CannedServer::kSilent, "TALIXDB_IO_TIMEOUT"),
                                      std::make_pair(CannedServer::kTrickle, "TALIXDB_CALL_TIMEOUT")}) {
    SCOPED_TRACE(limit);
    ScopedEnv seconds(limit, "1");
    CannedServer server("", manner);
    CVLTDatabase db;
    const auto start = std::chrono::steady_clock::now();
    db.open(server.address().c_str());  // reachable: it accepted the connection
    EXPECT_FALSE(db.login("root", kAdminPassword, "Default", 0));
    // A few requests of 1 s each; without the limit, a minute each or more.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

// A logger hears the handle announce itself (before any server call) and is
// released once, by the destructor of the handle it was given to (not by a
// copy); a detached one hears nothing more.
TEST(HandleLogging, SessionMessagesAndReleases) {
  RecordingLogger logger, detached;
  {
    CVLTDatabase db, other, copy;
    EXPECT_EQ(0, db.setLoggingObject(&logger));
    copy = db;
    EXPECT_FALSE(db.login("u", "p", "d", 0));
    other.setLoggingObject(&detached);
    EXPECT_EQ(0, other.setLoggingObject(nullptr));
    other.login("u", "p", "d", 0);
    int local = 0;
    EXPECT_FALSE(db.releaseMemory(&local) || db.releaseMemory(nullptr));  // not handed out by the library
    EXPECT_FALSE(db.registerTALIXDatabaseServer("server", true));
  }
  const std::vector<std::pair<int, std::string>> expected = {{3, "TALIXDBAPI 1.2.1:\tLogging object attached"},
                                                             {3, "TALIXDBAPI 1.2.1:\tLogging into VLT."}};
  EXPECT_EQ(logger.messages, expected);
  EXPECT_TRUE(logger.releases == 1 && detached.releases == 0 && detached.messages.size() == 1u);
}

TEST(HandleAddress, FromTheEnvironmentOrAFileItNames) {
  TempDir dir;
  const std::string file = dir.path() + "/address.txt", empty = dir.path() + "/empty.txt",
                    ftp = dir.path() + "/ftp.txt";
  std::ofstream(file) << "  http://host:99/vlt/services/QuillonBinding more words\nsecond line\n";
  std::ofstream(empty).flush();
  std::ofstream(ftp) << "ftp://host/vlt/services/QuillonBinding";
  const std::string tooLong = "http://" + std::string(1100, 'h') + "/vlt/services/QuillonBinding";
  const std::pair<const char*, const char*> rows[] = {
      {"http://db.example:8080/vlt/services/QuillonBinding", "db.example:8080"},
      {"https://db.example:8443/vlt/services/QuillonBinding", "https://db.example:8443"},
      {"http://db.example:8080/vlt/services/QuillonBinding/", nullptr},
      {"db.example:8080/vlt/services/QuillonBinding", nullptr},  // a file name that does not exist
      {file.c_str(), "host:99"},
      {empty.c_str(), nullptr},
      {ftp.c_str(), nullptr},
      {tooLong.c_str(), nullptr},
      {nullptr, nullptr},
  };
  for (const auto& [value, host] : rows) {
    SCOPED_TRACE(value != nullptr ? value : "(unset)");
    ScopedEnv env("MODELDATABASE_HOME", value);
    const char* url = ExposedDatabase::getURL();
    EXPECT_EQ(url == nullptr ? std::string("(null)") : url, host == nullptr ? "(null)" : host);
  }
}

TEST(Version, LibraryMatchesItsHeadersAndEveryCodeHasItsOwnText) {
  EXPECT_STREQ(VLT_121::getLibraryVersion(), TALIXDBAPI_VERSION_STRING);
  std::set<std::string> seen;
  for (int code = -1; code <= 31; ++code) {
    const std::string text = VLT_121::getResultText(code);
    if (code == -1 || code == 13 || code == 31)  // 13 is not a code
      EXPECT_EQ(text, "unknown result code");
    else
      EXPECT_TRUE(seen.insert(text).second && text != "unknown result code") << code << " repeats " << text;
  }
  EXPECT_STREQ(VLT_121::getResultText(VLT_121::ResultCode::kModelExists), "the model exists already");
}


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
  // Plain HTTP reaches a server that answers, but no repository service.
  CVLTDatabase plain;
  ASSERT_TRUE(plain.open(server.address().c_str()));
  EXPECT_FALSE(plain.login("root", kAdminPassword, "Default", 0));
  EXPECT_EQ(std::string(plain.getLastErrorText()), "not a repository server at " + server.address() +
                                                       " (HTTP 400: This server speaks HTTPS only: use https://)");
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
    EXPECT_EQ(db.getLastErrorText(), expected);
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
