// CGolubReinsch: the working state of one singular value decomposition
// (Svd.h), shared by its two halves: SvdReduction.cpp reduces A to
// bidiagonal form and accumulates U and V, SvdQrSweeps.cpp diagonalises.
// Internal to the results code.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "results/Svd.h"
#include "results/SvdKernels.h"

namespace VLT_121 {
namespace svd {

// Rotations of U are collected and applied in batches of this many.
constexpr std::size_t kRotationBatch = 4096;

// The magnitude of `magnitude` with the sign of `reference` (+ for -0.0).
inline double signOf(double magnitude, double reference) {
  return reference >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// sqrt(a² + b²) without overflow or destructive underflow.
inline double hypotenuse(double a, double b) {
  const double absA = std::fabs(a);
  const double absB = std::fabs(b);
  if (absA > absB) {
    const double ratio = absB / absA;
    return absA * std::sqrt(1.0 + ratio * ratio);
  }
  if (absB == 0.0) return 0.0;
  const double ratio = absA / absB;
  return absB * std::sqrt(1.0 + ratio * ratio);
}

// (p, q) <- (p·c + q·s, q·c - p·s), row by row.
inline void rotate(double* __restrict p, double* __restrict q, std::size_t count, double c, double s) {
  for (std::size_t r = 0; r < count; ++r) {
    const double y = p[r];
    const double z = q[r];
    p[r] = y * c + z * s;
    q[r] = z * c - y * s;
  }
}

// p += f·q
inline void addScaled(double* __restrict p, const double* __restrict q, std::size_t count, double f) {
  for (std::size_t r = 0; r < count; ++r) p[r] += f * q[r];
}

// One decomposition: run() overwrites A with U and fills w and V.
class CGolubReinsch {
 public:
  CGolubReinsch(CColumnMatrix& a, std::vector<double>& w, CColumnMatrix& v);
  bool run();

 private:
  void reduceToBidiagonal();
  void accumulateRight();
  void accumulateLeft();
  bool diagonalize();

  void recordLeftRotation(int first, int second, double c, double s);
  void applyLeftRotations();
  bool isNegligible(double f) const { return std::fabs(f) + m_dNorm == m_dNorm; }
  double* col(int j) { return m_a.column(j); }
  ColumnStore store() { return ColumnStore{m_a.column(0), static_cast<std::size_t>(m_iRows)}; }

  CColumnMatrix& m_a;
  std::vector<double>& m_w;
  CColumnMatrix& m_v;
  const int m_iRows;
  const int m_iCols;
  double m_dNorm = 0.0;                  // largest |w_i| + |rv1_i| of the reduction
  std::vector<double> m_vecSuper;        // superdiagonal (rv1), then the Householder row factors
  std::vector<double> m_vecFactor;       // per column: the left transformation's factor
  std::vector<double> m_vecSums;         // per column: dot products of the current step
  std::vector<double> m_vecNextSums;     // per column: dot products of the next step
  std::vector<double> m_vecRow;          // one row of A gathered
  std::vector<double> m_vecColumn;       // one column of A before its scaling
  std::vector<PlaneRotation> m_vecRotations;
};

}  // namespace svd
}  // namespace VLT_121
