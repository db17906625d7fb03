#include "results/ReportFormat.h"

#include "results/TextScan.h"

namespace VLT_121 {

namespace {

// A value takes at least one character and one separator before it, so a
// body of L bytes holds at most L / 2 values after its count.
bool bodyCouldHold(std::string_view body, long count) {
  return count >= 0 && static_cast<unsigned long>(count) <= body.size() / 2;
}

// Reads up to `count` tokens as doubles; true when all of them were there.
bool readValues(CTokenizer& tokens, long count, std::vector<double>& values) {
  const CDoubleReader readDouble;
  values.reserve(static_cast<std::size_t>(count));
  double value = 0.0;
  for (long i = 0; i < count; ++i) {
    if (!tokens.nextDouble(readDouble, value)) return false;
    values.push_back(value);
  }
  return true;
}

}  // namespace

bool hasReportMagic(std::string_view report) {
  return report.size() >= kReportHeaderSize && report.substr(0, kReportMagic.size()) == kReportMagic;
}

bool hasReportHeader(std::string_view report) {
  return hasReportMagic(report) && report[kReportMagic.size()] == '\0';
}

std::string_view reportBody(std::string_view report) {
  if (report.size() <= kReportHeaderSize) return {};
  return untilZeroByte(report.substr(kReportHeaderSize));
}

bool readSurfaceValues(std::string_view report, std::vector<double>& values) {
  values.clear();
  if (!hasReportHeader(report)) return false;
  const std::string_view body = reportBody(report);
  CTokenizer tokens(body, kWhitespaceSeparators);
  std::string_view token;
  const long count = tokens.next(token) ? parseLong(token) : 0;
  if (!bodyCouldHold(body, count) || !readValues(tokens, count, values)) {
    values.clear();
    return false;
  }
  return true;
}

ReportReading readAnalysisValues(std::string_view report, std::vector<double>& values) {
  values.clear();
  if (!hasReportMagic(report)) return ReportReading::kNoMagic;
  const std::string_view body = reportBody(report);
  CTokenizer tokens(body, kLineEndSeparators);
  std::string_view token;
  const int count = tokens.next(token) ? parseInt(token) : 0;
  if (!bodyCouldHold(body, count)) return ReportReading::kBadCount;
  return readValues(tokens, count, values) ? ReportReading::kComplete : ReportReading::kShort;
}

}  // namespace VLT_121
