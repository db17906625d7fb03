// Small pure pieces of the server: what it takes from a client's bytes (the
// name rule, the short echo of client text, the scanner that looks at a body
// before the parser, when a request has arrived), cookies, options, the log
// lines, password hashes.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <string>
#include <tuple>

#include "app/Server.h"
#include "app/ServerOptions.h"
#include "base/ClientText.h"
#include "base/ServerLog.h"
#include "http/HttpCookies.h"
#include "http/RequestScanner.h"
#include "base/Limits.h"
#include "http/ConnectionPolicy.h"
#include "net/ProxyProtocol.h"
#include "net/RequestHead.h"
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
  // Other texts keep what XML carries (line ends, tab, C1), and names and they refuse U+FFFE.
  EXPECT_EQ(textProblem("a\tb\r\n\xc2\x85\xef\xbf\xbd\xf4\x8f\xbf\xbf"), "");
  EXPECT_EQ(textProblem("\x0b"), "holds the control character U+000B");
  EXPECT_EQ(nameProblem("\xef\xbf\xbe"), "holds U+FFFE, which is no character");
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

// When the event thread hands a request to a worker (whole, or streamed for
// an upload or a body beyond what it holds), and what it answers itself.
TEST(RequestHead, WholeRequestsGoToAWorkerAndMalformedHeadsNever) {
  using State = RequestShape::State;
  const std::string head = "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: h\r\n";
  struct Case {
    std::string bytes;
    State state;
    std::size_t length;   // of a complete request
    const char* problem;  // of a malformed one
  };
  const Case cases[] = {
      {"GET /health HTTP/1.1\r\nHost: h\r\n", State::Incomplete, 0, ""},
      {"GET /health HTTP/1.0\n\nGET", State::Complete, 22, ""},
      {head + "Content-Length: 10\r\n\r\n12345", State::Incomplete, 0, ""},
      {head + "content-LENGTH:10\r\n\r\n1234567890", State::Complete, head.size() + 21 + 10, ""},
      {head + "Content-Length: 4\r\nContent-Length: 4\r\n\r\nabcd", State::Complete, head.size() + 44, ""},
      {head + "Content-Length: 99999999999999999999\r\n\r\n" + std::string(300, 'x'), State::Streamed, 0, ""},
      {head + "SOAPAction: \"urn:up\"\r\nContent-Length: 50\r\n\r\n", State::Streamed, 0, ""},
      {head + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", State::Complete, head.size() + 45, ""},
      {head + "Transfer-Encoding: chunked\r\n\r\n5\r\nhel", State::Incomplete, 0, ""},
      {head + "Content-Length: 1\r\nContent-Length: 2\r\n\r\n12", State::Malformed, 0,
       "the request has two different Content-Lengths"},
      {head + "Content-Length: 1x\r\n\r\n", State::Malformed, 0, "the Content-Length is no number"},
      {head + "Transfer-Encoding: gzip\r\n\r\n", State::Malformed, 0, "a Transfer-Encoding other than chunked"},
      {head + "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n", State::Malformed, 0, "both"},
      {head + "Transfer-Encoding: chunked\r\n\r\n2\r\nhello", State::Malformed, 0, "longer than its size"},
      {"GET /health HTTP/1.1\r\nHo\x01", State::Malformed, 0, "the control character U+0001"},
      {"\x16\x03\x01\x02", State::Malformed, 0, "the control character U+0016"},  // TLS on the plain port
      {"GET / HTTP/1.1\r\n" + std::string(130, 'h'), State::Malformed, 0, "longer than 120 bytes"},
      {"get / HTTP/1.1\r\n\r\n", State::Malformed, 0, "does not begin with an HTTP request line"},
      {head + "no colon\r\n\r\n", State::Malformed, 0, "no header field"},
  };
  for (const Case& c : cases) {
    const RequestShape shape = shapeOf(c.bytes, 250, 120, "urn:up");
    EXPECT_EQ(shape.state, c.state) << echo(c.bytes, 200) << ": " << shape.problem;
    EXPECT_EQ(shape.length, c.length) << echo(c.bytes, 200);
    EXPECT_NE(shape.problem.find(c.problem), std::string::npos) << shape.problem;
  }
}

// A PROXY header (version 1 or 2) names the client; a connection without
// one goes on as it is.
TEST(ProxyProtocol, HeadersNameTheClientOnlyFromListedAddresses) {
  using State = ProxyHeader::State;
  const std::string v2 = std::string("\r\n\r\n\0\r\nQUIT\n", 12);
  const std::string v2ipv4 = v2 + std::string("\x21\x11\x00\x0c\xc0\x00\x02\x07\x0a\x00\x00\x01\x30\x39\x01\xbb", 16);
  const std::tuple<std::string, State, std::string> cases[] = {
      {"PROXY TCP4 198.51.100.7 10.0.0.1 40000 8080\r\nGET", State::Complete, "198.51.100.7"},
      {"PROXY TCP6 2001:db8::7 2001:db8::1 40000 8080\r\n", State::Complete, "2001:db8::7"},
      {"PROXY UNKNOWN\r\n", State::Complete, ""},
      {"PROXY TCP4 198.51.100.7 10.0", State::Incomplete, ""},
      {"PROXY TCP4 nowhere 10.0.0.1 1 2\r\n", State::Malformed, ""},
      {v2ipv4 + "\x16\x03", State::Complete, "192.0.2.7"},
      {v2 + std::string("\x20\x00\x00\x00", 4), State::Complete, ""},  // LOCAL: the balancer's own check
      {v2 + "\x22" + v2ipv4.substr(13), State::Malformed, ""},            // a command version 2 does not know
      {v2.substr(0, 7), State::Incomplete, ""},
      {"GET /health HTTP/1.1\r\n", State::Absent, ""},
  };
  for (const auto& [bytes, state, client] : cases) {
    const ProxyHeader header = readProxyHeader(bytes);
    EXPECT_EQ(header.state, state) << echo(bytes, 100);
    EXPECT_EQ(header.client, client) << echo(bytes, 100);
  }
  EXPECT_EQ(readProxyHeader(v2ipv4).length, 28u);
  std::string problem;
  const AddressList list = AddressList::parse("10.0.0.0/8,2001:db8::1", problem);
  ASSERT_EQ(problem, "");
  auto address = [](const char* text) {
    sockaddr_storage address{};
    if (inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in*>(&address)->sin_addr) == 1) {
      address.ss_family = AF_INET;
    } else {
      address.ss_family = AF_INET6;
      inet_pton(AF_INET6, text, &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr);
    }
    return address;
  };
  for (const char* listed : {"10.1.2.3", "2001:db8::1", "::ffff:10.9.9.9"}) EXPECT_TRUE(list.contains(address(listed)));
  for (const char* other : {"11.0.0.1", "2001:db8::2", "127.0.0.1"}) EXPECT_FALSE(list.contains(address(other)));
  EXPECT_TRUE(AddressList::parse("10.0.0.0/33", problem).empty());
  EXPECT_EQ(problem, "'10.0.0.0/33' has no prefix length from 0 to 32");
}

// A deadline that grants time for many bytes at a slow rate ends at the
// clock's end, never wraps into the past.
TEST(Deadline, TimeForAHugeUploadAtAByteASecondDoesNotWrap) {
  Deadline deadline;
  deadline.start(Deadline::Clock::now(), std::chrono::seconds(5));
  deadline.grant(1ull << 62, 1);
  EXPECT_FALSE(deadline.passed(Deadline::Clock::now()));
  EXPECT_EQ(deadline.socketTimeout(std::chrono::seconds(60)), -60000000);
  deadline.grant((1ull << 62) + 1, 1);  // and once at the end, more adds nothing
  EXPECT_FALSE(deadline.passed(Deadline::Clock::now()));
}

// The limits held against each other and the machine at start.
TEST(Limits, DescriptorsTransfersAndFileSizeBoundWhatTheOptionsAsk) {
  Limits limits;
  limits.threads = 4;
  limits.maxThreads = 2;
  limits.maxTransfers = 10;
  MachineLimits machine;
  machine.openFiles = 32 + 4 * 4 + 64 * 3 + 100;  // 100 left for connections
  machine.fileSize = 1 << 20;
  LimitCheck check = checkLimits(limits, machine);
  EXPECT_EQ(check.refusal, "");
  EXPECT_EQ(limits.maxThreads, 4);
  EXPECT_EQ(limits.maxTransfers, 3);
  EXPECT_EQ(limits.maxConnections, 100);
  EXPECT_EQ(limits.maxConnectionsPerAddress, 100);
  EXPECT_EQ(limits.maxUpload, 1 << 20);
  EXPECT_EQ(check.warnings, (std::vector<std::string>{
                                "serving at most 100 connections at once: the open file limit is 340",
                                "--max-upload lowered to 1048576 bytes: the file size limit (ulimit -f) allows no "
                                "larger file"}));
  machine.openFiles = 200;
  check = checkLimits(limits, machine);
  EXPECT_EQ(check.refusal.rfind("the open file limit of 200 descriptors leaves none for connections", 0), 0u)
      << check.refusal;
}

TEST(HttpCookies, SessionCookieIsFoundAmongOthersAndSetWithAPathAndNoDomain) {
  EXPECT_EQ(cookieValue("$Version=0; TALIXSESSION=abc123; $Path=/", "TALIXSESSION"), "abc123");
  EXPECT_EQ(cookieValue("other=1, TALIXSESSION=\"q\"", "TALIXSESSION"), "q");
  EXPECT_EQ(cookieValue("XTALIXSESSION=no", "TALIXSESSION"), "");
  EXPECT_EQ(sessionCookie("TALIXSESSION", "ff00", false), "TALIXSESSION=ff00; Path=/; HttpOnly");
  EXPECT_EQ(sessionCookie("TALIXSESSION", "ff00", true), "TALIXSESSION=ff00; Path=/; HttpOnly; Secure");
}

// The defaults (the 8 workers: the start line in server/OperationsTest), the
// help command, the problems named; only loopback addresses count as local,
// and serving beyond them without TLS is warned about.
TEST(ServerOptions, DefaultsHelpProblemsAndWarnings) {
  ServerOptions options;
  ASSERT_EQ(parseServerOptions({"--data", "/tmp/x"}, options), "");
  EXPECT_EQ(options.command, ServerCommand::Serve);
  EXPECT_EQ(options.host, "127.0.0.1");
  EXPECT_EQ(options.limits.sessionTimeout, 1800);
  EXPECT_EQ(options.limits.maxUpload, 64ll << 30);
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
      {{"--data", "d", "--max-upload", "1099511627777"}, "--max-upload needs a number from 0 to 1099511627776"},
      {{"--data", "d", "--port"}, "missing value after --port"},
      {{"--data", "d", "--colour", "red"}, "unknown option --colour"},
      {{"--data", "d", "--log-level", "loud"}, "--log-level needs error, warning, info or debug"},
      {{"--data", "d", "stray"}, "unexpected argument stray"},
      {{"--data", "d", "--backup-to", "b", "--set-admin-password"},
       "--set-admin-password, --end-sessions and --backup-to are separate commands"},
      {{"--data", "d", "--tls-cert", "c.pem"}, "--tls-cert and --tls-key go together: give both or neither"},
      {{"--data", "d", "--metrics-from", "10.0.0.0/33"}, "--metrics-from: '10.0.0.0/33' has no prefix length from 0 to 32"},
      {{"--data", "d", "--metrics-from", "::1,monitor"}, "--metrics-from: 'monitor' is no IPv4 or IPv6 address"},
      {{"--data", "d", "--max-buffered", "1024"}, "--max-buffered needs a number from 4325376 to 1099511627776"},
      {{"--store", "postgresql:///x", "--max-db-connections", "1"}, "--max-db-connections needs a number from 2 to 10000"},
      {{"--data", "d", "--proxy-protocol", "10.0.0.1,balancer"},
       "--proxy-protocol needs addresses or networks (ADDRESS/BITS), separated by commas: 'balancer' is no IPv4 or IPv6 address"},
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

// Clients match an address or network of their family; an IPv4 client seen
// through an IPv6 socket matches the IPv4 entries.
TEST(AddressList, ClientsMatchTheirAddressOrNetwork) {
  ServerOptions options;
  ASSERT_EQ(parseServerOptions({"--data", "d", "--metrics-from", "10.1.0.0/16,::1", "--metrics-from=192.0.2.7"}, options),
            "");
  for (const char* listed : {"10.1.255.3", "::1", "192.0.2.7", "::ffff:10.1.0.9"})
    EXPECT_TRUE(options.metricsFrom.contains(listed)) << listed;
  for (const char* other : {"10.2.0.1", "192.0.2.8", "::2", "", "-"}) EXPECT_FALSE(options.metricsFrom.contains(other)) << other;
  EXPECT_TRUE(ServerOptions().metricsFrom.empty());
}

TEST(ServerLog, LinesCarryTimeLevelAndTheRequestFieldsWithTheOutcomeLast) {
  using namespace std::chrono;
  system_clock::time_point time = system_clock::from_time_t(1700000000) + milliseconds(42);
  EXPECT_EQ(formatLogLine(time, LogLevel::Warning, "two\nlines"), "2023-11-14T22:13:20.042Z warning two lines");
  RequestRecord record{"10.1.2.3", "findByPath", "root", microseconds(1500), "fault: no such object: /a b"};
  EXPECT_EQ(requestText(record), "request 10.1.2.3 findByPath root 1.500ms fault: no such object: /a b");
  RequestRecord anonymous{"", "", "D\xc3\xbcse 1", microseconds(7), "ok"};
  EXPECT_EQ(requestText(anonymous), "request - - D\xc3\xbcse_1 0.007ms ok");
  // Transactions that lost to concurrent ones and ran again.
  RequestRecord retried{"h", "createFolder", "ann", microseconds(7), "ok", 1, 0};
  EXPECT_EQ(requestText(retried), "request h createFolder ann 0.007ms ok (1 retry)");
  retried.retries = 3;
  retried.alone = 1;
  EXPECT_EQ(requestText(retried), "request h createFolder ann 0.007ms ok (3 retries, 1 alone)");
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
