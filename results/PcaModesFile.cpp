#include "results/PcaModesFile.h"

#include <algorithm>

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
  const std::size_t modes = modeCount > 0 ? static_cast<std::size_t>(modeCount) : 0;
  const std::size_t perMode = componentCount > 0 ? static_cast<std::size_t>(componentCount) : 0;
  // Written in place; every number first makes sure of room for the longest.
  // Most numbers take their 20 columns and a TAB: start from a little more.
  std::string text;
  text.resize(kInt10Room + modes * (kInt10Room + (perMode + 1) * 22) + CSignedG15Writer::kRoom);
  std::size_t used = 0;
  auto makeRoom = [&](std::size_t room) {
    if (text.size() - used < room) text.resize(std::max(2 * text.size(), used + room));
  };
  auto putChar = [&](char c) {
    makeRoom(1);
    text[used++] = c;
  };
  auto putInt = [&](int value) {
    makeRoom(kInt10Room);
    used += writeInt10(&text[used], value);
  };
  auto putDouble = [&](double value) {
    makeRoom(CSignedG15Writer::kRoom);
    std::size_t length = writeDouble.write(&text[used], text.size() - used, value);
    if (length > text.size() - used) {
      makeRoom(length + 1);
      length = writeDouble.write(&text[used], text.size() - used, value);
    }
    used += length;
  };
  putInt(modeCount);
  putChar('\n');
  for (std::size_t i = 0; i < modes; ++i) {
    putInt(componentCount);
    putChar('\t');
    putDouble(weights[i]);
    putChar('\t');
    const double* mode = components + i * perMode;
    for (std::size_t j = 0; j < perMode; ++j) {
      putChar('\t');
      putDouble(mode[j]);
    }
    putChar('\n');
  }
  text.resize(used);
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
  modes.m_vecComponents.clear();
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
