// The PCA modes file of a surface: line 1 holds the mode count M as "%10d";
// then one line per mode: its component count N ("%10d" and a TAB), its
// weight ("%+20.15lg" and a TAB), and per component a TAB and "%+20.15lg".
// The library writes it and reads it back as whitespace-separated tokens, or
// one mode line at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace VLT_121 {

// M modes of N components each, in file order.
class CPcaModes {
 public:
  int nrModes() const { return static_cast<int>(m_vecWeights.size()); }
  // The N components of mode i (0 <= i < nrModes()).
  const double* mode(int i) const { return m_vecComponents.data() + static_cast<std::size_t>(i) * m_iNrComponents; }

  int m_iNrComponents = 0;
  std::vector<double> m_vecWeights;     // one per mode
  std::vector<double> m_vecComponents;  // mode after mode, N each
};

// The file text for `modeCount` modes of `componentCount` components:
// `weights` holds one weight per mode, `components` the modes one after the
// other. Exactly the bytes printf would write with the formats above.
std::string formatPcaModes(int componentCount, int modeCount, const double* weights, const double* components);

// Reads the whole file as tokens split at whitespace: M, then N, the weight
// and N components of the first mode, then for every later mode its count
// token (skipped: N is taken from the first mode), weight and N components.
// False when a token is missing or M or N is negative or more than the text
// could hold; `modes` is then left empty.
bool parsePcaModes(std::string_view text, CPcaModes& modes);

// M, read from the start of the text as sscanf's "%d" reads it (0 without
// digits).
int readPcaModeCount(std::string_view text);

// Reads mode `modeIndex` as downloadPcaModeValues does: M from the start of
// the text; the mode's line is line modeIndex + 2 of the text split at line
// ends; that line split at whitespace holds N (atoi), the weight (skipped)
// and N components (atof). Returns M with the components in `values`, or 0
// with `values` empty when modeIndex is outside 0..M-1, the line or one of
// its tokens is missing, or N is negative.
int readPcaModeValues(std::string_view text, int modeIndex, std::vector<double>& values);

}  // namespace VLT_121
