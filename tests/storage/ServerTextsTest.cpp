// Small pure pieces of the server: paths, cookies, options, the log line,
// password hashes.
#include <gtest/gtest.h>

#include "HttpCookies.h"
#include "PasswordHash.h"
#include "RepositoryPath.h"
#include "RequestLog.h"
#include "ServerOptions.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

TEST(RepositoryPath, SplitIgnoresEmptySegments) {
  EXPECT_EQ(splitPath("//a///b/"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(splitPath("/").empty());
  EXPECT_TRUE(splitPath("").empty());
  EXPECT_EQ(canonicalPath("a//b/"), "/a/b");
  EXPECT_EQ(childPath("/", "x"), "/x");
  EXPECT_EQ(childPath("", "x"), "/x");
  EXPECT_EQ(childPath("/a/", "x"), "/a/x");
}

TEST(RepositoryPath, NamesMustBeNonEmptyWithoutSlash) {
  EXPECT_TRUE(isValidName("D\xc3\xbcse 1"));
  EXPECT_FALSE(isValidName(""));
  EXPECT_FALSE(isValidName("a/b"));
}

TEST(HttpCookies, SessionCookieIsFoundAmongOthersAndAttributes) {
  EXPECT_EQ(cookieValue("$Version=0; TALIXSESSION=abc123; $Path=/", "TALIXSESSION"), "abc123");
  EXPECT_EQ(cookieValue("other=1, TALIXSESSION=\"q\"", "TALIXSESSION"), "q");
  EXPECT_EQ(cookieValue("XTALIXSESSION=no", "TALIXSESSION"), "");
  EXPECT_EQ(cookieValue("", "TALIXSESSION"), "");
}

TEST(HttpCookies, SetCookieHasAPathAndNoDomain) {
  EXPECT_EQ(sessionCookie("TALIXSESSION", "ff00"), "TALIXSESSION=ff00; Path=/");
}

TEST(ServerOptions, DefaultsAndEveryOption) {
  ServerOptions options;
  ASSERT_EQ(parseServerOptions({"--data", "/tmp/x"}, options), "");
  EXPECT_EQ(options.host, "127.0.0.1");
  EXPECT_EQ(options.sessionTimeout, 1800);
  EXPECT_EQ(options.threads, 8);
  EXPECT_EQ(options.maxUpload, 1ull << 30);
  ASSERT_EQ(parseServerOptions({"--data", "d", "--port", "0", "--host", "127.0.0.1", "--session-timeout", "5",
                                "--threads", "2", "--max-upload", "10", "--quiet"},
                               options),
            "");
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.sessionTimeout, 5);
  EXPECT_EQ(options.threads, 2);
  EXPECT_EQ(options.maxUpload, 10u);
  EXPECT_TRUE(options.quiet);
}

TEST(ServerOptions, ProblemsAreNamed) {
  ServerOptions options;
  EXPECT_EQ(parseServerOptions({}, options), "--data DIR is required");
  EXPECT_NE(parseServerOptions({"--data", "d", "--port", "70000"}, options), "");
  EXPECT_NE(parseServerOptions({"--data", "d", "--threads", "0"}, options), "");
  EXPECT_NE(parseServerOptions({"--data", "d", "--port"}, options), "");
  EXPECT_NE(parseServerOptions({"--data", "d", "--colour", "red"}, options), "");
  ServerOptions help;
  EXPECT_EQ(parseServerOptions({"--help"}, help), "");
  EXPECT_TRUE(help.help);
}

TEST(RequestLog, OneLinePerRequestInTheStableFormat) {
  EXPECT_EQ(requestLine("login", "root", "ok"), "talixdb-server: request login root ok");
  EXPECT_EQ(requestLine("", "", "fault: bad\nthing"), "talixdb-server: request - - fault: bad thing");
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
