// Results as texts: numbers written byte for byte as printf writes them and
// read exactly as strtok, strtol and strtod read them; the surface report; the
// PCA modes file; the names of numbered entries. The mode update and the modal
// amplitudes: the outcome of each kind of report, the 1 % rule relative to the
// report's length, and the exact bytes of merged modes (their order and signs
// are those the decomposition leaves).
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "results/ModeUpdate.h"
#include "results/NumberFormat.h"
#include "results/NumberedNames.h"
#include "results/PcaModesFile.h"
#include "results/ReportFormat.h"
#include "results/TextScan.h"

using namespace VLT_121;
using Doubles = std::vector<double>;

namespace {

std::string printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string ourG15(double value) {
  std::string out;
  CSignedG15Writer().append(out, value);
  return out;
}

// Same bits, or both NaN with the same sign.
bool sameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string report(const std::string& body) {
  return std::string("TALIX_Report_2\0", 15) + std::string(25, 'x') + body;
}

}  // namespace

TEST(NumberFormat, WritesAsPrintfWrites) {
  for (int value : {0, 1, -1, 123456789, 1234567890, -1234567890, INT_MAX, INT_MIN}) {
    std::string out;
    appendInt10(out, value);
    EXPECT_EQ(out, printed("%10.0f", value)) << value;  // as %10d writes it
  }
  const double values[] = {0.0, -0.0, 0.1, 0.00001, 0.000099999999999999995, 999999999999999.5, 9.9999999999999947,
                           0.99999999999999994, 1000000000000005.0, 1000000000000015.0, 2.5e-5, 1.5e15, DBL_MAX,
                           std::numeric_limits<double>::denorm_min(), 2.0 / 3.0, INFINITY, -INFINITY, NAN, -NAN};
  for (double value : values) EXPECT_EQ(ourG15(value), printed("%+20.15lg", value));
  for (double power = 1e-310; power < 1e305; power *= 10.0)
    for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, 1e308)})
      ASSERT_EQ(ourG15(value), printed("%+20.15lg", value));
  // Random bits, unit-range components and decimal ties (printf rounds to even).
  std::mt19937_64 engine(2024);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    double value;
    const std::uint64_t bits = engine();
    std::memcpy(&value, &bits, sizeof value);
    for (double x : {value, unit(engine)}) ASSERT_EQ(ourG15(x), printed("%+20.15lg", x)) << bits << " " << x;
  }
  std::vector<double> exact;  // decimal ties of 16 digits, and 3 / 2^n
  for (long long base = 1000000000000000LL; base < 9000000000000000LL; base += 123456789012341LL)
    exact.push_back(static_cast<double>(base - base % 10 + 5));
  for (int exponent = 1; exponent < 60; ++exponent) exact.push_back(3 * std::ldexp(1.0, -exponent));
  for (double value : exact) ASSERT_EQ(ourG15(value), printed("%+20.15lg", value)) << value;
}

TEST(TextScan, IntegersAreWhatStrtolGives) {
  for (const char* text : {"0", "-17", "+5", "  \t12", "\v\f9", "12abc", "abc", "", "-", "+-3", "2147483648",
                           "-2147483649", "9223372036854775807", "9223372036854775808", "-99999999999999999999"}) {
    EXPECT_EQ(parseLong(text), std::strtol(text, nullptr, 10)) << '"' << text << '"';
    EXPECT_EQ(parseInt(text), static_cast<int>(std::strtol(text, nullptr, 10))) << '"' << text << '"';
  }
  EXPECT_EQ(parseInt(std::string_view("1234").substr(0, 2)), 12);
  EXPECT_EQ(parseInt(std::string_view("   5").substr(0, 3)), 0);
}

// Plain decimals on both sides of the limits of the quick paths (19 digits,
// 2^53, 10^±22), and every other form strtod accepts, alone and as tokens.
TEST(TextScan, DoublesAreWhatStrtodGives) {
  const char* const forms[] = {
      "0", "-0", "+0.6", "-1.25e-3", ".5", "5.", ".", "-.5e+2", "+-1", "-", "", "1e", "1e+", "1E5x",
      "  +0.707106781186548", "\v1.5", "00012.5", "1,5", "0x1p3", "-0X.8", "0x", "inf", "-Infinity", "nan", "-nan",
      "nan(123)", "1e400", "-1e400", "1e-400", "0e999999", "4.9406564584124654e-324", "2.2250738585072011e-308",
      "1.7976931348623159e308", "123456789012345678901234567890",
      "0.1000000000000000055511151231257827021181583404541015625", "9007199254740993", "9007199254740993e-3",
      "1234567890123456789", "12345678901234567890", "0.0000000000000000000000123", "1e22", "1e23", "3e-22",
      "3e-23", "-9.87654321098765e+21", "123.456e-20", "1.5e0005", "2E-0"};
  const CDoubleReader read;
  for (const char* form : forms)
    EXPECT_TRUE(sameDouble(read(form), std::strtod(form, nullptr))) << '"' << form << '"';
  std::mt19937_64 engine(99);
  std::uniform_real_distribution<double> component(-0.01, 0.01);
  for (int i = 0; i < 20000; ++i) {
    double value;
    const std::uint64_t bits = engine();
    std::memcpy(&value, &bits, sizeof value);
    if (i % 2 == 1) value = component(engine);
    for (const char* format : {"%.17g", "%+20.15lg", "%.3e"}) {
      const std::string text = printed(format, value);
      ASSERT_TRUE(sameDouble(read(text), std::strtod(text.c_str(), nullptr))) << text;
    }
  }
  // Token by token; a line token holds the rest of its line: the number ends at a blank.
  double value = 0.0;
  CTokenizer lines("2.5 7\n-1e-3x\n", kLineEndSeparators);
  ASSERT_TRUE(lines.nextDouble(read, value));
  EXPECT_EQ(value, 2.5);
  ASSERT_TRUE(lines.nextDouble(read, value));
  EXPECT_EQ(value, -1e-3);
  EXPECT_FALSE(lines.nextDouble(read, value));
  EXPECT_EQ(read(std::string_view("1.25e3").substr(0, 5)), 1.25);
  EXPECT_EQ(read(std::string_view("  \n3.5").substr(0, 3)), 0.0);
}

TEST(ReportFormat, HeaderAndBothValueReaders) {
  std::string noZeroByte = report("1\n1.0\n");
  noZeroByte[14] = '\n';
  std::string otherMagic = report("1\n1.0\n");
  otherMagic[13] = '3';
  struct Row {
    std::string text;
    bool magic, header, surfaceRead;
    Doubles surface;
    ReportReading analysis;
    Doubles analysed;
  };
  const auto complete = ReportReading::kComplete;
  const Row rows[] = {
      {report("3\n1.0\n2.0\n3.0\n"), true, true, true, {1, 2, 3}, complete, {1, 2, 3}},
      {report("2\n-1.25e-3\n0.5\n9\n"), true, true, true, {-1.25e-3, 0.5}, complete, {-1.25e-3, 0.5}},
      {report("2\n1.0 2.0\n"), true, true, true, {1, 2}, ReportReading::kShort, {1}},
      {report("0\n"), true, true, true, {}, complete, {}},
      {report("-2\n1\n2\n"), true, true, false, {}, ReportReading::kBadCount, {}},
      {report("4\n1\n2\n3\n"), true, true, false, {}, ReportReading::kShort, {1, 2, 3}},
      {report("2000000000\n1\n"), true, true, false, {}, ReportReading::kBadCount, {}},
      {report(std::string("2\n1.0\n\0\n2.0\n", 11)), true, true, false, {}, ReportReading::kShort, {1}},
      {noZeroByte, true, false, false, {}, complete, {1}},
      {otherMagic, false, false, false, {}, ReportReading::kNoMagic, {}},
      {report("").substr(0, 39), false, false, false, {}, ReportReading::kNoMagic, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.size() > 40 ? row.text.substr(40) : "(short)");
    EXPECT_EQ(hasReportMagic(row.text), row.magic);
    EXPECT_EQ(hasReportHeader(row.text), row.header);
    Doubles values{99.0};
    EXPECT_EQ(readSurfaceValues(row.text, values), row.surfaceRead);
    if (row.surfaceRead) {
      EXPECT_EQ(values, row.surface);
    }
    values = {99.0};
    EXPECT_EQ(readAnalysisValues(row.text, values), row.analysis);
    if (row.analysis != ReportReading::kNoMagic && row.analysis != ReportReading::kBadCount) {
      EXPECT_EQ(values, row.analysed);
    }
  }
}

// Two modes of three components; the second line's count token says 9 and is
// skipped by the token reader; CR LF and an empty line between them.
const char kTwoModes[] =
    "         2\r\n         3\t  +1.5\t\t+1\t-2\t+3e-2\r\n\r\n         9\t  +0.5\t\t+4\t+5\t-6\r\n";

TEST(PcaModesFile, WritesTheBytesOfPrintf) {
  // 23-character numbers, more than the first guess of the size holds. (The
  // bytes of small files: the mode update's worked examples.)
  const int count = 5000;
  Doubles many(2 * count);
  for (int j = 0; j < 2 * count; ++j) many[j] = j % 97 == 0 ? -std::nan("") : -1.23456789012345e-100 * (j + 1);
  const double specials[] = {INFINITY, -0.0};
  std::string expected = "         2\n";
  for (int i = 0; i < 2; ++i) {
    expected += "      5000\t" + printed("%+20.15lg", specials[i]) + "\t";
    for (int j = 0; j < count; ++j) expected += "\t" + printed("%+20.15lg", many[i * count + j]);
    expected += "\n";
  }
  EXPECT_EQ(formatPcaModes(count, 2, specials, many.data()), expected);
}

TEST(PcaModesFile, ReadsTokensOrOneModeLine) {
  CPcaModes modes;
  ASSERT_TRUE(parsePcaModes(kTwoModes, modes));
  EXPECT_EQ(modes.m_iNrComponents, 3);
  EXPECT_EQ(modes.m_vecWeights, (Doubles{1.5, 0.5}));
  EXPECT_EQ(modes.m_vecComponents, (Doubles{1, -2, 3e-2, 4, 5, -6}));
  for (const char* bad : {"         2\n         1\t+1\t\t+1\n", "", "-1\n", "1\n999999999\t+1\t\t+1\n"}) {
    EXPECT_FALSE(parsePcaModes(bad, modes)) << bad;
    EXPECT_EQ(modes.nrModes(), 0);
  }

  const std::tuple<const char*, int, int, Doubles> rows[] = {  // text, index, result, values
      {kTwoModes, 0, 2, {1, -2, 3e-2}},
      {kTwoModes, 1, 0, {}},  // its line claims 9 components but holds 3
      {"2\n\n3\t+1\t\t+1\t+2\t+3\r\n\r\n2\t+1\t\t+7\t+8\n", 1, 2, {7, 8}},
      {kTwoModes, 2, 0, {}},
      {kTwoModes, -1, 0, {}},
      {"         2\n         1\t+1\t\t+0.5\n", 1, 0, {}},
      {"         1\n         3\t+1\t\t+0.5\t+0.5\n", 0, 0, {}},
  };
  for (const auto& [text, index, result, expected] : rows) {
    Doubles values{42.0};
    EXPECT_EQ(readPcaModeValues(text, index, values), result) << index << ": " << text;
    EXPECT_EQ(values, expected) << index << ": " << text;
  }
}

TEST(NumberedNames, FolderNamesEntryNamesAndTheNextNumber) {
  for (const auto& [number, name] : {std::make_pair(7, "000000007"), std::make_pair(-1, "-00000001"),
                                     std::make_pair(1234567890, "1234567890"), std::make_pair(INT_MIN, "-2147483648")})
    EXPECT_EQ(reportFolderName(number), name);
  EXPECT_EQ(numberedEntryName(12, 4102444800LL), "000000012-4102444800");  // 2100-01-01
  for (const auto& [name, number] : {std::make_pair("-00000001-1700000000", -1), std::make_pair("1234567890-5", 123456789),
                                     std::make_pair("7", 7), std::make_pair("Instances", 0)})
    EXPECT_EQ(numberedEntryNumber(name), number) << name;
  EXPECT_EQ(chooseEntryNumber({}), 1);
  EXPECT_EQ(chooseEntryNumber({"000000005-1", "000000002-9", "000000003-1", "000000002-1"}), 4);  // first gap from 2
  EXPECT_EQ(chooseEntryNumber({"notes", "other"}), 1);
  EXPECT_EQ(chooseEntryNumber({"notes", "000000001-1"}), 2);
}

namespace {

// One mode (0.6, 0.8) of weight 2: the first mode of the report (1.2, 1.6).
const char kFirstMode[] =
    "         1\n"
    "         2\t                  +2\t\t                +0.6\t                +0.8\n";

// The merged modes of the two worked examples below.
const char kMergedDiagonal[] =
    "         2\n"
    "         2\t                  +3\t\t                  -1\t                  -0\n"
    "         2\t                  +4\t\t                  +0\t                  -1\n";
const char kMergedExample[] =
    "         2\n"
    "         2\t    +2.1663728257034\t\t  -0.508272369039078\t  -0.861196376485296\n"
    "         2\t   +0.55392127604369\t\t  +0.861196376485296\t  -0.508272369039078\n";

const auto kNone = ModeUpdateOutcome::kNotAnalysed, kRefused = ModeUpdateOutcome::kRefused,
           kUnchanged = ModeUpdateOutcome::kUnchanged, kFirst = ModeUpdateOutcome::kFirstMode,
           kMerged = ModeUpdateOutcome::kMerged;

struct Update {
  const char* name;
  std::string report;
  std::optional<std::string> modes;
  ModeUpdateOutcome outcome;
  std::optional<std::string> text;  // checked when given
};

TEST(ModeUpdate, EachKindOfReportHasItsOutcome) {
  std::string noZeroByte = report("2\n1.2\n1.6\n");
  noZeroByte[14] = '\n';
  // The same direction at 1000 and at 1/1000 of the size: off the mode's
  // line by 0.3 % of the report's length stays, by 1.5 % is merged. Without
  // the division by the length, the large ones would both merge and the small
  // ones both stay.
  const std::string large = "1\n2\t+2000\t\t+0.6\t+0.8\n";
  const std::string small = "1\n2\t+0.002\t\t+0.6\t+0.8\n";
  const Update rows[] = {
      {"first", report("2\n1.2\n1.6\n"), std::nullopt, kFirst, kFirstMode},
      {"all zero", report("2\n0\n0\n"), std::nullopt, kFirst,
       "         1\n         2\t                  +1\t\t                  +0\t                  +0\n"},
      {"magic without zero byte", noZeroByte, std::nullopt, kFirst, kFirstMode},
      {"no magic", "2\n1.2\n1.6\n", std::nullopt, kNone, ""},
      {"large within", report("2\n1200\n1610\n"), large, kUnchanged, ""},
      {"large beyond", report("2\n1200\n1650\n"), large, kMerged, std::nullopt},
      {"small within", report("2\n0.0012\n0.00161\n"), small, kUnchanged, ""},
      {"small beyond", report("2\n0.0012\n0.00165\n"), small, kMerged, std::nullopt},
      {"negative count", report("-2\n1\n2\n"), std::nullopt, kRefused, ""},
      {"two values on a line", report("2\n1 2\n"), kFirstMode, kRefused, ""},
      {"other component count", report("3\n1\n2\n3\n"), kFirstMode, kRefused, ""},
      {"unreadable modes", report("2\n1\n2\n"), "         1\n         2\t+1\t\t+1\n", kRefused, ""},
  };
  for (const Update& row : rows) {
    SCOPED_TRACE(row.name);
    const ModeUpdate update =
        updatePcaModes(row.report, row.modes ? std::optional<std::string_view>(*row.modes) : std::nullopt);
    EXPECT_EQ(update.outcome, row.outcome);
    EXPECT_EQ(update.text, row.text.value_or(update.text));
  }
  EXPECT_EQ(firstModeText({}), "         1\n         0\t                  +1\t\n");
}

// Merged modes are the decomposition's columns in its order and with its
// signs. A = [[3, 0], [0, 4]] (the mode (1, 0) of weight 3 and the report
// (0, 4)): both columns negated, the values in column order, not sorted.
// Columns (1.2, 1.6) and (0, 1): AᵀA = [[4, 1.6], [1.6, 1]], so the weights
// are sqrt((5 ± sqrt(25 - 4·1.44)) / 2), and the modes reproduce both.
TEST(ModeUpdate, MergedModesOfWorkedExamplesAreTheseBytes) {
  ModeUpdate update = updatePcaModes(report("2\n0\n4\n"), std::string_view("1\n2\t+3\t\t+1\t+0\n"));
  EXPECT_EQ(update.outcome, kMerged);
  EXPECT_EQ(update.text, kMergedDiagonal);
  update = updatePcaModes(report("2\n0\n1\n"), std::string_view(kFirstMode));
  EXPECT_EQ(update.outcome, kMerged);
  EXPECT_EQ(update.text, kMergedExample);
}

// Four components: a new direction adds a mode, a repeated one does not, and
// there are never more modes than components (the last report makes five
// columns of four).
TEST(ModeUpdate, GrowsByOneModePerMergedReport) {
  std::optional<std::string> modes;
  const std::pair<const char*, int> steps[] = {{"1\n0\n0\n0\n", 1}, {"1\n1\n0\n0\n", 2}, {"2\n2\n0\n0\n", 2},
                                               {"0\n0\n1\n0\n", 3}, {"0\n0\n0\n5\n", 4}, {"1\n2\n3\n4\n", 4}};
  for (const auto& [values, count] : steps) {
    const ModeUpdate update = updatePcaModes(report(std::string("4\n") + values),
                                             modes ? std::optional<std::string_view>(*modes) : std::nullopt);
    if (!update.text.empty()) modes = update.text;
    ASSERT_TRUE(modes);
    EXPECT_EQ(readPcaModeCount(*modes), count) << "after " << values;
  }
}

TEST(ModalAmplitudes, AreTheDotProductsWithTheModesWithoutWeights) {
  // x, modes, accepted, amplitudes
  const std::tuple<std::vector<double>, const char*, bool, std::vector<double>> rows[] = {
      {{3.0, -5.0}, "2\n2\t+50\t\t+1\t+0\n2\t+70\t\t+0\t+1\n", true, {3.0, -5.0}},
      {{1.0}, kFirstMode, false, {}},
      {{1.0, 2.0}, "1\n2\t+1\n", false, {}},
  };
  for (const auto& [x, modes, ok, expected] : rows) {
    std::vector<double> amplitudes{9.0};
    EXPECT_EQ(computeModalAmplitudes(x.data(), static_cast<int>(x.size()), modes, amplitudes), ok);
    EXPECT_EQ(amplitudes, expected) << modes;
  }
}

}  // namespace
