// Small pure pieces of the server: paths, cookies, options, the log lines,
// password hashes.
#include <gtest/gtest.h>

#include <chrono>

#include "HttpCookies.h"
#include "PasswordHash.h"
#include "ServerLog.h"
#include "Server.h"
#include "ServerOptions.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

TEST(HttpCookies, SessionCookieIsFoundAmongOthersAndSetWithAPathAndNoDomain) {
  EXPECT_EQ(cookieValue("$Version=0; TALIXSESSION=abc123; $Path=/", "TALIXSESSION"), "abc123");
  EXPECT_EQ(cookieValue("other=1, TALIXSESSION=\"q\"", "TALIXSESSION"), "q");
  EXPECT_EQ(cookieValue("XTALIXSESSION=no", "TALIXSESSION"), "");
  EXPECT_EQ(cookieValue("", "TALIXSESSION"), "");
  EXPECT_EQ(sessionCookie("TALIXSESSION", "ff00"), "TALIXSESSION=ff00; Path=/");
}

// The options that the tests' servers run with are shown by the servers
// themselves; here the defaults and the help command.
TEST(ServerOptions, DefaultsAndHelp) {
  ServerOptions options;
  ASSERT_EQ(parseServerOptions({"--data", "/tmp/x"}, options), "");
  EXPECT_EQ(options.command, ServerCommand::Serve);
  EXPECT_EQ(options.host, "127.0.0.1");
  EXPECT_EQ(options.sessionTimeout, 1800);
  EXPECT_EQ(options.threads, 8);
  EXPECT_EQ(options.maxUpload, 1ull << 30);
  EXPECT_EQ(options.logLevel, LogLevel::Info);
  for (const std::vector<std::string>& help : {std::vector<std::string>{"--help"}, {"-h", "--data", "d"}}) {
    ServerOptions asked;
    EXPECT_EQ(parseServerOptions(help, asked), "");
    EXPECT_EQ(asked.command, ServerCommand::Help);
  }
}

TEST(ServerOptions, ProblemsAreNamed) {
  struct Case {
    std::vector<std::string> arguments;
    std::string problem;
  };
  const Case cases[] = {
      {{}, "either --data DIR or --store postgresql://... is required, not both"},
      {{"--data", "d", "--store", "postgresql:///x"}, "either --data DIR or --store postgresql://... is required, not both"},
      {{"--store", "dbname=x"}, "--store needs a PostgreSQL connection URI (postgresql://...)"},
      {{"--store", "postgresql:///x", "--backup-to", "b"},
       "--backup-to copies a SQLite store (--data); back up a PostgreSQL store with pg_dump"},
      {{"--data", "d", "--port", "70000"}, "--port needs a number from 0 to 65535"},
      {{"--data", "d", "--threads=0"}, "--threads needs a number from 1 to 256"},
      {{"--data", "d", "--port"}, "missing value after --port"},
      {{"--data", "d", "--colour", "red"}, "unknown option --colour"},
      {{"--data", "d", "--log-level", "loud"}, "--log-level needs error, warning, info or debug"},
      {{"--data", "d", "stray"}, "unexpected argument stray"},
      {{"--data", "d", "--backup-to", "b", "--set-admin-password"},
       "--set-admin-password and --backup-to are separate commands"},
      {{"--data", "d", "--tls-cert", "c.pem"}, "--tls-cert and --tls-key go together: give both or neither"},
      {{"--data", "d", "--tls-key=k.pem"}, "--tls-cert and --tls-key go together: give both or neither"},
  };
  for (const Case& c : cases) {
    ServerOptions options;
    EXPECT_EQ(parseServerOptions(c.arguments, options), c.problem);
  }
}

// Only loopback addresses count as local; serving beyond them without TLS is warned about.
TEST(ServerOptions, ServingBeyondLoopbackWithoutTlsIsWarnedAbout) {
  for (const char* local : {"127.0.0.1", "127.8.9.10", "::1", "localhost", "::ffff:127.0.0.1"})
    EXPECT_TRUE(isLoopbackAddress(local)) << local;
  for (const char* remote : {"0.0.0.0", "::", "192.0.2.1", "10.0.0.1", "db.example", "128.0.0.1"})
    EXPECT_FALSE(isLoopbackAddress(remote)) << remote;
  ServerOptions options;
  EXPECT_TRUE(startWarnings(options).empty());
  options.host = "0.0.0.0";
  EXPECT_EQ(startWarnings(options),
            std::vector<std::string>{"serving 0.0.0.0 without TLS: passwords and session ids travel in clear text"});
  options.tlsCertificate = "c.pem";
  options.tlsKey = "k.pem";
  EXPECT_TRUE(startWarnings(options).empty());
}

TEST(ServerLog, LinesCarryTimeLevelAndTheRequestFieldsWithTheOutcomeLast) {
  using namespace std::chrono;
  system_clock::time_point time = system_clock::from_time_t(1700000000) + milliseconds(42);
  EXPECT_EQ(formatLogLine(time, LogLevel::Warning, "two\nlines"), "2023-11-14T22:13:20.042Z warning two lines");
  RequestRecord record{"10.1.2.3", "findByPath", "root", microseconds(1500), "fault: no such object: /a b"};
  EXPECT_EQ(requestText(record), "request 10.1.2.3 findByPath root 1.500ms fault: no such object: /a b");
  RequestRecord anonymous{"", "", "D\xc3\xbcse 1", microseconds(7), "ok"};
  EXPECT_EQ(requestText(anonymous), "request - - D\xc3\xbcse_1 0.007ms ok");
}

TEST(PasswordHash, HashesAreSaltedAndVerify) {
  std::string first = hashPassword("secret");
  std::string second = hashPassword("secret");
  EXPECT_EQ(first.rfind("$6$", 0), 0u);
  EXPECT_NE(first, second);
  EXPECT_TRUE(verifyPassword("secret", first));
  EXPECT_FALSE(verifyPassword("Secret", first));
  EXPECT_FALSE(verifyPassword("secret", ""));
}

}  // namespace
}  // namespace talixdb_test
