// Surface reports written from numbers, in the format the library reads
// (include/talixdbapi/VLTDatabase.h, uploadSurface).
#pragma once

#include <cstddef>
#include <string>

namespace talixdb_python {

// The report of `count` values: the 40-byte header ("TALIX_Report_2", a zero
// byte, 25 spaces), then the count and each value on a line of its own, in
// the shortest text that reads back as the same double. Empty when a value
// is not finite (a report has no text for it).
std::string reportFromValues(const double* values, std::size_t count);

}  // namespace talixdb_python
