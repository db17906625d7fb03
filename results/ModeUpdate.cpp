#include "results/ModeUpdate.h"

#include <cmath>
#include <exception>

#include "results/ReportFormat.h"
#include "results/Svd.h"

namespace VLT_121 {

namespace {

ModeUpdate runUpdate(std::string_view report, std::optional<std::string_view> currentModes);

}  // namespace

ModeUpdate updatePcaModes(std::string_view report, std::optional<std::string_view> currentModes) {
  try {
    return runUpdate(report, currentModes);
  } catch (const std::exception&) {
    return ModeUpdate{ModeUpdateOutcome::kRefused, std::string()};
  }
}

bool computeModalAmplitudes(const double* values, int count, std::string_view modesText,
                            std::vector<double>& amplitudes) {
  amplitudes.clear();
  try {
    CPcaModes modes;
    if (!parsePcaModes(modesText, modes) || count != modes.m_iNrComponents) return false;
    if (count > 0 && values == nullptr) return false;
    amplitudes = projectOntoModes(modes, values);
    return true;
  } catch (const std::exception&) {
    amplitudes.clear();
    return false;
  }
}

std::string firstModeText(const std::vector<double>& x) {
  double sumOfSquares = 0.0;
  for (double value : x) sumOfSquares += value * value;
  double weight = std::sqrt(sumOfSquares);
  if (x.empty() || sumOfSquares == 0.0) weight = 1.0;
  std::vector<double> components(x.size());
  for (std::size_t j = 0; j < x.size(); ++j) components[j] = x[j] / weight;
  return formatPcaModes(static_cast<int>(x.size()), 1, &weight, components.data());
}

std::vector<double> projectOntoModes(const CPcaModes& modes, const double* x) {
  const int modeCount = modes.nrModes();
  const auto n = static_cast<std::size_t>(modes.m_iNrComponents);
  std::vector<double> amplitudes(static_cast<std::size_t>(modeCount), 0.0);
  for (int i = 0; i < modeCount; ++i) {
    const double* mode = modes.mode(i);
    double sum = 0.0;
    for (std::size_t j = 0; j < n; ++j) sum += mode[j] * x[j];
    amplitudes[static_cast<std::size_t>(i)] = sum;
  }
  return amplitudes;
}

double relativeReconstructionError(const CPcaModes& modes, const double* x) {
  const std::vector<double> amplitudes = projectOntoModes(modes, x);
  const auto n = static_cast<std::size_t>(modes.m_iNrComponents);
  // r_j sums a_i·U[i][j] over the modes in mode order.
  std::vector<double> reconstruction(n, 0.0);
  for (int i = 0; i < modes.nrModes(); ++i) {
    const double* mode = modes.mode(i);
    const double amplitude = amplitudes[static_cast<std::size_t>(i)];
    for (std::size_t j = 0; j < n; ++j) reconstruction[j] += mode[j] * amplitude;
  }
  double error = 0.0;
  double length = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    const double difference = reconstruction[j] - x[j];
    error += difference * difference;
    length += x[j] * x[j];
  }
  error = std::sqrt(error);
  length = std::sqrt(length);
  if (length != 0.0) error /= length;
  return error;
}

std::string mergeIntoModes(const CPcaModes& modes, const std::vector<double>& x) {
  const int modeCount = modes.nrModes();
  const int n = modes.m_iNrComponents;
  CColumnMatrix a(n, modeCount + 1);
  for (int i = 0; i < modeCount; ++i) {
    const double* mode = modes.mode(i);
    const double weight = modes.m_vecWeights[static_cast<std::size_t>(i)];
    double* column = a.column(i);
    for (int j = 0; j < n; ++j) column[j] = mode[j] * weight;
  }
  double* last = a.column(modeCount);
  for (int j = 0; j < n; ++j) last[j] = x[static_cast<std::size_t>(j)];

  std::vector<double> singularValues;
  CColumnMatrix v;
  decomposeSingularValues(a, singularValues, v);  // a value that did not converge is kept as it stands
  return formatPcaModes(n, modeCount + 1, singularValues.data(), a.column(0));
}

namespace {

ModeUpdate runUpdate(std::string_view report, std::optional<std::string_view> currentModes) {
  std::vector<double> x;
  switch (readAnalysisValues(report, x)) {
    case ReportReading::kNoMagic:
      return ModeUpdate{ModeUpdateOutcome::kNotAnalysed, std::string()};
    case ReportReading::kBadCount:
    case ReportReading::kShort:
      return ModeUpdate{ModeUpdateOutcome::kRefused, std::string()};
    case ReportReading::kComplete:
      break;
  }

  // Without modes, the first one is made from the report and then serves as
  // the current modes (it reproduces the report, so it normally stays).
  ModeUpdate update;
  std::string_view modesText;
  if (currentModes) {
    modesText = *currentModes;
    update.outcome = ModeUpdateOutcome::kUnchanged;
  } else {
    update.text = firstModeText(x);
    update.outcome = ModeUpdateOutcome::kFirstMode;
    modesText = update.text;
  }

  CPcaModes modes;
  if (!parsePcaModes(modesText, modes) || modes.m_iNrComponents != static_cast<int>(x.size())) {
    if (update.outcome == ModeUpdateOutcome::kFirstMode) return update;
    return ModeUpdate{ModeUpdateOutcome::kRefused, std::string()};
  }
  if (!(relativeReconstructionError(modes, x.data()) > kModeTolerance)) return update;
  return ModeUpdate{ModeUpdateOutcome::kMerged, mergeIntoModes(modes, x)};
}

}  // namespace

}  // namespace VLT_121
