#include "results/NumberedNames.h"

#include <algorithm>
#include <cstdlib>

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
