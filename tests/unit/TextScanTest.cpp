// Splitting and number reading of the results text formats: they must read
// exactly what strtok, atoi, atol and atof read, and never past a token.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "results/TextScan.h"

using namespace VLT_121;

namespace {

std::vector<std::string> tokensOf(std::string_view text, std::string_view separators) {
  CTokenizer tokenizer(text, separators);
  std::vector<std::string> tokens;
  std::string_view token;
  while (tokenizer.next(token)) tokens.emplace_back(token);
  return tokens;
}

// Same bits, or both NaN with the same sign.
bool sameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

TEST(Tokenizer, TreatsARunOfSeparatorsAsOne) {
  EXPECT_EQ(tokensOf("3\n\n\r1.0\r\n2.0", kLineEndSeparators), (std::vector<std::string>{"3", "1.0", "2.0"}));
}

TEST(Tokenizer, SkipsLeadingAndTrailingSeparators) {
  EXPECT_EQ(tokensOf("\r\n  7 \t", kWhitespaceSeparators), (std::vector<std::string>{"7"}));
}

TEST(Tokenizer, GivesNoTokenForEmptyOrSeparatorOnlyText) {
  EXPECT_TRUE(tokensOf("", kWhitespaceSeparators).empty());
  EXPECT_TRUE(tokensOf("\n\r\n", kLineEndSeparators).empty());
}

TEST(Tokenizer, LineEndSetKeepsBlanksAndTabsInsideTokens) {
  EXPECT_EQ(tokensOf("1.0 2.0\r\n\t3", kLineEndSeparators), (std::vector<std::string>{"1.0 2.0", "\t3"}));
  EXPECT_EQ(tokensOf("1.0 2.0\r\n\t3", kWhitespaceSeparators), (std::vector<std::string>{"1.0", "2.0", "3"}));
}

TEST(Tokenizer, EndsTextAtItsFirstZeroByteOnlyWhenAskedTo) {
  const std::string text("1\n2\0\n3", 6);
  EXPECT_EQ(tokensOf(untilZeroByte(text), kLineEndSeparators), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(untilZeroByte("abc"), "abc");
}

TEST(IntegerReading, ReadsAsStrtolDoes) {
  for (const char* text : {"0", "42", "-17", "+5", "  \t12", "\v\f9", "12abc", "abc", "", "-", "+-3", "007",
                           "2147483647", "2147483648", "-2147483649", "9223372036854775807",
                           "9223372036854775808", "-9223372036854775808", "-99999999999999999999", "1e5"}) {
    EXPECT_EQ(parseLong(text), std::strtol(text, nullptr, 10)) << '"' << text << '"';
    EXPECT_EQ(parseInt(text), static_cast<int>(std::strtol(text, nullptr, 10))) << '"' << text << '"';
  }
}

TEST(IntegerReading, StopsAtTheEndOfTheView) {
  const std::string_view text = "1234";
  EXPECT_EQ(parseInt(text.substr(0, 2)), 12);
  const std::string_view blanks = "   5";
  EXPECT_EQ(parseInt(blanks.substr(0, 3)), 0);
}

namespace {

// Forms strtod reads: plain decimals on both sides of the limits of the
// quick paths (19 digits, 2^53, 10^±22), and everything else it accepts.
const char* const kDoubleTexts[] = {
    "0", "-0", "+0.6", "0.8", "1.2", "-1.25e-3", ".5", "5.", ".", "-.5e+2", "+-1", "-", "", "1e", "1e+", "1E5x",
    "  +0.707106781186548", "\v1.5", "00012.5", "1,5", "0x1p3", "-0X.8", "0x", "inf", "-Infinity", "nan", "-nan",
    "nan(123)", "1e400", "-1e400", "1e-400", "0e999999", "4.9406564584124654e-324", "2.2250738585072011e-308",
    "1.7976931348623157e308", "1.7976931348623159e308", "123456789012345678901234567890",
    "0.1000000000000000055511151231257827021181583404541015625", "9007199254740992", "9007199254740993",
    "9007199254740993e-3", "1234567890123456789", "12345678901234567890", "0.0000000000000000000000123",
    "1e22", "1e23", "3e-22", "3e-23", "+1.23456789012345e-05", "-9.87654321098765e+21", "123.456e-20",
    "0.000000000000000000001", "1.5e0005", "2E-0"};

}  // namespace

TEST(DoubleReading, ReadsEveryFormAsStrtodDoes) {
  const CDoubleReader read;
  for (const char* text : kDoubleTexts) EXPECT_TRUE(sameDouble(read(text), std::strtod(text, nullptr))) << '"' << text << '"';
}

TEST(DoubleReading, ReadsTokensAsStrtodReadsEachToken) {
  // Each form as a whitespace-separated token, and glued to the next one
  // only by separators that are not whitespace.
  std::string text;
  std::vector<std::string> tokens;
  for (const char* form : kDoubleTexts) {
    for (const std::string& token : tokensOf(form, kWhitespaceSeparators)) {
      text += token + (tokens.size() % 2 == 0 ? "\t" : " \r\n");
      tokens.push_back(token);
    }
  }
  const CDoubleReader read;
  CTokenizer tokenizer(text, kWhitespaceSeparators);
  double value = 0.0;
  for (const std::string& token : tokens) {
    ASSERT_TRUE(tokenizer.nextDouble(read, value));
    EXPECT_TRUE(sameDouble(value, std::strtod(token.c_str(), nullptr))) << '"' << token << '"';
  }
  EXPECT_FALSE(tokenizer.nextDouble(read, value));
  // A line token holds the rest of its line: the number ends at a blank.
  CTokenizer lines("2.5 7\n-1e-3x\n", kLineEndSeparators);
  ASSERT_TRUE(lines.nextDouble(read, value));
  EXPECT_EQ(value, 2.5);
  ASSERT_TRUE(lines.nextDouble(read, value));
  EXPECT_EQ(value, -1e-3);
  EXPECT_FALSE(lines.nextDouble(read, value));
}

TEST(DoubleReading, ReadsPrintedRandomDoublesBackToTheSameBits) {
  // Each printed value alone, and all of them as one text read token by token.
  const CDoubleReader read;
  std::mt19937_64 engine(99);
  std::uniform_real_distribution<double> component(-0.01, 0.01);
  char text[64];
  std::string joined;
  std::vector<double> expected;
  for (int i = 0; i < 20000; ++i) {
    double value;
    const std::uint64_t bits = engine();
    std::memcpy(&value, &bits, sizeof value);
    if (i % 2 == 1) value = component(engine);
    for (const char* format : {"%.17g", "%+20.15lg", "%.3e"}) {
      std::snprintf(text, sizeof text, format, value);
      ASSERT_TRUE(sameDouble(read(text), std::strtod(text, nullptr))) << text;
      joined += text;
      joined += i % 3 == 0 ? "\n" : "\t";
      expected.push_back(std::strtod(text, nullptr));
    }
  }
  CTokenizer tokens(joined, kWhitespaceSeparators);
  double value = 0.0;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    ASSERT_TRUE(tokens.nextDouble(read, value));
    ASSERT_TRUE(sameDouble(value, expected[k])) << k;
  }
}

TEST(DoubleReading, StopsAtTheEndOfTheView) {
  const CDoubleReader read;
  const std::string_view text = "1.25e3";
  EXPECT_EQ(read(text.substr(0, 3)), 1.2);
  EXPECT_EQ(read(text.substr(0, 5)), 1.25);
  const std::string_view blanks = "  \n3.5";
  EXPECT_EQ(read(blanks.substr(0, 3)), 0.0);
}
