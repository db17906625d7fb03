// The singular value decomposition: it must decompose (A = U·diag(w)·Vᵀ) and
// give bit for bit what the Golub–Reinsch steps give when carried out one
// after the other, because the stored modes are its columns in the order and
// with the signs it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "results/Svd.h"
#include "results/SvdKernels.h"

using VLT_121::CColumnMatrix;
using VLT_121::decomposeSingularValues;

namespace {

using RowMatrix = std::vector<std::vector<double>>;

CColumnMatrix randomMatrix(int rows, int cols, unsigned seed) {
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  CColumnMatrix a(rows, cols);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) a(i, j) = uniform(engine);
  return a;
}

#ifdef TALIXDB_HAVE_LAPACK
extern "C" void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda,
                        double* s, double* u, const int* ldu, double* vt, const int* ldvt, double* work,
                        const int* lwork, int* info);

// The installed LAPACK's singular values of `a`, largest first.
std::vector<double> lapackValues(CColumnMatrix a) {
  const int m = a.rows(), n = a.cols(), one = 1;
  const int lwork = std::max(3 * std::min(m, n) + std::max(m, n), 5 * std::min(m, n));  // the least it needs
  int info = 0;
  double unused = 0.0;
  std::vector<double> s(static_cast<std::size_t>(std::min(m, n))), work(static_cast<std::size_t>(lwork));
  dgesvd_("N", "N", &m, &n, a.column(0), &m, s.data(), &unused, &one, &unused, &one, work.data(), &lwork, &info);
  EXPECT_EQ(info, 0);
  return s;
}
#endif

// ---- the algorithm step after step, on rows, as an oracle ---------------------

double referenceSign(double magnitude, double reference) {
  return reference >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

double referenceHypot(double a, double b) {
  const double p = std::fabs(a), q = std::fabs(b);
  if (p > q) return p * std::sqrt(1.0 + (q / p) * (q / p));
  return q == 0.0 ? 0.0 : q * std::sqrt(1.0 + (p / q) * (p / q));
}

// The products go through memory one by one: a compiler may not fuse them
// (GCC 12 makes a multiply-add-subtract of this pair even without contraction).
void rotateColumns(RowMatrix& x, int p, int q, double c, double s) {
  for (auto& row : x) {
    const double y = row[p], z = row[q];
    volatile double yc = y * c, zs = z * s, zc = z * c, ys = y * s;
    row[p] = yc + zs;
    row[q] = zc - ys;
  }
}

// Each transformation applied in full, immediately, in the textbook order.
bool referenceSvd(RowMatrix& a, std::vector<double>& w, RowMatrix& v) {
  const int m = static_cast<int>(a.size()), n = static_cast<int>(a[0].size());
  std::vector<double> e(n, 0.0);
  w.assign(n, 0.0);
  v.assign(n, std::vector<double>(n, 0.0));
  double g = 0.0, scale = 0.0, norm = 0.0;
  for (int i = 0; i < n; ++i) {
    const int l = i + 1;
    e[i] = scale * g;
    g = scale = 0.0;
    if (i < m) {
      for (int k = i; k < m; ++k) scale += std::fabs(a[k][i]);
      if (scale != 0.0) {
        double s = 0.0;
        for (int k = i; k < m; ++k) {
          a[k][i] /= scale;
          s += a[k][i] * a[k][i];
        }
        const double f = a[i][i];
        g = -referenceSign(std::sqrt(s), f);
        const double h = f * g - s;
        a[i][i] = f - g;
        for (int j = l; j < n; ++j) {
          double dot = 0.0;
          for (int k = i; k < m; ++k) dot += a[k][i] * a[k][j];
          const double factor = dot / h;
          for (int k = i; k < m; ++k) a[k][j] += factor * a[k][i];
        }
        for (int k = i; k < m; ++k) a[k][i] *= scale;
      }
    }
    w[i] = scale * g;
    g = scale = 0.0;
    if (i < m && i != n - 1) {
      for (int k = l; k < n; ++k) scale += std::fabs(a[i][k]);
      if (scale != 0.0) {
        double s = 0.0;
        for (int k = l; k < n; ++k) {
          a[i][k] /= scale;
          s += a[i][k] * a[i][k];
        }
        const double f = a[i][l];
        g = -referenceSign(std::sqrt(s), f);
        const double h = f * g - s;
        a[i][l] = f - g;
        for (int k = l; k < n; ++k) e[k] = a[i][k] / h;
        for (int j = l; j < m; ++j) {
          double dot = 0.0;
          for (int k = l; k < n; ++k) dot += a[j][k] * a[i][k];
          for (int k = l; k < n; ++k) a[j][k] += dot * e[k];
        }
        for (int k = l; k < n; ++k) a[i][k] *= scale;
      }
    }
    const double size = std::fabs(w[i]) + std::fabs(e[i]);
    norm = norm > size ? norm : size;
  }
  int l = n;
  for (int i = n - 1; i >= 0; --i) {
    if (i < n - 1) {
      if (g != 0.0) {
        for (int j = l; j < n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;
        for (int j = l; j < n; ++j) {
          double dot = 0.0;
          for (int k = l; k < n; ++k) dot += a[i][k] * v[k][j];
          for (int k = l; k < n; ++k) v[k][j] += dot * v[k][i];
        }
      }
      for (int j = l; j < n; ++j) v[i][j] = v[j][i] = 0.0;
    }
    v[i][i] = 1.0;
    g = e[i];
    l = i;
  }
  for (int i = std::min(m, n) - 1; i >= 0; --i) {
    l = i + 1;
    g = w[i];
    for (int j = l; j < n; ++j) a[i][j] = 0.0;
    if (g != 0.0) {
      g = 1.0 / g;
      for (int j = l; j < n; ++j) {
        double dot = 0.0;
        for (int k = l; k < m; ++k) dot += a[k][i] * a[k][j];
        const double factor = (dot / a[i][i]) * g;
        for (int k = i; k < m; ++k) a[k][j] += factor * a[k][i];
      }
      for (int k = i; k < m; ++k) a[k][i] *= g;
    } else {
      for (int k = i; k < m; ++k) a[k][i] = 0.0;
    }
    a[i][i] += 1.0;
  }
  auto negligible = [norm](double f) { return std::fabs(f) + norm == norm; };
  bool all = true;
  for (int k = n - 1; k >= 0; --k) {
    bool done = false;
    for (int sweep = 0; sweep < 30; ++sweep) {
      bool cancel = true;
      for (l = k; l >= 0; --l) {
        if (l == 0 || negligible(e[l])) {
          cancel = false;
          break;
        }
        if (negligible(w[l - 1])) break;
      }
      if (cancel) {
        double c = 0.0, s = 1.0;
        for (int i = l; i <= k; ++i) {
          const double f = s * e[i];
          e[i] = c * e[i];
          if (negligible(f)) break;
          const double g = w[i], h = referenceHypot(f, g), inverse = 1.0 / h;
          w[i] = h;
          c = g * inverse;
          s = -f * inverse;
          rotateColumns(a, l - 1, i, c, s);
        }
      }
      const double z = w[k];
      if (l == k) {
        if (z < 0.0) {
          w[k] = -z;
          for (auto& row : v) row[k] = -row[k];
        }
        done = true;
        break;
      }
      double x = w[l], y = w[k - 1], gg = e[k - 1], h = e[k];
      double f = ((y - z) * (y + z) + (gg - h) * (gg + h)) / (2.0 * h * y);
      gg = referenceHypot(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + referenceSign(gg, f))) - h)) / x;
      double c = 1.0, s = 1.0;
      for (int j = l; j < k; ++j) {
        const int i = j + 1;
        gg = e[i];
        y = w[i];
        h = s * gg;
        gg = c * gg;
        double r = referenceHypot(f, h);
        e[j] = r;
        c = f / r;
        s = h / r;
        f = x * c + gg * s;
        gg = gg * c - x * s;
        h = y * s;
        y *= c;
        rotateColumns(v, j, i, c, s);
        r = referenceHypot(f, h);
        w[j] = r;
        if (r != 0.0) {
          c = f * (1.0 / r);
          s = h * (1.0 / r);
        }
        f = c * gg + s * y;
        x = c * y - s * gg;
        rotateColumns(a, j, i, c, s);
      }
      e[l] = 0.0;
      e[k] = f;
      w[k] = x;
    }
    all = all && done;
  }
  return all;
}

// Decomposes `input` and compares every bit of U, w and V with the reference
// (any two NaNs count as equal: their payloads are not data). A matrix that
// converges must also give A = U·diag(w)·Vᵀ with values >= 0 and the installed
// LAPACK's values (beyond min(rows, cols) ours are zeros): a check of the
// reference as much as of the library.
void expectReferenceBits(const CColumnMatrix& input, bool converges = true) {
  const int rows = input.rows(), cols = input.cols();
  RowMatrix a(static_cast<std::size_t>(rows), std::vector<double>(cols)), rv;
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) a[i][j] = input(i, j);
  std::vector<double> rw, w;
  CColumnMatrix u = input, v;
  EXPECT_EQ(referenceSvd(a, rw, rv), converges);
  EXPECT_EQ(decomposeSingularValues(u, w, v), converges);
  auto differ = [](double x, double y) {
    return !(std::isnan(x) && std::isnan(y)) && std::memcmp(&x, &y, sizeof x) != 0;
  };
  int mismatches = 0;
  double worst = 0.0;
  for (int j = 0; j < cols; ++j) {
    mismatches += differ(w[j], rw[j]);
    for (int i = 0; i < rows; ++i) mismatches += differ(u(i, j), a[i][j]);
    for (int i = 0; i < cols; ++i) mismatches += differ(v(i, j), rv[i][j]);
    for (int i = 0; i < rows && converges; ++i) {
      double sum = 0.0;
      for (int k = 0; k < cols; ++k) sum += u(i, k) * w[k] * v(j, k);
      worst = std::max(worst, std::fabs(sum - input(i, j)));
    }
  }
  EXPECT_EQ(mismatches, 0) << rows << " x " << cols;
  if (!converges) return;
  EXPECT_LT(worst, 1e-12);
  EXPECT_GE(*std::min_element(w.begin(), w.end()), 0.0);
#ifdef TALIXDB_HAVE_LAPACK
  std::sort(w.rbegin(), w.rend());
  const std::vector<double> theirs = lapackValues(input);
  for (std::size_t k = 0; k < w.size(); ++k)
    EXPECT_NEAR(w[k], k < theirs.size() ? theirs[k] : 0.0, 1e-12 * (1.0 + theirs[0])) << k;
#endif
}

}  // namespace

// Tall, square and wide shapes (5000 × 70: several row blocks and more than
// one batch of collected rotations; row counts around the strip heights, so
// that aligned strips, rows before the first aligned one and rows after the
// last strip all occur), and exact zeros and repeats for the skipped-step and
// cancellation branches: a zero row, a zero column, a column of equal entries;
// a zero matrix; a diagonal of negatives and zeros. Every kernel set gives the
// same bits. A matrix with a NaN stops after thirty sweeps per value and says so.
TEST(Svd, DecomposesAsTheStepByStepAlgorithmDoes) {
  CColumnMatrix repeats = randomMatrix(9, 6, 17), diagonal(5, 5), withNan = randomMatrix(8, 4, 9);
  withNan(2, 1) = std::numeric_limits<double>::quiet_NaN();
  for (int j = 0; j < 6; ++j) repeats(4, j) = 0.0;
  for (int i = 0; i < 9; ++i) repeats(i, 2) = 0.0, repeats(i, 5) = 1.0;
  for (int k = 0; k < 5; k += 2) diagonal(k, k) = -1.0 - k;
  std::vector<CColumnMatrix> matrices{repeats, CColumnMatrix(6, 3), diagonal};
  const std::pair<int, int> shapes[] = {{1, 1}, {2, 2}, {7, 7}, {30, 4}, {200, 11}, {1500, 23}, {40, 40},
                                       {3, 8}, {1, 5}, {9, 25}, {5000, 70}, {37, 9}, {203, 37}, {1030, 18}};
  for (const auto& [rows, cols] : shapes) matrices.push_back(randomMatrix(rows, cols, 11u * rows + cols));
  using VLT_121::svd::KernelChoice;
  for (const KernelChoice choice : {KernelChoice::kPortable, KernelChoice::kAvx2, KernelChoice::kWidest}) {
    if (!VLT_121::svd::chooseKernels(choice)) continue;
    for (const CColumnMatrix& a : matrices) expectReferenceBits(a);
    expectReferenceBits(withNan, false);
  }
  VLT_121::svd::chooseKernels(KernelChoice::kWidest);
}
