// Decoding of property values that other clients of the repository stored
// URL-encoded: the full table for single values, the lighter rules for the
// items of list values.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

#include "client/RepositoryObject.h"

using VLT_121::decodeListItem;
using VLT_121::decodePropertyValue;

namespace {

struct Case {
  const char* encoded;
  const char* decoded;
};

// Every "%XY" of hex digits, in either case, decodes to its character when
// the table holds it and to nothing otherwise; so does every other pair after
// "%" that starts with something else than 0, 2 or 3.
TEST(PropertyValueDecoding, EverySequenceDecodesByTheTableOrVanishes) {
  const std::map<std::string, char> table = {{"09", '\t'}, {"0A", '\n'}, {"0D", '\r'}, {"20", ' '}, {"21", '!'},
                                             {"22", '"'},  {"23", '#'},  {"24", '$'},  {"25", '%'}, {"26", '&'},
                                             {"27", '\''}, {"28", '('},  {"29", ')'},  {"2A", '*'}, {"2B", '+'},
                                             {"2C", ','},  {"2D", '-'},  {"2E", '.'},  {"2F", '/'}, {"3A", ':'},
                                             {"3B", ';'},  {"3C", '<'},  {"3D", '='},  {"3E", '>'}, {"3F", '?'}};
  const std::string digits = "0123456789ABCDEFabcdefGz%+ -";
  for (char high : digits) {
    for (char low : digits) {
      const std::string pair{high, low};
      std::string upper = pair;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const auto found = table.find(upper);
      const std::string expected = found == table.end() ? "[]" : std::string("[") + found->second + "]";
      EXPECT_EQ(decodePropertyValue("[%" + pair + "]"), expected) << pair;
    }
  }
}

TEST(PropertyValueDecoding, PlusIsABlankAndASequenceTakesTwoCharacters) {
  const Case cases[] = {
      {"a+b%2Fc%3d%41", "a b/c="},        {"", ""},
      {"caf\xC3\xA9 D\xC3\xBCse", "caf\xC3\xA9 D\xC3\xBCse"}, {"+++a++b+", "   a  b "},
      {"1%2B1", "1+1"},                   {"100%252F", "100%2F"},  // decoded once only
      {"%%41", "1"},                      {"%x++b", " b"},
      {"%%%2F", "2F"},                    {"abc%", "abc"},
      {"abc%2", "abc"},                   {"%", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(decodePropertyValue(c.encoded), c.decoded) << c.encoded;
}

// List items decode only the quote, the slash (upper-case F) and the equals
// sign; other sequences after 2 or 3 vanish, and one after anything else
// takes only the "%" and its first character.
TEST(ListItemDecoding, OnlyQuoteSlashAndEqualsAreDecoded) {
  const Case cases[] = {
      {"x%2Fy%20z", "x/yz"}, {"ethyl+acetate+", "ethyl acetate "}, {"D\xC3\xBCse", "D\xC3\xBCse"},
      {"%22a%22", "\"a\""},  {"k%3Dv", "k=v"},  {"k%3dv", "k=v"},  {"a%2fb", "ab"},
      {"%23D", "="},         {"%23Ax", "x"},    {"%41", "1"},      {"%00a", "0a"},
      {"%%2F", "2F"},        {"abc%", "abc"},   {"abc%2", "abc"},  {"abc%3", "abc"},
      {"abc%23", "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeListItem(c.encoded), c.decoded) << c.encoded;
  for (char c : std::string("01456789ABCDEabcdef")) EXPECT_EQ(decodeListItem(std::string("<%2") + c + ">"), "<>") << c;
  for (char c : std::string("0123456789ABCEFabcef")) EXPECT_EQ(decodeListItem(std::string("<%3") + c + ">"), "<>") << c;
}

}  // namespace
