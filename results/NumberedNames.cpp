#include "results/NumberedNames.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "results/TextScan.h"

namespace VLT_121 {

namespace {

constexpr std::size_t kNumberWidth = 9;

}  // namespace

std::string reportFolderName(int reportNumber) {
  const long long value = reportNumber;
  const std::string digits = std::to_string(std::llabs(value));
  std::string name;
  std::size_t width = kNumberWidth;
  if (value < 0) {
    name.push_back('-');
    --width;
  }
  if (digits.size() < width) name.append(width - digits.size(), '0');
  name += digits;
  return name;
}

std::optional<int> reportNumberOfFolder(std::string_view name) {
  const bool negative = !name.empty() && name.front() == '-';
  std::string_view digits = name.substr(negative ? 1 : 0);
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return std::nullopt;
  const int number = static_cast<int>(value);
  if (reportFolderName(number) != name) return std::nullopt;
  return number;
}

std::string numberedEntryName(int number, long long secondsSince1970) {
  return reportFolderName(number) + "-" + std::to_string(secondsSince1970);
}

int numberedEntryNumber(std::string_view name) { return parseInt(name.substr(0, kNumberWidth)); }

int chooseEntryNumber(const std::vector<std::string>& childNames) {
  if (childNames.empty()) return 1;
  std::vector<int> used;
  used.reserve(childNames.size());
  for (const std::string& name : childNames) used.push_back(numberedEntryNumber(name));
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());

  // Sorted and unique: the first gap after the smallest, else largest + 1.
  // Nine characters hold at most 999999999, so the count cannot overflow.
  int candidate = used.front();
  for (int number : used) {
    if (number != candidate) break;
    ++candidate;
  }
  return candidate;
}

}  // namespace VLT_121
