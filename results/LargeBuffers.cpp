#include "results/LargeBuffers.h"

#include <cstdint>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace VLT_121 {

namespace {

// Smaller buffers are left to the allocator as they come.
constexpr std::size_t kLargeBytes = std::size_t{8} << 20;

}  // namespace

void adviseHugePages(const void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  if (bytes < kLargeBytes) return;
  constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

void resizeLargeText(std::string& text, std::size_t size) {
  text.reserve(size);
  adviseHugePages(text.data(), size);
  text.resize(size);
}

void assignLargeVector(std::vector<double>& values, std::size_t count, double value) {
  reserveLargeVector(values, count);
  values.assign(count, value);
}

void reserveLargeVector(std::vector<double>& values, std::size_t count) {
  values.clear();
  values.reserve(count);
  adviseHugePages(values.data(), count * sizeof(double));
}

}  // namespace VLT_121
