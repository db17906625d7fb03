#include "results/SvdKernels.h"

#include <atomic>
#include <cmath>
#include <cstdint>

// Each kernel is written once (SvdKernelBodies.h) and compiled for the
// baseline processor, for AVX2 and for AVX-512, picked at run time. None of
// them contracts a multiply and an add (no FMA), so all round every product
// and sum exactly alike.
#define SVD_INLINE inline __attribute__((always_inline))
#define SVD_INLINE_LAMBDA __attribute__((always_inline))
// The loops over the vectors of a strip or the columns of a group run a
// fixed, small number of times; unrolled, their arrays live in registers.
#define SVD_UNROLL _Pragma("GCC unroll 16")

// The vector helpers are always inlined, so no vector crosses a call and the
// note about the calling convention of 32-byte vectors does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace VLT_121 {
namespace svd {

namespace {

// Vectors of two doubles: SSE2 on x86-64, or what the target has.
namespace portable {
#define SVD_VECTOR_LANES 2
constexpr int kRotationVectors = 4;
#include "results/SvdKernelBodies.h"
#undef SVD_VECTOR_LANES
}  // namespace portable

// The wider sets exist on x86-64 only; elsewhere the portable one serves.
#if defined(__x86_64__)
#define SVD_WIDER_KERNELS 1

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {
#define SVD_VECTOR_LANES 4
constexpr int kRotationVectors = 4;
#include "results/SvdKernelBodies.h"
#undef SVD_VECTOR_LANES
}  // namespace avx2
#pragma GCC pop_options

// The same four-double vectors with AVX-512's 32 registers: the rotations
// keep strips twice as tall in registers.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512vl")
namespace avx512 {
#define SVD_VECTOR_LANES 4
constexpr int kRotationVectors = 8;
#include "results/SvdKernelBodies.h"
#undef SVD_VECTOR_LANES
}  // namespace avx512
#pragma GCC pop_options
#endif

struct KernelSet {
  double (*updateTrailingRows)(const TrailingUpdate&, std::size_t, std::size_t, double);
  void (*runColumnPass)(const ColumnPass&, std::size_t, std::size_t);
  void (*applyRotations)(const PlaneRotation*, std::size_t, ColumnStore, std::size_t);
};

constexpr KernelSet kPortable{portable::updateTrailingRows, portable::runColumnPass, portable::applyRotations};
#ifdef SVD_WIDER_KERNELS
constexpr KernelSet kAvx2{avx2::updateTrailingRows, avx2::runColumnPass, avx2::applyRotations};
constexpr KernelSet kAvx512{avx512::updateTrailingRows, avx512::runColumnPass, avx512::applyRotations};

bool hasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

const KernelSet* widest() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl")) return &kAvx512;
  if (__builtin_cpu_supports("avx2")) return &kAvx2;
  return &kPortable;
}
#else
constexpr const KernelSet& kAvx2 = kPortable;
bool hasAvx2() { return false; }
const KernelSet* widest() { return &kPortable; }
#endif

// Set on first use (the same for every thread that races to it) or by a test.
std::atomic<const KernelSet*> g_kernels{nullptr};

const KernelSet& kernels() {
  const KernelSet* chosen = g_kernels.load(std::memory_order_relaxed);
  if (chosen == nullptr) {
    chosen = widest();
    g_kernels.store(chosen, std::memory_order_relaxed);
  }
  return *chosen;
}

}  // namespace

double updateTrailingRows(const TrailingUpdate& step, std::size_t beginRow, std::size_t endRow, double absSum) {
  return kernels().updateTrailingRows(step, beginRow, endRow, absSum);
}

void runColumnPass(const ColumnPass& pass, std::size_t beginRow, std::size_t endRow) {
  kernels().runColumnPass(pass, beginRow, endRow);
}

void applyRotations(const PlaneRotation* rotations, std::size_t count, ColumnStore a, std::size_t rows) {
  kernels().applyRotations(rotations, count, a, rows);
}

bool chooseKernels(KernelChoice choice) {
  const KernelSet* chosen = widest();
  if (choice == KernelChoice::kPortable) chosen = &kPortable;
  if (choice == KernelChoice::kAvx2) {
    if (!hasAvx2()) return false;
    chosen = &kAvx2;
  }
  g_kernels.store(chosen, std::memory_order_relaxed);
  return true;
}

}  // namespace svd
}  // namespace VLT_121
