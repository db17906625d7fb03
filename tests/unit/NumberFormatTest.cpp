// The numbers of the PCA modes file must come out byte for byte as printf's
// "%10d" and "%+20.15lg" write them.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "results/NumberFormat.h"

using namespace VLT_121;

namespace {

std::string printfG15(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%+20.15lg", value);
  return text;
}

std::string ourG15(double value) {
  std::string out;
  CSignedG15Writer().append(out, value);
  return out;
}

std::string printfInt10(int value) {
  char text[32];
  std::snprintf(text, sizeof text, "%10d", value);
  return text;
}

}  // namespace

TEST(Int10, MatchesPrintf) {
  for (int value : {0, 1, -1, 7, 123456789, 999999999, 1234567890, -123456789, -1234567890, INT_MAX, INT_MIN}) {
    std::string out;
    appendInt10(out, value);
    EXPECT_EQ(out, printfInt10(value)) << value;
  }
}

TEST(SignedG15, WritesTheDocumentedExample) {
  EXPECT_EQ(ourG15(0.7071067811865476), "  +0.707106781186548");
  EXPECT_EQ(ourG15(2.0), "                  +2");
  EXPECT_EQ(ourG15(0.6), "                +0.6");
}

TEST(SignedG15, MatchesPrintfOnSpecialAndBoundaryValues) {
  const double values[] = {0.0, -0.0, 1.0, -1.0, 0.1, 0.0001, 0.00001, 0.000099999999999999995,
                           1e14, 1e15, 999999999999999.0, 999999999999999.5, 9999999999999999.0,
                           9.999999999999995, 9.9999999999999947, 0.99999999999999994, 123456789012345.6,
                           1000000000000005.0, 1000000000000015.0, 1000000000000025.0, 2.5e-5, 1.5e15,
                           0.000030517578125, 1e100, 1e-100, 1e300, 1e-300, DBL_MAX, -DBL_MAX, DBL_MIN,
                           std::numeric_limits<double>::denorm_min(), 4.9406564584124654e-320, 2.0 / 3.0,
                           -1.0 / 3.0, 3.141592653589793e10, std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN()};
  for (double value : values) EXPECT_EQ(ourG15(value), printfG15(value)) << printfG15(value);
  for (double power = 1e-310; power < 1e305; power *= 10.0) {
    for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, 1e308)})
      ASSERT_EQ(ourG15(value), printfG15(value)) << printfG15(value);
  }
}

TEST(SignedG15, MatchesPrintfOnRandomBitPatternsAndUnitRangeValues) {
  std::mt19937_64 engine(2024);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    double value;
    const std::uint64_t bits = engine();
    std::memcpy(&value, &bits, sizeof value);
    ASSERT_EQ(ourG15(value), printfG15(value)) << bits;
    const double component = unit(engine);
    ASSERT_EQ(ourG15(component), printfG15(component)) << component;
  }
}

TEST(SignedG15, MatchesPrintfOnDecimalTies) {
  // Integers of 16 significant digits ending in 5 sit exactly halfway between
  // two 15-digit results; printf rounds them to even.
  for (long long base = 1000000000000000LL; base < 9000000000000000LL; base += 123456789012341LL) {
    const double tie = static_cast<double>(base - base % 10 + 5);
    ASSERT_EQ(ourG15(tie), printfG15(tie)) << base;
  }
  for (int exponent = 1; exponent < 60; ++exponent) {
    const double half = std::ldexp(1.0, -exponent);
    ASSERT_EQ(ourG15(half), printfG15(half));
    ASSERT_EQ(ourG15(3 * half), printfG15(3 * half));
  }
}
