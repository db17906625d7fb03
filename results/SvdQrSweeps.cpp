#include <algorithm>
#include <cmath>

#include "results/GolubReinsch.h"

namespace VLT_121 {
namespace svd {

namespace {

constexpr int kMaxSweeps = 30;

}  // namespace

// Implicit-shift QR on the bidiagonal form, for each singular value from the
// last to the first. The rotations of V are applied at once; those of U are
// collected and applied in batches, a strip of rows at a time through the
// whole batch (they never feed back into the bidiagonal entries, so the
// values and their order are those of applying each at once).
bool CGolubReinsch::diagonalize() {
  const int n = m_iCols;
  std::vector<double>& w = m_w;
  std::vector<double>& rv1 = m_vecSuper;
  const auto vRows = static_cast<std::size_t>(n);
  bool allConverged = true;
  for (int k = n - 1; k >= 0; --k) {
    bool converged = false;
    for (int sweep = 1; sweep <= kMaxSweeps; ++sweep) {
      // Find l: rv1[l] negligible (split), or w[l-1] negligible (cancel first).
      int l = k;
      bool cancel = true;
      for (; l >= 0; --l) {
        if (l == 0 || isNegligible(rv1[l])) {
          cancel = false;
          break;
        }
        if (isNegligible(w[l - 1])) break;
      }
      if (cancel) {
        const int nm = l - 1;
        double c = 0.0;
        double s = 1.0;
        for (int i = l; i <= k; ++i) {
          const double f = s * rv1[i];
          rv1[i] = c * rv1[i];
          if (isNegligible(f)) break;
          const double g = w[i];
          double h = hypotenuse(f, g);
          w[i] = h;
          h = 1.0 / h;
          c = g * h;
          s = -f * h;
          recordLeftRotation(nm, i, c, s);
        }
      }
      const double z = w[k];
      if (l == k) {
        if (z < 0.0) {
          w[k] = -z;
          double* vk = m_v.column(k);
          for (std::size_t r = 0; r < vRows; ++r) vk[r] = -vk[r];
        }
        converged = true;
        break;
      }

      // Shift from the bottom 2 × 2 minor, then one QR sweep from l to k.
      double x = w[l];
      const int nm = k - 1;
      double y = w[nm];
      double g = rv1[nm];
      double h = rv1[k];
      double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
      g = hypotenuse(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + signOf(g, f))) - h)) / x;
      double c = 1.0;
      double s = 1.0;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = rv1[i];
        y = w[i];
        h = s * g;
        g = c * g;
        double r = hypotenuse(f, h);
        rv1[j] = r;
        c = f / r;
        s = h / r;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        rotate(m_v.column(j), m_v.column(i), vRows, c, s);
        r = hypotenuse(f, h);
        w[j] = r;
        if (r != 0.0) {
          r = 1.0 / r;
          c = f * r;
          s = h * r;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        recordLeftRotation(j, i, c, s);
      }
      rv1[l] = 0.0;
      rv1[k] = f;
      w[k] = x;
    }
    if (!converged) allConverged = false;
  }
  applyLeftRotations();
  return allConverged;
}

void CGolubReinsch::recordLeftRotation(int first, int second, double c, double s) {
  if (m_vecRotations.size() == kRotationBatch) applyLeftRotations();
  m_vecRotations.push_back(PlaneRotation{first, second, c, s});
}

void CGolubReinsch::applyLeftRotations() {
  applyRotations(m_vecRotations.data(), m_vecRotations.size(), store(), static_cast<std::size_t>(m_iRows));
  m_vecRotations.clear();
}

}  // namespace svd
}  // namespace VLT_121
