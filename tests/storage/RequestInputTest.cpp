// What the server takes from a client's bytes: the name rule, the short echo
// of client text, and the scanner that looks at a body before the parser.
#include <gtest/gtest.h>

#include <string>

#include "ClientText.h"
#include "NameRules.h"
#include "RequestScanner.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

// What no request can carry to the rule (the scanner refuses it first) but a
// caller in process can; the rest is shown over the wire (server/InputTest).
TEST(NameRules, TextThatIsNotUtf8OrHoldsNulIsRefused) {
  EXPECT_EQ(nameProblem("D\xc3\xbcse 1"), "");
  EXPECT_EQ(nameProblem("\xc2\xa0"), "");  // U+00A0, the first after the C1 controls
  EXPECT_EQ(nameProblem(std::string("a\0b", 3)), "holds the control character U+0000");
  for (const char* bytes : {"\xff", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "caf\xc3"})
    EXPECT_EQ(nameProblem(bytes), "not valid UTF-8") << echo(bytes);
}

TEST(ClientText, EchoIsShortPrintableAndCutBetweenCharacters) {
  EXPECT_EQ(echo("plain"), "plain");
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
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<d>";
  for (int i = 0; i < depth; ++i) text += "</d>";
  return text;
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
  struct Case {
    std::string body;
    const char* refusal;  // "" when accepted
  };
  const Case cases[] = {
      {fine, ""},
      {envelope("<a" + attributes(6, "a") + "/>"), ""},
      {envelope("<a" + attributes(7, "a") + "/>"), "more than 6 attributes"},
      {envelope("<a" + attributes(4, "xmlns:p") + "/>"), ""},
      {envelope("<a" + attributes(5, "xmlns:p") + "/>"), "declares more than 4 namespaces"},
      {envelope("<a xmlns=\"u\" xmlnsx=\"1\"" + attributes(3, "xmlns:p") + "/>"), ""},
      {envelope("<a" + attributes(4, "xmlns:p") + "/><b" + attributes(4, "xmlns:q") + "/>"), ""},
      {envelope("<a" + attributes(4, "xmlns:p") + "/><b" + attributes(4, "xmlns:q") + "/><c xmlns='u'/>"),
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
  for (const Case& c : cases) {
    RequestScanner whole(limits);
    whole.feed(c.body.data(), c.body.size());
    EXPECT_NE(whole.refusal().find(c.refusal), std::string::npos)
        << echo(c.body, 200) << "\nrefusal: " << whole.refusal();
    if (*c.refusal == '\0') {
      EXPECT_EQ(whole.refusal(), "") << echo(c.body, 200);
    }
    RequestScanner bytewise(limits);
    for (char byte : c.body) bytewise.feed(&byte, 1);
    EXPECT_EQ(bytewise.refusal(), whole.refusal()) << echo(c.body, 200);
  }
}

}  // namespace
}  // namespace talixdb_test
