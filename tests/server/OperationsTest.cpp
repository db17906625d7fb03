// Operating the server: its log, the administrator's password, refused
// starts, the version, and the systemd unit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ServiceClient.h"
#include "client/RepositorySession.h"
#include "support/ServerLog.h"

namespace talixdb_test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The full path of `program` on PATH, or "".
std::string onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "");
  for (std::string directory; std::getline(directories, directory, ':');) {
    std::string candidate = directory + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::string();
}

class OperationsTest : public ::testing::Test {
 protected:
  std::string store() const { return dir.path() + "/store"; }
  TempDir dir;
};

TEST_F(OperationsTest, LogLevelChoosesTheLinesAndQuietStillShowsFailedLogins) {
  struct Case {
    std::vector<std::string> options;
    bool startLine, goodLogin, failedLogin, probeLine;
  };
  const Case cases[] = {
      {{"--log-level=debug"}, true, true, true, true},
      {{"--log-level", "info"}, true, true, true, false},
      {{"--quiet"}, false, false, true, false},
      {{"--log-level=error"}, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0]);
    TempDir own;
    TestServer server(c.options, own.path() + "/store");
    ServiceClient client(server);
    ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
    EXPECT_EQ(client.login("root", "wrong").code, 12);
    VLT_121::CRepositorySession library(&client.binding());
    EXPECT_TRUE(library.probe());  // the library's reachability test
    const std::string address = server.address();
    server.stop();
    const std::string log = server.log();
    std::vector<LoggedRequest> requests = loggedRequests(log);
    auto logged = [&](const std::string& summary, const std::string& level) {
      return std::any_of(requests.begin(), requests.end(), [&](const LoggedRequest& request) {
        return request.summary() == summary && request.level == level && request.client == "127.0.0.1";
      });
    };
    EXPECT_EQ(logged("login root ok", "info"), c.goodLogin) << log;
    EXPECT_EQ(logged("login root fault: wrong user name or password for root", "warning"), c.failedLogin) << log;
    EXPECT_EQ(logged("login username probe", "debug"), c.probeLine) << log;
    EXPECT_EQ(contains(log, " info started talixdb-server " TALIXDB_VERSION " on " + address +
                                " (plain HTTP), store " + own.path() + "/store (SQLite), 8 workers\n"),
              c.startLine)
        << log;
    EXPECT_EQ(contains(log, " info stopped talixdb-server " TALIXDB_VERSION " on " + address + " after SIGTERM\n"),
              c.startLine)
        << log;
  }
}

TEST_F(OperationsTest, SetAdminPasswordTakesTheEnvironmentOrStandardInputAndEndsRootsSessions) {
  TestServer server({"--quiet"}, store());
  struct Case {
    std::vector<std::pair<std::string, std::string>> env;
    std::string input;
    std::string password;  // "" when the command must fail
  };
  const Case cases[] = {
      {{}, "from-stdin\nsecond line\n", "from-stdin"},
      {{{"VLT_ADMIN_PASSWORD", "from-env"}}, "ignored\n", "from-env"},
      {{{"VLT_ADMIN_PASSWORD", ""}}, "crlf-line\r\n", "crlf-line"},
      {{}, "\n", ""},
  };
  std::string current = kAdminPassword;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ServiceClient admin(server);
    ASSERT_TRUE(Succeeds(admin.login("root", current)));
    ProgramResult result = runServerProgram({"--data", store(), "--set-admin-password"}, c.env, c.input);
    if (c.password.empty()) {
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_EQ(result.err,
                "talixdb-server: no password given: put it on the first line of standard input, or in "
                "VLT_ADMIN_PASSWORD\n");
      EXPECT_NE(admin.sessionId(), "");
      continue;
    }
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "talixdb-server: the password of root in " + store() + " is set\n");
    EXPECT_EQ(admin.sessionId(), "");
    ServiceClient again(server);
    EXPECT_EQ(again.login("root", current).code, 12);
    EXPECT_TRUE(Succeeds(again.login("root", c.password)));
    current = c.password;
  }
}

TEST_F(OperationsTest, SetAdminPasswordMakesANewStoreThatStartsWithIt) {
  ProgramResult result =
      runServerProgram({"--data", store(), "--set-admin-password"}, {{"VLT_ADMIN_PASSWORD", "chosen"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  TestServer server({}, store());
  ServiceClient admin(server);
  EXPECT_TRUE(Succeeds(admin.login("root", "chosen")));
}

TEST_F(OperationsTest, FirstStartBeyondLoopbackWithoutAPasswordIsRefusedBeforeListening) {
  ProgramResult result = runServerProgram({"--data", store(), "--host", "192.0.2.1", "--port", "0"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(contains(result.err,
                       " error refusing a first start on 192.0.2.1 with the built-in administrator password: set "
                       "VLT_ADMIN_PASSWORD for the first start, or run talixdb-server --data " +
                           store() + " --set-admin-password before it\n"))
      << result.err;
}

TEST_F(OperationsTest, VersionAndUsageErrors) {
  ProgramResult version = runServerProgram({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "talixdb-server " TALIXDB_VERSION "\n");
  ProgramResult wrong = runServerProgram({"--data=" + store(), "--log-level=loud"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_EQ(wrong.err.rfind("talixdb-server: --log-level needs error, warning, info or debug\nusage:", 0), 0u)
      << wrong.err;
}

TEST(SystemdUnit, VerifiesAndRunsTheServerPrivatelyAsItsOwnUser) {
  std::ifstream file(TALIXDB_TEST_UNIT_FILE);
  ASSERT_TRUE(file) << TALIXDB_TEST_UNIT_FILE;
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  for (const char* wanted : {"User=talixdb", "UMask=0077", "StateDirectory=talixdb", "Restart=on-failure",
                             "NoNewPrivileges=yes", "ProtectSystem=strict", "ProtectHome=yes", "PrivateTmp=yes"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), wanted), lines.end()) << wanted;

  const std::string analyze = onPath("systemd-analyze");
  if (!analyze.empty()) {
    ProgramRun verify;
    verify.args = {"verify", TALIXDB_TEST_UNIT_FILE};
    ProgramResult verified = runProgram(analyze, verify);
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_FALSE(contains(verified.out + verified.err, "talixdb-server.service")) << verified.out << verified.err;
    return;
  }
  // Without systemd: sections, and keys with values, nothing else.
  for (const std::string& line : lines) {
    if (line.empty() || line[0] == '#') continue;
    bool section = line == "[Unit]" || line == "[Service]" || line == "[Install]";
    std::size_t equals = line.find('=');
    bool setting = equals != std::string::npos && equals > 0 &&
                   std::all_of(line.begin(), line.begin() + static_cast<long>(equals),
                               [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    EXPECT_TRUE(section || setting) << line;
  }
}

}  // namespace
}  // namespace talixdb_test
