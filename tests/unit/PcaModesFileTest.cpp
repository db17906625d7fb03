// The PCA modes file: its exact bytes, and its token and line readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "results/PcaModesFile.h"

using namespace VLT_121;

namespace {

const char kOneMode[] =
    "         1\n"
    "         2\t                  +2\t\t                +0.6\t                +0.8\n";

// Two modes of three components; the second line's count token says 9 and is
// skipped by the token reader; CR LF and an empty line between them.
const char kTwoModes[] =
    "         2\r\n"
    "         3\t  +1.5\t\t+1\t-2\t+3e-2\r\n\r\n"
    "         9\t  +0.5\t\t+4\t+5\t-6\r\n";

}  // namespace

TEST(PcaModesText, OneModeComesOutByteForByte) {
  const double weight = 2.0;
  const double components[] = {0.6, 0.8};
  EXPECT_EQ(formatPcaModes(2, 1, &weight, components), kOneMode);
}

TEST(PcaModesText, WritesEveryModeOnItsOwnLine) {
  const double weights[] = {3.0, 0.25};
  const double components[] = {1.0, -0.5, 1e-20, 0.0};
  EXPECT_EQ(formatPcaModes(2, 2, weights, components),
            "         2\n"
            "         2\t                  +3\t\t                  +1\t                -0.5\n"
            "         2\t               +0.25\t\t              +1e-20\t                  +0\n");
}

TEST(PcaModesText, MatchesPrintfWhenNumbersOutgrowTheirColumns) {
  // 23-character numbers, more of them than the first guess of the text's
  // size holds, between special values that printf writes itself.
  const int count = 5000;
  std::vector<double> components(2 * count);
  for (int j = 0; j < 2 * count; ++j) components[j] = j % 97 == 0 ? -std::nan("") : -1.23456789012345e-100 * (j + 1);
  const double weights[] = {std::numeric_limits<double>::infinity(), -0.0};
  std::string expected;
  char number[64];
  std::snprintf(number, sizeof number, "%10d\n", 2);
  expected += number;
  for (int i = 0; i < 2; ++i) {
    std::snprintf(number, sizeof number, "%10d\t%+20.15lg\t", count, weights[i]);
    expected += number;
    for (int j = 0; j < count; ++j) {
      std::snprintf(number, sizeof number, "\t%+20.15lg", components[i * count + j]);
      expected += number;
    }
    expected += "\n";
  }
  EXPECT_EQ(formatPcaModes(count, 2, weights, components.data()), expected);
}

TEST(PcaModesParse, ReadsWhatWasWritten) {
  CPcaModes modes;
  ASSERT_TRUE(parsePcaModes(kOneMode, modes));
  EXPECT_EQ(modes.nrModes(), 1);
  EXPECT_EQ(modes.m_iNrComponents, 2);
  EXPECT_EQ(modes.m_vecWeights, (std::vector<double>{2.0}));
  EXPECT_EQ(modes.m_vecComponents, (std::vector<double>{0.6, 0.8}));
}

TEST(PcaModesParse, TakesTheComponentCountFromTheFirstMode) {
  CPcaModes modes;
  ASSERT_TRUE(parsePcaModes(kTwoModes, modes));
  EXPECT_EQ(modes.nrModes(), 2);
  EXPECT_EQ(modes.m_iNrComponents, 3);
  EXPECT_EQ(modes.m_vecWeights, (std::vector<double>{1.5, 0.5}));
  EXPECT_EQ(modes.m_vecComponents, (std::vector<double>{1, -2, 3e-2, 4, 5, -6}));
}

TEST(PcaModesParse, RefusesAFileThatEndsTooEarly) {
  CPcaModes modes;
  EXPECT_FALSE(parsePcaModes("         2\n         1\t+1\t\t+1\n", modes));
  EXPECT_EQ(modes.nrModes(), 0);
  EXPECT_FALSE(parsePcaModes("", modes));
  EXPECT_FALSE(parsePcaModes("-1\n", modes));
  EXPECT_FALSE(parsePcaModes("1\n999999999\t+1\t\t+1\n", modes));
}

TEST(PcaModeCount, ReadsTheFirstInteger) {
  EXPECT_EQ(readPcaModeCount(kTwoModes), 2);
  EXPECT_EQ(readPcaModeCount(""), 0);
}

TEST(PcaModeValues, GivesTheComponentsOfOneModeWithoutItsWeight) {
  std::vector<double> values;
  EXPECT_EQ(readPcaModeValues(kOneMode, 0, values), 1);
  EXPECT_EQ(values, (std::vector<double>{0.6, 0.8}));
  EXPECT_EQ(readPcaModeValues(kTwoModes, 0, values), 2);
  EXPECT_EQ(values, (std::vector<double>{1, -2, 3e-2}));
}

TEST(PcaModeValues, TakesTheCountFromTheModesOwnLineAndSkipsEmptyLines) {
  const char text[] = "2\n\n3\t+1\t\t+1\t+2\t+3\r\n\r\n2\t+1\t\t+7\t+8\n";
  std::vector<double> values;
  EXPECT_EQ(readPcaModeValues(text, 1, values), 2);
  EXPECT_EQ(values, (std::vector<double>{7, 8}));
  // kTwoModes' second line claims 9 components but holds 3.
  EXPECT_EQ(readPcaModeValues(kTwoModes, 1, values), 0);
}

TEST(PcaModeValues, RefusesAnIndexOutsideTheModes) {
  std::vector<double> values{1.0};
  EXPECT_EQ(readPcaModeValues(kOneMode, 1, values), 0);
  EXPECT_TRUE(values.empty());
  EXPECT_EQ(readPcaModeValues(kOneMode, -1, values), 0);
}

TEST(PcaModeValues, RefusesAMissingLineOrToken) {
  std::vector<double> values;
  EXPECT_EQ(readPcaModeValues("         2\n         1\t+1\t\t+0.5\n", 1, values), 0);
  EXPECT_EQ(readPcaModeValues("         1\n         3\t+1\t\t+0.5\t+0.5\n", 0, values), 0);
  EXPECT_TRUE(values.empty());
}
