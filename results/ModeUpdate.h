// The arithmetic of a surface's PCA modes: the mode update that each stored
// surface report runs, and the modal amplitudes of a report. Everything here
// works on texts already downloaded; the caller stores what comes out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/PcaModesFile.h"

namespace VLT_121 {

// A report whose reconstruction from the modes is off by more than this
// (relative to its length) is merged into the modes.
inline constexpr double kModeTolerance = 0.01;

enum class ModeUpdateOutcome {
  kNotAnalysed,  // not a report (no magic): nothing to do
  kRefused,      // count negative, larger than the body, short, or not the modes' N; modes unchanged
  kUnchanged,    // the modes reproduce the report within the tolerance
  kFirstMode,    // there were no modes: the text holds the first one
  kMerged,       // the text holds the modes with the report merged in
};

struct ModeUpdate {
  ModeUpdateOutcome outcome = ModeUpdateOutcome::kNotAnalysed;
  std::string text;  // the modes file to store, for kFirstMode and kMerged
};

// Runs the mode update for the report bytes `report` against the current
// modes file `currentModes` (none when the surface has no modes yet). The
// values are read as readAnalysisValues reads them. Without modes the first
// mode is made from the values; otherwise the report is projected onto the
// modes and merged when the relative error exceeds kModeTolerance. Never
// throws: running out of memory gives kRefused.
ModeUpdate updatePcaModes(std::string_view report, std::optional<std::string_view> currentModes);

// The modal amplitudes of a report's `values` (as downloadSurfaceValues read
// them): a_i = Σ_j U[i][j]·x[j] for each mode i; weights take no part. False,
// with `amplitudes` empty, when the modes text does not parse or `count`
// differs from the modes' component count N. Never throws.
bool computeModalAmplitudes(const double* values, int count, std::string_view modesText,
                            std::vector<double>& amplitudes);

// ---- steps of the update, exposed for their own tests ------------------------

// The modes file of the first mode: weight w = |x| (1 when x is empty or its
// sum of squares is exactly 0) and components x[j] / w.
std::string firstModeText(const std::vector<double>& x);

// a_i = Σ_j U[i][j]·x[j], for x of the modes' N values.
std::vector<double> projectOntoModes(const CPcaModes& modes, const double* x);

// |r - x| / |x| (just |r - x| when |x| = 0), r = Σ_i a_i·U[i] the
// reconstruction from the projection.
double relativeReconstructionError(const CPcaModes& modes, const double* x);

// The modes file after merging x: the singular value decomposition of the
// N × (M+1) matrix whose column i is mode i times its weight and whose last
// column is x; the left singular vectors are the new modes, the singular
// values their weights, in the order the decomposition leaves them.
std::string mergeIntoModes(const CPcaModes& modes, const std::vector<double>& x);

}  // namespace VLT_121
