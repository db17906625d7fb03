// Names of numbered repository folders: report folders ("%09d" of the report
// number), instance folders and precomputed-result entries ("%09d-" and the
// upload time), how a number is read back from a name, and how the next free
// number is chosen among existing entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VLT_121 {

// "%09d": 7 gives "000000007", -1 gives "-00000001", 10 digits stay whole.
std::string reportFolderName(int reportNumber);
// The report number whose folder name `name` is (the inverse of
// reportFolderName), or nothing for any other name ("PcaModes", "7").
std::optional<int> reportNumberOfFolder(std::string_view name);

// "%09d-" of `number` followed by the time in seconds since 1970 as a 64-bit
// decimal, so names stay right past 2038.
std::string numberedEntryName(int number, long long secondsSince1970);

// atoi of the name's first 9 characters; a name without leading digits reads 0.
int numberedEntryNumber(std::string_view name);

// The number for a new entry among the existing `childNames`: 1 when there
// are none; otherwise the smallest number, counting up from the smallest one
// in use, that no child uses (at most the largest in use plus 1).
int chooseEntryNumber(const std::vector<std::string>& childNames);

}  // namespace VLT_121
