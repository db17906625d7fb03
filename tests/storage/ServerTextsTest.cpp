// Small pure pieces of the server: what it takes from a client's bytes (the
// name rule, the short echo of client text, the scanner that looks at a body
// before the parser, when a request has arrived), cookies, options, the log
// lines, password hashes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/Server.h"
#include "app/ServerOptions.h"
#include "base/ClientText.h"
#include "base/ServerLog.h"
#include "http/HttpCookies.h"
#include "http/RequestScanner.h"
#include "net/WaitingRoom.h"
#include "repository/NameRules.h"
#include "repository/PasswordHash.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

// What no request can carry to the rule (the scanner refuses it first) but a
// caller in process can; the rest is shown over the wire (server/InputTest).
TEST(NameRules, TextThatIsNotUtf8OrHoldsNulIsRefused) {
  EXPECT_EQ(nameProblem("\xc2\xa0"), "");  // U+00A0, the first after the C1 controls
  EXPECT_EQ(nameProblem(std::string("a\0b", 3)), "holds the control character U+0000");
  for (const char* bytes : {"\xff", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "caf\xc3"})
    EXPECT_EQ(nameProblem(bytes), "not valid UTF-8") << echo(bytes);
}

TEST(ClientText, EchoIsShortPrintableAndCutBetweenCharacters) {
  EXPECT_EQ(echo("a\x01" "b\x7f\xc2\x85\xff"), "a\\x01b\\x7F\\xC2\\x85\\xFF");
  EXPECT_EQ(echo(std::string(1000, 'x')), std::string(64, 'x') + "\xE2\x80\xA6");
  // 63 bytes and a two-byte character: the character does not fit.
  EXPECT_EQ(echo(std::string(63, 'x') + "\xc3\xa9"), std::string(63, 'x') + "\xE2\x80\xA6");
  EXPECT_EQ(echoPath("/" + std::string(500, 'p')).size(), kEchoPathBytes + 3);
}

// A DIME message: one record for the envelope (TNF 2, a URI type), then an
// attachment (TNF 1, a media type) with `data`; `flags` on the first record.
std::string dimeRecord(unsigned char flags, unsigned char typeFormat, const std::string& type, const std::string& data) {
  auto padded = [](std::string bytes) { return bytes.append((4 - bytes.size() % 4) % 4, '\0'); };
  std::string header{static_cast<char>(0x08 | flags), static_cast<char>(typeFormat << 4), 0, 0, 0, 0,
                     static_cast<char>(type.size() >> 8), static_cast<char>(type.size() & 0xff)};
  for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<char>((data.size() >> shift) & 0xff));
  return header + padded(type) + padded(data);
}

std::string envelope(const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- a < comment --><E:Envelope xmlns:E=\"urn:e\"><E:Body>" + inner +
         "</E:Body></E:Envelope>";
}

std::string attributes(int count, const char* name) {
  std::string text;
  for (int i = 0; i < count; ++i) text += " " + std::string(name) + std::to_string(i) + "=\"v\"";
  return text;
}

std::string nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) open += "<d>", close += "</d>";
  return open + close;
}

// Each body is scanned whole and byte by byte: the outcome must not depend
// on how the bytes arrive.
TEST(RequestScanner, RefusesWhatTheParserWouldPayForOrChange) {
  XmlLimits limits;
  limits.maxBytes = 4096;
  limits.maxDepth = 8;
  limits.maxAttributes = 6;
  limits.maxNamespaces = 4;
  limits.maxMessageNamespaces = 9;
  const std::string fine = envelope("<a x='1' y=\"&lt;&#65;&#x1F600;\">t&amp;t<![CDATA[<&]]><?pi <x?></a><b/>");
  const std::pair<std::string, const char*> cases[] = {  // the refusal, "" when accepted
      {fine, ""},
      {envelope("<a" + attributes(6, "a") + "/>"), ""},
      {envelope("<a" + attributes(7, "a") + "/>"), "more than 6 attributes"},
      {envelope("<a" + attributes(4, "xmlns:p") + "/>"), ""},
      {envelope("<a" + attributes(5, "xmlns:p") + "/>"), "declares more than 4 namespaces"},
      {envelope("<a xmlns=\"u\" xmlnsx=\"1\"" + attributes(3, "xmlns:p") + "/>"), ""},
      {envelope("<a" + attributes(4, "xmlns:p") + "/><b" + attributes(4, "xmlns:q") + "/>"), ""},
      {envelope("<a" + attributes(4, "xmlns:p") + "/><b" + attributes(4, "xmlns:q") + "/><c xmlns ='u'/>"),
       "request declares more than 9 namespaces"},
      {envelope(nested(6)), ""},
      {envelope(nested(7)), "deeper than 8 levels"},
      {"<!DOCTYPE E [<!ENTITY x \"y\">]>" + envelope("&x;"), "DTDs are not accepted"},
      {envelope("<!ENTITY x \"y\">"), "DTDs are not accepted"},
      {envelope("<a>&x;</a>"), "unknown entity '&x;'"},
      {envelope("<a>a&#0;b</a>"), "U+0000"},
      {envelope(std::string("<a>a\0b</a>", 10)), "U+0000"},
      {envelope("<a>&#xD800;</a>"), "U+D800"},
      {envelope("<a>&#x110000;</a>"), "past U+10FFFF"},
      {envelope("<a>&#x4g;</a>"), "malformed character reference"},
      {envelope("<a>& b</a>"), "malformed"},
      {envelope("<a>\xff</a>"), "not valid UTF-8"},
      {envelope("<a>" + std::string(4096, 'x') + "</a>"), "larger than 4096 bytes"},
      {"--boundary\r\n", "MIME"},
      {"\x1f\x8b\x08", "compressed"},
      {dimeRecord(0x04, 2, "urn:envelope", fine) + dimeRecord(0x02, 1, "application/octet-stream", "\xff\0<!DOCTYPE"), ""},
      {dimeRecord(0x04, 2, "urn:envelope", envelope("&x;")), "unknown entity"},
      {dimeRecord(0x05, 2, "urn:envelope", fine.substr(0, 40)), "one record"},
      {dimeRecord(0x04, 2, "urn:envelope", std::string(4097, ' ')), "larger than 4096 bytes"},
  };
  for (const auto& [body, refusal] : cases) {
    RequestScanner whole(limits), bytewise(limits);
    whole.feed(body.data(), body.size());
    for (char byte : body) bytewise.feed(&byte, 1);
    EXPECT_NE(whole.refusal().find(refusal), std::string::npos) << echo(body, 200) << "\nrefusal: " << whole.refusal();
    EXPECT_TRUE(*refusal != '\0' || whole.refusal().empty()) << echo(body, 200);
    EXPECT_EQ(bytewise.refusal(), whole.refusal()) << echo(body, 200);
  }
}

// When the event thread hands a connection to a worker: once the request
// head, and a small body its Content-Length names, have arrived.
TEST(RequestArrived, HeadAndSmallBodyOrAFullLookAhead) {
  const std::string head = "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: h\r\n";
  const std::pair<std::string, bool> cases[] = {
      {"", false},
      {"GET /health HTTP/1.1\r\nHost: h\r\n", false},
      {"GET /health HTTP/1.1\r\nHost: h\r\n\r\n", true},
      {"GET /health HTTP/1.0\n\n", true},
      {head + "Content-Length: 10\r\n\r\n12345", false},
      {head + "content-LENGTH:10\r\n\r\n1234567890", true},
      {head + "Content-Length: 99999999999999999999\r\n\r\n", true},  // larger than the look-ahead: a worker reads it
      {head + "Transfer-Encoding: chunked\r\n\r\n", true},
      {head + "X-Content-Length: 10\r\n\r\n", true},
      {std::string(100, 'x'), true},  // fills the look-ahead
      {"\x16\x03\x01\x02", true},        // a TLS handshake on the plain port
  };
  for (const auto& [bytes, arrived] : cases) EXPECT_EQ(requestArrived(bytes, 100), arrived) << bytes;
}

TEST(HttpCookies, SessionCookieIsFoundAmongOthersAndSetWithAPathAndNoDomain) {
  EXPECT_EQ(cookieValue("$Version=0; TALIXSESSION=abc123; $Path=/", "TALIXSESSION"), "abc123");
  EXPECT_EQ(cookieValue("other=1, TALIXSESSION=\"q\"", "TALIXSESSION"), "q");
  EXPECT_EQ(cookieValue("XTALIXSESSION=no", "TALIXSESSION"), "");
  EXPECT_EQ(sessionCookie("TALIXSESSION", "ff00"), "TALIXSESSION=ff00; Path=/");
}

// The defaults (the 8 workers: the start line in server/OperationsTest), the
// help command, the problems named; only loopback addresses count as local,
// and serving beyond them without TLS is warned about.
TEST(ServerOptions, DefaultsHelpProblemsAndWarnings) {
  ServerOptions options;
  ASSERT_EQ(parseServerOptions({"--data", "/tmp/x"}, options), "");
  EXPECT_EQ(options.command, ServerCommand::Serve);
  EXPECT_EQ(options.host, "127.0.0.1");
  EXPECT_EQ(options.sessionTimeout, 1800);
  EXPECT_EQ(options.maxUpload, 64ull << 30);
  EXPECT_EQ(options.logLevel, LogLevel::Info);
  for (const std::vector<std::string>& help : {std::vector<std::string>{"--help"}, {"-h", "--data", "d"}})
    EXPECT_TRUE(parseServerOptions(help, options).empty() && options.command == ServerCommand::Help);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "either --data DIR or --store postgresql://... is required, not both"},
      {{"--data", "d", "--store", "postgresql:///x"}, "either --data DIR or --store postgresql://... is required, not both"},
      {{"--store", "dbname=x"}, "--store needs a PostgreSQL connection URI (postgresql://...)"},
      {{"--store", "postgresql:///x", "--backup-to", "b"},
       "--backup-to copies a SQLite store (--data); back up a PostgreSQL store with pg_dump"},
      {{"--data", "d", "--port", "70000"}, "--port needs a number from 0 to 65535"},
      {{"--data", "d", "--threads=0"}, "--threads needs a number from 1 to 256"},
      {{"--data", "d", "--keep-alive-requests", "1000001"}, "--keep-alive-requests needs a number from 1 to 1000000"},
      {{"--data", "d", "--max-upload", "1099511627777"}, "--max-upload needs a number of bytes from 0 to 1099511627776"},
      {{"--data", "d", "--port"}, "missing value after --port"},
      {{"--data", "d", "--colour", "red"}, "unknown option --colour"},
      {{"--data", "d", "--log-level", "loud"}, "--log-level needs error, warning, info or debug"},
      {{"--data", "d", "stray"}, "unexpected argument stray"},
      {{"--data", "d", "--backup-to", "b", "--set-admin-password"},
       "--set-admin-password and --backup-to are separate commands"},
      {{"--data", "d", "--tls-cert", "c.pem"}, "--tls-cert and --tls-key go together: give both or neither"},
  };
  for (const auto& [arguments, problem] : cases) {
    ServerOptions fresh;
    EXPECT_EQ(parseServerOptions(arguments, fresh), problem);
  }
  for (const char* local : {"127.0.0.1", "127.8.9.10", "::1", "localhost", "::ffff:127.0.0.1"})
    EXPECT_TRUE(isLoopbackAddress(local)) << local;
  for (const char* remote : {"0.0.0.0", "::", "192.0.2.1", "10.0.0.1", "db.example", "128.0.0.1"})
    EXPECT_FALSE(isLoopbackAddress(remote)) << remote;
  options = ServerOptions();
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

// (A SHA-512 crypt hash: storage/RepositoryTest.)
TEST(PasswordHash, HashesAreSaltedAndVerify) {
  const std::string first = hashPassword("secret");
  EXPECT_NE(first, hashPassword("secret"));
  EXPECT_TRUE(verifyPassword("secret", first));
  EXPECT_FALSE(verifyPassword("Secret", first) || verifyPassword("secret", ""));
}

}  // namespace
}  // namespace talixdb_test
