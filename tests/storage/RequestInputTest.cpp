// What the server takes from a client's bytes: the name rule and the short
// echo of client text.
#include <gtest/gtest.h>

#include <string>

#include "ClientText.h"
#include "NameRules.h"

namespace talixdb_test {
namespace {

using namespace talixdb::server;

TEST(NameRules, AcceptedAndRefusedNames) {
  struct Case {
    std::string name;
    const char* problem;  // "" when accepted
  };
  const Case cases[] = {
      {"Equipment", ""},
      {"Centrifugal Pump 2", ""},
      {"caf\xc3\xa9", ""},
      {"D\xc3\xbcse 1", ""},
      {"000000042-Run", ""},
      {"  spaced  ", ""},
      {"...", ""},
      {"\xf0\x9d\x84\x9e", ""},                  // U+1D11E, four bytes
      {"\xc2\xa0", ""},                          // U+00A0, the first after the C1 controls
      {std::string(255, 'n'), ""},
      {"", "empty"},
      {".", "name no object"},
      {"..", "name no object"},
      {"a/b", "\"/\""},
      {std::string("a\0b", 3), "U+0000"},
      {"a\x01" "b", "U+0001"},
      {"tab\t", "U+0009"},
      {"del\x7f", "U+007F"},
      {"c1\xc2\x85", "U+0085"},
      {"\xff", "not valid UTF-8"},
      {"\xc3(", "not valid UTF-8"},
      {"\xc0\xaf", "not valid UTF-8"},           // overlong "/"
      {"\xe0\x80\xaf", "not valid UTF-8"},       // overlong "/"
      {"\xed\xa0\x80", "not valid UTF-8"},       // surrogate U+D800
      {"\xf4\x90\x80\x80", "not valid UTF-8"},   // past U+10FFFF
      {"caf\xc3", "not valid UTF-8"},            // cut short
      {std::string(256, 'n'), "longer than 255 bytes"},
  };
  for (const Case& c : cases) {
    std::string problem = nameProblem(c.name);
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "") << echo(c.name);
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << echo(c.name) << ": " << problem;
    }
  }
}

TEST(ClientText, EchoIsShortPrintableAndCutBetweenCharacters) {
  EXPECT_EQ(echo("plain"), "plain");
  EXPECT_EQ(echo("a\x01" "b\x7f\xc2\x85\xff"), "a\\x01b\\x7F\\xC2\\x85\\xFF");
  EXPECT_EQ(echo(std::string(1000, 'x')), std::string(64, 'x') + "\xE2\x80\xA6");
  // 63 bytes and a two-byte character: the character does not fit.
  EXPECT_EQ(echo(std::string(63, 'x') + "\xc3\xa9"), std::string(63, 'x') + "\xE2\x80\xA6");
  EXPECT_EQ(echoPath("/" + std::string(500, 'p')).size(), kEchoPathBytes + 3);
}

}  // namespace
}  // namespace talixdb_test
