#include "results/PcaModesFile.h"

#include "results/NumberFormat.h"
#include "results/TextScan.h"

namespace VLT_121 {

namespace {

// Every number in the file takes at least one character and a separator.
bool textCouldHold(std::string_view text, long long count) {
  return count >= 0 && static_cast<unsigned long long>(count) <= text.size() / 2;
}

bool readDoubles(CTokenizer& tokens, const CDoubleReader& readDouble, long long count, std::vector<double>& into) {
  double value = 0.0;
  for (long long i = 0; i < count; ++i) {
    if (!tokens.nextDouble(readDouble, value)) return false;
    into.push_back(value);
  }
  return true;
}

bool parseTokens(std::string_view text, CPcaModes& modes);

}  // namespace

std::string formatPcaModes(int componentCount, int modeCount, const double* weights, const double* components) {
  const CSignedG15Writer writeDouble;
  std::string text;
  const std::size_t modes = modeCount > 0 ? static_cast<std::size_t>(modeCount) : 0;
  const std::size_t perMode = componentCount > 0 ? static_cast<std::size_t>(componentCount) : 0;
  text.reserve(11 + modes * (32 + 21 * perMode));
  appendInt10(text, modeCount);
  text.push_back('\n');
  for (std::size_t i = 0; i < modes; ++i) {
    appendInt10(text, componentCount);
    text.push_back('\t');
    writeDouble.append(text, weights[i]);
    text.push_back('\t');
    const double* mode = components + i * perMode;
    for (std::size_t j = 0; j < perMode; ++j) {
      text.push_back('\t');
      writeDouble.append(text, mode[j]);
    }
    text.push_back('\n');
  }
  return text;
}

bool parsePcaModes(std::string_view text, CPcaModes& modes) {
  modes = CPcaModes();
  if (parseTokens(untilZeroByte(text), modes)) return true;
  modes = CPcaModes();
  return false;
}

int readPcaModeCount(std::string_view text) { return parseInt(untilZeroByte(text)); }

int readPcaModeValues(std::string_view text, int modeIndex, std::vector<double>& values) {
  values.clear();
  text = untilZeroByte(text);
  const int modeCount = readPcaModeCount(text);
  if (modeIndex < 0 || modeIndex >= modeCount) return 0;

  CTokenizer lines(text, kLineEndSeparators);
  std::string_view line;
  for (int skip = 0; skip <= modeIndex; ++skip) {
    if (!lines.next(line)) return 0;
  }
  if (!lines.next(line)) return 0;

  CTokenizer tokens(line, kWhitespaceSeparators);
  std::string_view token;
  if (!tokens.next(token)) return 0;
  const int componentCount = parseInt(token);
  if (!textCouldHold(line, componentCount) || !tokens.next(token)) return 0;
  values.reserve(static_cast<std::size_t>(componentCount));
  if (!readDoubles(tokens, CDoubleReader(), componentCount, values)) {
    values.clear();
    return 0;
  }
  return modeCount;
}

namespace {

bool parseTokens(std::string_view text, CPcaModes& modes) {
  CTokenizer tokens(text, kWhitespaceSeparators);
  std::string_view token;
  if (!tokens.next(token)) return false;
  const int modeCount = parseInt(token);
  if (!textCouldHold(text, modeCount)) return false;
  if (modeCount == 0) return true;

  if (!tokens.next(token)) return false;
  const int componentCount = parseInt(token);
  const long long valueCount = static_cast<long long>(modeCount) * componentCount;
  if (!textCouldHold(text, componentCount) || !textCouldHold(text, valueCount)) return false;
  modes.m_iNrComponents = componentCount;
  modes.m_vecWeights.reserve(static_cast<std::size_t>(modeCount));
  modes.m_vecComponents.reserve(static_cast<std::size_t>(valueCount));

  const CDoubleReader readDouble;
  for (int i = 0; i < modeCount; ++i) {
    if (i > 0 && !tokens.next(token)) return false;  // this mode's count token
    if (!readDoubles(tokens, readDouble, 1, modes.m_vecWeights)) return false;
    if (!readDoubles(tokens, readDouble, componentCount, modes.m_vecComponents)) return false;
  }
  return true;
}

}  // namespace

}  // namespace VLT_121
