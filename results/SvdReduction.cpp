#include <algorithm>
#include <cmath>
#include <utility>

#include "results/GolubReinsch.h"

namespace VLT_121 {
namespace svd {

// Householder reduction: step i zeroes column i below the diagonal (left
// transformation) and row i right of the superdiagonal (right transformation).
// Each is scaled by the sum of absolute values it works on and skipped when
// that sum is 0. The reflector vectors stay in A for the accumulations.
void CGolubReinsch::reduceToBidiagonal() {
  const int m = m_iRows;
  const int n = m_iCols;
  double g = 0.0;
  double scale = 0.0;
  for (int i = 0; i < n; ++i) {
    const int l = i + 1;
    m_vecSuper[i] = scale * g;
    g = 0.0;
    scale = 0.0;

    bool left = false;
    double leftScale = 0.0;
    if (i < m) {
      double* ci = col(i);
      for (int k = i; k < m; ++k) scale += std::fabs(ci[k]);
      if (scale != 0.0) {
        double s = 0.0;
        for (int k = i; k < m; ++k) {
          ci[k] /= scale;
          s += ci[k] * ci[k];
        }
        const double f = ci[i];
        g = -signOf(std::sqrt(s), f);
        const double h = f * g - s;
        ci[i] = f - g;
        std::fill(m_vecSums.begin() + l, m_vecSums.end(), 0.0);
        accumulateDots(ci, l, static_cast<std::size_t>(i), static_cast<std::size_t>(m), m_vecSums.data());
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

    updateTrailingRows(i, left, leftScale, right);
    if (left) col(i)[i] *= leftScale;
    if (right) {
      for (int k = l; k < n; ++k) m_a(i, k) = m_vecRow[k] * rightScale;
    }
    const double size = std::fabs(m_w[i]) + std::fabs(m_vecSuper[i]);
    m_dNorm = m_dNorm > size ? m_dNorm : size;
  }
}

// Rows i+1..m-1 of step i, one block of rows at a time so that each block is
// read from memory once: the rest of the left transformation, the scaling
// back of column i, then the right transformation (whose dot products run
// across the columns, row by row, in column order).
void CGolubReinsch::updateTrailingRows(int i, bool left, double leftScale, bool right) {
  const int m = m_iRows;
  const int n = m_iCols;
  const int l = i + 1;
  if ((!left && !right) || l >= m) return;
  const double* ci = col(i);
  const std::size_t block = m_iBlockRows;
  for (std::size_t begin = static_cast<std::size_t>(l); begin < static_cast<std::size_t>(m); begin += block) {
    const std::size_t count = std::min(block, static_cast<std::size_t>(m) - begin);
    if (left) {
      for (int j = l; j < n; ++j) addScaled(col(j) + begin, ci + begin, count, m_vecFactor[j]);
      double* scaled = col(i) + begin;
      for (std::size_t r = 0; r < count; ++r) scaled[r] *= leftScale;
    }
    if (right) {
      double* sums = m_vecRowSums.data();
      std::fill(sums, sums + count, 0.0);
      for (int k = l; k < n; ++k) {
        const double* ck = col(k) + begin;
        const double rowValue = m_vecRow[k];
        for (std::size_t r = 0; r < count; ++r) sums[r] += ck[r] * rowValue;
      }
      for (int k = l; k < n; ++k) {
        double* ck = col(k) + begin;
        const double factor = m_vecSuper[k];
        for (std::size_t r = 0; r < count; ++r) ck[r] += sums[r] * factor;
      }
    }
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
// one pass over the rows below its diagonal; the same pass gathers the dot
// products that the next step (one column to the left) starts from.
void CGolubReinsch::accumulateLeft() {
  const int m = m_iRows;
  const int n = m_iCols;
  const int last = std::min(m, n) - 1;
  if (last < 0) return;
  if (m_w[last] != 0.0) {
    std::fill(m_vecSums.begin(), m_vecSums.end(), 0.0);
    accumulateDots(col(last), last + 1, static_cast<std::size_t>(last + 1), static_cast<std::size_t>(m),
                   m_vecSums.data());
  }
  const std::size_t block = m_iBlockRows;
  for (int i = last; i >= 0; --i) {
    const int l = i + 1;
    double* ci = col(i);
    for (int j = l; j < n; ++j) m_a(i, j) = 0.0;
    const bool transform = m_w[i] != 0.0;
    const double g = transform ? 1.0 / m_w[i] : 0.0;
    if (transform) {
      for (int j = l; j < n; ++j) m_vecFactor[j] = (m_vecSums[j] / ci[i]) * g;
    }
    const bool nextDots = i > 0 && m_w[i - 1] != 0.0;
    if (nextDots) std::fill(m_vecNextSums.begin(), m_vecNextSums.end(), 0.0);

    for (std::size_t begin = static_cast<std::size_t>(i); begin < static_cast<std::size_t>(m); begin += block) {
      const std::size_t count = std::min(block, static_cast<std::size_t>(m) - begin);
      if (transform) {
        for (int j = l; j < n; ++j) addScaled(col(j) + begin, ci + begin, count, m_vecFactor[j]);
        for (std::size_t r = 0; r < count; ++r) ci[begin + r] *= g;
      } else {
        std::fill(ci + begin, ci + begin + count, 0.0);
      }
      if (begin == static_cast<std::size_t>(i)) ci[i] += 1.0;
      if (nextDots) accumulateDots(col(i - 1), i, begin, begin + count, m_vecNextSums.data());
    }
    std::swap(m_vecSums, m_vecNextSums);
  }
}

// sums[j] += Σ x[r]·A[r][j] over rows beginRow..endRow-1, for every column j
// from firstColumn on. Each sum is added up in row order; four columns go
// through the rows together so that their independent sums overlap.
void CGolubReinsch::accumulateDots(const double* x, int firstColumn, std::size_t beginRow, std::size_t endRow,
                                   double* sums) const {
  const int n = m_iCols;
  int j = firstColumn;
  for (; j + 4 <= n; j += 4) {
    const double* c0 = m_a.column(j);
    const double* c1 = m_a.column(j + 1);
    const double* c2 = m_a.column(j + 2);
    const double* c3 = m_a.column(j + 3);
    double s0 = sums[j];
    double s1 = sums[j + 1];
    double s2 = sums[j + 2];
    double s3 = sums[j + 3];
    for (std::size_t r = beginRow; r < endRow; ++r) {
      const double xr = x[r];
      s0 += xr * c0[r];
      s1 += xr * c1[r];
      s2 += xr * c2[r];
      s3 += xr * c3[r];
    }
    sums[j] = s0;
    sums[j + 1] = s1;
    sums[j + 2] = s2;
    sums[j + 3] = s3;
  }
  for (; j < n; ++j) {
    const double* cj = m_a.column(j);
    double s = sums[j];
    for (std::size_t r = beginRow; r < endRow; ++r) s += x[r] * cj[r];
    sums[j] = s;
  }
}

}  // namespace svd
}  // namespace VLT_121
