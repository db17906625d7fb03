#include <algorithm>
#include <cmath>
#include <utility>

#include "results/GolubReinsch.h"

namespace VLT_121 {
namespace svd {

// Householder reduction: step i zeroes column i below the diagonal (left
// transformation) and row i right of the superdiagonal (right transformation).
// Each is scaled by the sum of absolute values it works on and skipped when
// that sum is 0. The reflector vectors stay in A for the accumulations. A
// step reads the columns right of i twice: once for the dot products of the
// left transformation, once to apply both transformations row strip by row
// strip (updateTrailingRows), which also sums the next column's scale.
void CGolubReinsch::reduceToBidiagonal() {
  const int m = m_iRows;
  const int n = m_iCols;
  double g = 0.0;
  double scale = 0.0;
  bool nextScaleKnown = false;
  double nextScale = 0.0;
  for (int i = 0; i < n; ++i) {
    const int l = i + 1;
    m_vecSuper[i] = scale * g;
    g = 0.0;
    scale = 0.0;

    bool left = false;
    double leftScale = 0.0;
    if (i < m) {
      double* ci = col(i);
      if (nextScaleKnown) {
        scale = nextScale;
      } else {
        for (int k = i; k < m; ++k) scale += std::fabs(ci[k]);
      }
      if (scale != 0.0) {
        for (int k = i; k < m; ++k) ci[k] /= scale;
        double s = 0.0;
        for (int k = i; k < m; ++k) s += ci[k] * ci[k];
        const double f = ci[i];
        g = -signOf(std::sqrt(s), f);
        const double h = f * g - s;
        ci[i] = f - g;
        std::fill(m_vecSums.begin() + l, m_vecSums.end(), 0.0);
        runColumnPass(ColumnPass{store(), l, n, nullptr, nullptr, n, ci, m_vecSums.data()},
                      static_cast<std::size_t>(i), static_cast<std::size_t>(m));
        for (int j = l; j < n; ++j) {
          m_vecFactor[j] = m_vecSums[j] / h;
          m_a(i, j) += m_vecFactor[j] * ci[i];  // row i now; rows below in updateTrailingRows
        }
        left = true;
        leftScale = scale;
      }
    }
    m_w[i] = scale * g;

    g = 0.0;
    scale = 0.0;
    bool right = false;
    double rightScale = 0.0;
    if (i < m && i != n - 1) {
      for (int k = l; k < n; ++k) {
        m_vecRow[k] = m_a(i, k);
        scale += std::fabs(m_vecRow[k]);
      }
      if (scale != 0.0) {
        double s = 0.0;
        for (int k = l; k < n; ++k) {
          m_vecRow[k] /= scale;
          s += m_vecRow[k] * m_vecRow[k];
        }
        const double f = m_vecRow[l];
        g = -signOf(std::sqrt(s), f);
        const double h = f * g - s;
        m_vecRow[l] = f - g;
        for (int k = l; k < n; ++k) m_vecSuper[k] = m_vecRow[k] / h;
        right = true;
        rightScale = scale;
      }
    }

    nextScaleKnown = (left || right) && l < m;
    if (nextScaleKnown) {
      const TrailingUpdate step{store(),
                                l,
                                n,
                                col(i),
                                left ? m_vecFactor.data() : nullptr,
                                leftScale,
                                right ? m_vecRow.data() : nullptr,
                                right ? m_vecSuper.data() : nullptr};
      nextScale = updateTrailingRows(step, static_cast<std::size_t>(l), static_cast<std::size_t>(m), 0.0);
    }
    if (left) col(i)[i] *= leftScale;
    if (right) {
      for (int k = l; k < n; ++k) m_a(i, k) = m_vecRow[k] * rightScale;
    }
    const double size = std::fabs(m_w[i]) + std::fabs(m_vecSuper[i]);
    m_dNorm = m_dNorm > size ? m_dNorm : size;
  }
}

// V from the right transformations, last column first.
void CGolubReinsch::accumulateRight() {
  const int m = m_iRows;
  const int n = m_iCols;
  double g = 0.0;
  int l = n;
  for (int i = n - 1; i >= 0; --i) {
    if (i < n - 1) {
      if (g != 0.0 && i < m) {
        for (int k = l; k < n; ++k) m_vecRow[k] = m_a(i, k);
        double* vi = m_v.column(i);
        for (int j = l; j < n; ++j) vi[j] = (m_vecRow[j] / m_vecRow[l]) / g;
        for (int j = l; j < n; ++j) {
          double* vj = m_v.column(j);
          double s = 0.0;
          for (int k = l; k < n; ++k) s += m_vecRow[k] * vj[k];
          addScaled(vj + l, vi + l, static_cast<std::size_t>(n - l), s);
        }
      }
      for (int j = l; j < n; ++j) {
        m_v(i, j) = 0.0;
        m_v(j, i) = 0.0;
      }
    }
    m_v(i, i) = 1.0;
    g = m_vecSuper[i];
    l = i;
  }
}

// U from the left transformations, column min(m, n) - 1 first. Each step is
// one pass down the columns right of its own, below its diagonal; the same
// pass gathers the dot products that the next step (one column to the left)
// starts from.
void CGolubReinsch::accumulateLeft() {
  const int m = m_iRows;
  const int n = m_iCols;
  const int last = std::min(m, n) - 1;
  if (last < 0) return;
  const auto rows = static_cast<std::size_t>(m);
  if (m_w[last] != 0.0) {
    std::fill(m_vecSums.begin(), m_vecSums.end(), 0.0);
    runColumnPass(ColumnPass{store(), last + 1, n, nullptr, nullptr, n, col(last), m_vecSums.data()},
                  static_cast<std::size_t>(last + 1), rows);
  }
  for (int i = last; i >= 0; --i) {
    const int l = i + 1;
    const auto pivot = static_cast<std::size_t>(i);
    double* ci = col(i);
    for (int j = l; j < n; ++j) m_a(i, j) = 0.0;
    const bool transform = m_w[i] != 0.0;
    const double g = transform ? 1.0 / m_w[i] : 0.0;
    if (transform) {
      for (int j = l; j < n; ++j) m_vecFactor[j] = (m_vecSums[j] / ci[i]) * g;
      // The columns to the right are updated with column i as it was.
      std::copy(ci + pivot, ci + rows, m_vecColumn.begin() + i);
      for (std::size_t r = pivot; r < rows; ++r) ci[r] *= g;
    } else {
      std::fill(ci + pivot, ci + rows, 0.0);
    }
    ci[i] += 1.0;
    const bool nextDots = i > 0 && m_w[i - 1] != 0.0;
    if (nextDots) std::fill(m_vecNextSums.begin(), m_vecNextSums.end(), 0.0);
    const ColumnPass pass{store(),
                          nextDots ? i : l,
                          n,
                          transform ? m_vecFactor.data() : nullptr,
                          m_vecColumn.data(),
                          l,
                          nextDots ? col(i - 1) : nullptr,
                          m_vecNextSums.data()};
    runColumnPass(pass, pivot, rows);
    std::swap(m_vecSums, m_vecNextSums);
  }
}

}  // namespace svd
}  // namespace VLT_121
