// Buffers of many megabytes that are filled once, front to back (a modes
// file text, its parsed components, the decomposition's matrix): faulting
// them in 4 KiB pages costs about as much as the work that fills them, so
// they ask the kernel for huge pages before they are first touched.
// Internal to the results code.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace VLT_121 {

// Advises the kernel to back [data, data + bytes) with huge pages where that
// range covers whole ones. Only a hint: without support it does nothing.
void adviseHugePages(const void* data, std::size_t bytes);

// `text` resized to `size` bytes (zeros), its new storage advised first.
void resizeLargeText(std::string& text, std::size_t size);

// `values` resized to `count` copies of `value`, its new storage advised first.
void assignLargeVector(std::vector<double>& values, std::size_t count, double value);

// Room for `count` values in `values` (still empty), its storage advised.
void reserveLargeVector(std::vector<double>& values, std::size_t count);

}  // namespace VLT_121
