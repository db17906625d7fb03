// The mode update and the modal amplitudes: the outcome of each kind of
// report, the 1 % rule relative to the report's length, and the exact bytes
// of merged modes (their order and signs are those the decomposition leaves).
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "results/ModeUpdate.h"

using namespace VLT_121;

namespace {

std::string report(const std::string& body) {
  return std::string("TALIX_Report_2\0", 15) + std::string(25, ' ') + body;
}

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
  CPcaModes modes;
  ASSERT_TRUE(parsePcaModes(update.text, modes));
  const double root = std::sqrt(25.0 - 4.0 * 1.44);
  EXPECT_NEAR(modes.m_vecWeights[0], std::sqrt((5.0 + root) / 2.0), 1e-14);
  EXPECT_NEAR(modes.m_vecWeights[1], std::sqrt((5.0 - root) / 2.0), 1e-14);
  EXPECT_LT(relativeReconstructionError(modes, std::vector<double>{1.2, 1.6}.data()), 1e-14);
  EXPECT_LT(relativeReconstructionError(modes, std::vector<double>{0.0, 1.0}.data()), 1e-14);
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
