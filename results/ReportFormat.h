// The surface report: a 40-byte header that starts with the magic
// "TALIX_Report_2", then a text body holding a value count and that many
// values, one per line. Two readers exist: the value reader of
// downloadSurfaceValues splits the body at line ends, tabs and blanks; the
// analysis of the mode update splits it at line ends only.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace VLT_121 {

inline constexpr std::string_view kReportMagic = "TALIX_Report_2";
inline constexpr std::size_t kReportHeaderSize = 40;

// At least 40 bytes whose first 14 are the magic: the check uploadSurface
// makes before it analyses a report.
bool hasReportMagic(std::string_view report);

// hasReportMagic and a zero byte right after the magic: the header the value
// reader accepts.
bool hasReportHeader(std::string_view report);

// The body text: the bytes from offset 40 up to the first zero byte (the
// text a C string copy of the body would hold). Empty for a shorter report.
std::string_view reportBody(std::string_view report);

// Reads the values as downloadSurfaceValues does: the header must pass
// hasReportHeader, the body is split at whitespace, its first token read with
// atol is the count N (0 without tokens), and N values follow, read with atof.
// False, with `values` emptied, when the header fails, N is negative, N is
// more than the body could hold, or fewer than N values follow. Tokens after
// the N-th value are ignored.
bool readSurfaceValues(std::string_view report, std::vector<double>& values);

enum class ReportReading {
  kComplete,   // the count and all its values were read
  kShort,      // fewer values than the count
  kBadCount,   // a negative count, or one the body could not hold
  kNoMagic,    // shorter than 40 bytes or without the magic
};

// Reads the values as the mode update does: the report needs only
// hasReportMagic, the body is split at line ends, its first token read with
// atoi is the count n, and up to n values follow, read with atof (a line
// holding "1.0 2.0" reads as 1.0). `values` receives what was read.
ReportReading readAnalysisValues(std::string_view report, std::vector<double>& values);

}  // namespace VLT_121
