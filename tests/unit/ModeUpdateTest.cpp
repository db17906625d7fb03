// The mode update and the modal amplitudes, on the documented examples and on
// the reports they must refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "results/ModeUpdate.h"
#include "results/PcaModesFile.h"

using namespace VLT_121;

namespace {

std::string report(const std::string& body) {
  return std::string("TALIX_Report_2") + std::string(1, '\0') + std::string(25, ' ') + body;
}

std::string reportOf(const std::vector<double>& values) {
  std::string body = std::to_string(values.size()) + "\n";
  char number[64];
  for (double value : values) {
    std::snprintf(number, sizeof number, "%.17g\n", value);
    body += number;
  }
  return report(body);
}

const char kFirstModeText[] =
    "         1\n"
    "         2\t                  +2\t\t                +0.6\t                +0.8\n";

CPcaModes parsed(const std::string& text) {
  CPcaModes modes;
  EXPECT_TRUE(parsePcaModes(text, modes));
  return modes;
}

}  // namespace

TEST(FirstMode, FirstReportBecomesTheUnitModeWithItsLengthAsWeight) {
  const ModeUpdate update = updatePcaModes(report("2\n1.2\n1.6\n"), std::nullopt);
  EXPECT_EQ(update.outcome, ModeUpdateOutcome::kFirstMode);
  EXPECT_EQ(update.text, kFirstModeText);
}

TEST(FirstMode, AllZeroReportGivesWeightOneAndZeroComponents) {
  const ModeUpdate update = updatePcaModes(report("2\n0\n0\n"), std::nullopt);
  EXPECT_EQ(update.outcome, ModeUpdateOutcome::kFirstMode);
  EXPECT_EQ(update.text,
            "         1\n"
            "         2\t                  +1\t\t                  +0\t                  +0\n");
}

TEST(FirstMode, EmptyReportGivesAModeWithoutComponents) {
  EXPECT_EQ(firstModeText({}), "         1\n         0\t                  +1\t\n");
}

TEST(ModeUpdate, ReportTwiceTheFirstIsReproducedAndChangesNothing) {
  const std::string x = report("2\n2.4\n3.2\n");
  EXPECT_EQ(relativeReconstructionError(parsed(kFirstModeText), std::vector<double>{2.4, 3.2}.data()), 0.0);
  const ModeUpdate update = updatePcaModes(x, std::string_view(kFirstModeText));
  EXPECT_EQ(update.outcome, ModeUpdateOutcome::kUnchanged);
  EXPECT_TRUE(update.text.empty());
}

TEST(ModeUpdate, ReportWithinOnePercentChangesNothing) {
  // Off the mode's line by about 0.3 %.
  const ModeUpdate update = updatePcaModes(report("2\n1.2\n1.61\n"), std::string_view(kFirstModeText));
  EXPECT_EQ(update.outcome, ModeUpdateOutcome::kUnchanged);
}

TEST(ModeUpdate, ReportBeyondOnePercentIsMerged) {
  // Off the mode's line by about 1.5 %.
  const ModeUpdate update = updatePcaModes(report("2\n1.2\n1.65\n"), std::string_view(kFirstModeText));
  EXPECT_EQ(update.outcome, ModeUpdateOutcome::kMerged);
  EXPECT_EQ(parsed(update.text).nrModes(), 2);
}

TEST(ModeUpdate, MergeWeightsAreTheSingularValuesOfModesAndReport) {
  const ModeUpdate update = updatePcaModes(report("2\n0\n1\n"), std::string_view(kFirstModeText));
  ASSERT_EQ(update.outcome, ModeUpdateOutcome::kMerged);
  const CPcaModes modes = parsed(update.text);
  ASSERT_EQ(modes.nrModes(), 2);
  ASSERT_EQ(modes.m_iNrComponents, 2);
  // Columns (1.2, 1.6) and (0, 1): AᵀA = [[4, 1.6], [1.6, 1]].
  const double root = std::sqrt(25.0 - 4.0 * 1.44);
  std::vector<double> expected{std::sqrt((5.0 + root) / 2.0), std::sqrt((5.0 - root) / 2.0)};
  std::vector<double> weights = modes.m_vecWeights;
  std::sort(weights.rbegin(), weights.rend());
  EXPECT_NEAR(weights[0], expected[0], 1e-14);
  EXPECT_NEAR(weights[1], expected[1], 1e-14);
  // The new modes are orthonormal and reproduce both reports.
  const double* u0 = modes.mode(0);
  const double* u1 = modes.mode(1);
  EXPECT_NEAR(u0[0] * u0[0] + u0[1] * u0[1], 1.0, 1e-14);
  EXPECT_NEAR(u0[0] * u1[0] + u0[1] * u1[1], 0.0, 1e-14);
  EXPECT_LT(relativeReconstructionError(modes, std::vector<double>{1.2, 1.6}.data()), 1e-14);
  EXPECT_LT(relativeReconstructionError(modes, std::vector<double>{0.0, 1.0}.data()), 1e-14);
}

TEST(ModeUpdate, MergeOfMoreModesThanComponentsStillDecomposes) {
  // Two hand-made modes of one component: the matrix is 1 × 3.
  CPcaModes modes = parsed("2\n1\t+3\t\t+1\n1\t+4\t\t+1\n");
  const CPcaModes merged = parsed(mergeIntoModes(modes, {12.0}));
  ASSERT_EQ(merged.nrModes(), 3);
  std::vector<double> weights = merged.m_vecWeights;
  std::sort(weights.rbegin(), weights.rend());
  EXPECT_NEAR(weights[0], 13.0, 1e-13);  // |(3, 4, 12)|
  EXPECT_NEAR(weights[1], 0.0, 1e-13);
  EXPECT_NEAR(weights[2], 0.0, 1e-13);
}

TEST(ModeUpdate, StartsFromAFirstModeThenGrowsByOneModePerMergedReport) {
  std::optional<std::string> modes;
  const std::vector<std::vector<double>> reports{
      {1, 0, 0, 0}, {1, 1, 0, 0}, {2, 2, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 5}, {1, 2, 3, 4}};
  const std::vector<int> expectedModes{1, 2, 2, 3, 4, 4};
  for (std::size_t r = 0; r < reports.size(); ++r) {
    const ModeUpdate update =
        updatePcaModes(reportOf(reports[r]), modes ? std::optional<std::string_view>(*modes) : std::nullopt);
    if (!update.text.empty()) modes = update.text;
    ASSERT_TRUE(modes);
    EXPECT_EQ(readPcaModeCount(*modes), expectedModes[r]) << "after report " << r;
  }
}

TEST(ModeUpdateRefusal, ReportWithoutMagicIsNotAnalysed) {
  EXPECT_EQ(updatePcaModes("2\n1.2\n1.6\n", std::nullopt).outcome, ModeUpdateOutcome::kNotAnalysed);
}

TEST(ModeUpdateRefusal, MagicWithoutZeroByteIsStillAnalysed) {
  std::string text = report("2\n1.2\n1.6\n");
  text[14] = '\n';
  EXPECT_EQ(updatePcaModes(text, std::nullopt).outcome, ModeUpdateOutcome::kFirstMode);
}

TEST(ModeUpdateRefusal, NegativeOrImpossibleCountOrShortBodyLeavesModesAlone) {
  for (const char* body : {"-2\n1\n2\n", "90\n1\n2\n", "3\n1\n2\n", "2\n1 2\n"}) {
    EXPECT_EQ(updatePcaModes(report(body), std::nullopt).outcome, ModeUpdateOutcome::kRefused) << body;
    EXPECT_EQ(updatePcaModes(report(body), std::string_view(kFirstModeText)).outcome, ModeUpdateOutcome::kRefused)
        << body;
  }
}

TEST(ModeUpdateRefusal, CountOtherThanTheModesComponentCountLeavesModesAlone) {
  EXPECT_EQ(updatePcaModes(report("3\n1\n2\n3\n"), std::string_view(kFirstModeText)).outcome,
            ModeUpdateOutcome::kRefused);
}

TEST(ModeUpdateRefusal, UnreadableModesFileIsLeftAlone) {
  EXPECT_EQ(updatePcaModes(report("2\n1\n2\n"), std::string_view("         1\n         2\t+1\t\t+1\n")).outcome,
            ModeUpdateOutcome::kRefused);
}

TEST(ModalAmplitudes, AreTheDotProductsWithTheModes) {
  std::vector<double> amplitudes;
  const std::vector<double> x{2.4, 3.2};
  ASSERT_TRUE(computeModalAmplitudes(x.data(), 2, kFirstModeText, amplitudes));
  ASSERT_EQ(amplitudes.size(), 1u);
  EXPECT_NEAR(amplitudes[0], 4.0, 1e-15);
}

TEST(ModalAmplitudes, WeightsTakeNoPart) {
  const std::string modes = "2\n2\t+50\t\t+1\t+0\n2\t+70\t\t+0\t+1\n";
  std::vector<double> amplitudes;
  const std::vector<double> x{3.0, -5.0};
  ASSERT_TRUE(computeModalAmplitudes(x.data(), 2, modes, amplitudes));
  EXPECT_EQ(amplitudes, (std::vector<double>{3.0, -5.0}));
}

TEST(ModalAmplitudes, RefuseAValueCountOtherThanTheModes) {
  std::vector<double> amplitudes{1.0};
  const std::vector<double> x{1.0, 2.0, 3.0};
  EXPECT_FALSE(computeModalAmplitudes(x.data(), 3, kFirstModeText, amplitudes));
  EXPECT_TRUE(amplitudes.empty());
  EXPECT_FALSE(computeModalAmplitudes(x.data(), 1, kFirstModeText, amplitudes));
}

TEST(ModalAmplitudes, RefuseAnUnreadableModesFile) {
  std::vector<double> amplitudes;
  const std::vector<double> x{1.0, 2.0};
  EXPECT_FALSE(computeModalAmplitudes(x.data(), 2, "1\n2\t+1\n", amplitudes));
}
