// The surface report: its header checks and its two value readers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/ReportFormat.h"

using namespace VLT_121;

namespace {

// The 14 magic bytes, a zero byte, 25 bytes of padding, then the body.
std::string report(const std::string& body) {
  return std::string("TALIX_Report_2") + std::string(1, '\0') + std::string(25, 'x') + body;
}

}  // namespace

TEST(ReportHeader, AcceptsMagicZeroByteAndFortyBytes) {
  EXPECT_TRUE(hasReportMagic(report("")));
  EXPECT_TRUE(hasReportHeader(report("")));
}

TEST(ReportHeader, RefusesAReportShorterThanFortyBytes) {
  const std::string shortReport = report("").substr(0, 39);
  EXPECT_FALSE(hasReportMagic(shortReport));
  EXPECT_FALSE(hasReportHeader(shortReport));
}

TEST(ReportHeader, ByteFourteenNotZeroPassesOnlyTheMagicCheck) {
  std::string text = report("1\n1.0\n");
  text[14] = '\n';
  EXPECT_TRUE(hasReportMagic(text));
  EXPECT_FALSE(hasReportHeader(text));
  std::vector<double> values;
  EXPECT_FALSE(readSurfaceValues(text, values));
  EXPECT_EQ(readAnalysisValues(text, values), ReportReading::kComplete);
}

TEST(ReportHeader, RefusesAnotherMagic) {
  std::string text = report("1\n1.0\n");
  text[13] = '3';
  EXPECT_FALSE(hasReportMagic(text));
  std::vector<double> values;
  EXPECT_EQ(readAnalysisValues(text, values), ReportReading::kNoMagic);
}

TEST(SurfaceValues, ReadsCountAndValuesWithLfOrCrLf) {
  std::vector<double> values;
  ASSERT_TRUE(readSurfaceValues(report("3\n1.0\n2.0\n3.0\n"), values));
  EXPECT_EQ(values, (std::vector<double>{1.0, 2.0, 3.0}));
  ASSERT_TRUE(readSurfaceValues(report("3\r\n1.0\r\n2.0\r\n3.0\r\n"), values));
  EXPECT_EQ(values, (std::vector<double>{1.0, 2.0, 3.0}));
}

TEST(SurfaceValues, IgnoresTokensAfterTheLastValue) {
  std::vector<double> values;
  ASSERT_TRUE(readSurfaceValues(report("2\n-1.25e-3\n0.5\n9\n9\n"), values));
  EXPECT_EQ(values, (std::vector<double>{-1.25e-3, 0.5}));
}

TEST(SurfaceValues, CountZeroOrEmptyBodyGivesNoValues) {
  std::vector<double> values{4.0};
  EXPECT_TRUE(readSurfaceValues(report("0\n"), values));
  EXPECT_TRUE(values.empty());
  EXPECT_TRUE(readSurfaceValues(report(""), values));
  EXPECT_TRUE(values.empty());
}

TEST(SurfaceValues, RefusesABodyWithFewerValuesThanItsCount) {
  std::vector<double> values;
  EXPECT_FALSE(readSurfaceValues(report("5\n1\n2\n3\n4\n"), values));
  EXPECT_TRUE(values.empty());
}

TEST(SurfaceValues, RefusesNegativeAndImpossibleCounts) {
  std::vector<double> values;
  EXPECT_FALSE(readSurfaceValues(report("-2\n1\n2\n"), values));
  EXPECT_FALSE(readSurfaceValues(report("4\n1\n2\n3\n"), values));
  EXPECT_FALSE(readSurfaceValues(report("999999999999\n1\n"), values));
}

TEST(SurfaceValues, BodyEndsAtItsFirstZeroByte) {
  std::vector<double> values;
  EXPECT_FALSE(readSurfaceValues(report(std::string("2\n1.0\n\0\n2.0\n", 11)), values));
}

TEST(TwoNumbersOnOneLine, ValueReaderSeesTwoAndAnalysisSeesOne) {
  const std::string text = report("2\n1.0 2.0\n");
  std::vector<double> values;
  ASSERT_TRUE(readSurfaceValues(text, values));
  EXPECT_EQ(values, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(readAnalysisValues(text, values), ReportReading::kShort);
  EXPECT_EQ(values, (std::vector<double>{1.0}));
}

TEST(AnalysisValues, ReadsAConformingReport) {
  std::vector<double> values;
  ASSERT_EQ(readAnalysisValues(report("2\r\n1.2\r\n1.6\r\n"), values), ReportReading::kComplete);
  EXPECT_EQ(values, (std::vector<double>{1.2, 1.6}));
}

TEST(AnalysisValues, RefusesNegativeAndImpossibleCounts) {
  std::vector<double> values;
  EXPECT_EQ(readAnalysisValues(report("-1\n"), values), ReportReading::kBadCount);
  EXPECT_EQ(readAnalysisValues(report("2000000000\n1\n"), values), ReportReading::kBadCount);
}
