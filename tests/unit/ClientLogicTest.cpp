// The client layer's pure logic: decoding of property values that other
// clients of the repository stored URL-encoded (the full table for single
// values, the lighter rules for the items of list values), and how long one
// request may take.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <tuple>

#include "client/ClientContext.h"
#include "client/RepositoryObject.h"

using VLT_121::decodeListItem;
using VLT_121::decodePropertyValue;

namespace {

using Case = std::pair<const char*, const char*>;  // encoded, decoded

// Every "%XY" of hex digits, in either case, decodes to its character when
// the table holds it and to nothing otherwise; so does every other pair after
// "%" that starts with something else than 0, 2 or 3.
TEST(PropertyValueDecoding, EverySequenceDecodesByTheTableOrVanishes) {
  const std::string table = "\t\n\r !\"#$%&'()*+,-./:;<=>?";  // %09, %0A, %0D, %20 to %2F, %3A to %3F
  const std::string digits = "0123456789ABCDEFabcdefGz%+ -";
  for (unsigned char high : digits) {
    for (unsigned char low : digits) {
      const std::string pair{static_cast<char>(high), static_cast<char>(low)};
      const char named = std::isxdigit(high) && std::isxdigit(low) ? static_cast<char>(std::stoi(pair, nullptr, 16)) : 0;
      const bool decodes = named != 0 && table.find(named) != std::string::npos;
      EXPECT_EQ(decodePropertyValue("[%" + pair + "]"), decodes ? std::string("[") + named + "]" : "[]") << pair;
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
  for (const auto& [encoded, decoded] : cases) EXPECT_EQ(decodePropertyValue(encoded), decoded) << encoded;
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
  for (const auto& [encoded, decoded] : cases) EXPECT_EQ(decodeListItem(encoded), decoded) << encoded;
  for (char c : std::string("01456789ABCDEabcdef")) EXPECT_EQ(decodeListItem(std::string("<%2") + c + ">"), "<>") << c;
  for (char c : std::string("0123456789ABCEFabcef")) EXPECT_EQ(decodeListItem(std::string("<%3") + c + ">"), "<>") << c;
}

// The configured seconds plus one second per MiB moved, so that the limit
// grows with a transfer; zero means no limit.
TEST(ExchangeAllowance, GrowsBySecondPerMiBMovedAndZeroMeansNoLimit) {
  const std::uint64_t kMiB = std::uint64_t(1) << 20;
  const std::tuple<int, std::uint64_t, std::int64_t> cases[] = {  // seconds, bytes moved, microseconds
      {0, 0, 0},
      {0, 1024 * kMiB, 0},
      {600, 0, 600000000},
      {600, kMiB, 601000000},
      {2, kMiB / 2, 2500000},
      {1, 1024 * kMiB, 1025000000},  // 1 GiB: more than 17 minutes
      {1, UINT64_MAX, INT64_MAX},
  };
  for (const auto& [seconds, bytes, micros] : cases)
    EXPECT_EQ(VLT_121::exchangeAllowance(seconds, bytes), micros) << seconds << " s, " << bytes << " bytes";
}

}  // namespace
