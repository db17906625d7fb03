#include "ReportText.h"

#include <charconv>
#include <cmath>

namespace talixdb_python {

namespace {

const char kMagic[] = "TALIX_Report_2";
constexpr std::size_t kHeaderSize = 40;
// The longest shortest-round-trip text of a double ("-2.2250738585072014e-308").
constexpr std::size_t kLongestNumber = 32;

}  // namespace

std::string reportFromValues(const double* values, std::size_t count) {
  std::string report(kMagic, sizeof kMagic - 1);
  report += '\0';
  report.append(kHeaderSize - report.size(), ' ');
  report += std::to_string(count) + "\n";
  report.reserve(report.size() + count * 24);
  char number[kLongestNumber];
  for (std::size_t i = 0; i < count; ++i) {
    if (!std::isfinite(values[i])) return "";
    std::to_chars_result written = std::to_chars(number, number + sizeof number, values[i]);
    report.append(number, written.ptr);
    report += '\n';
  }
  return report;
}

}  // namespace talixdb_python
