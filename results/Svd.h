// Singular value decomposition A = U · diag(w) · Vᵀ by the Golub–Reinsch
// algorithm: Householder reduction to bidiagonal form, then implicit-shift QR
// sweeps. The modes of a surface are the columns of U, so the order and signs
// it leaves them in are part of the stored data; the decomposition keeps the
// algorithm's sequence of floating-point operations while arranging the work
// for the cache.
#pragma once

#include <cstddef>
#include <vector>

namespace VLT_121 {

// A dense matrix stored column by column (each column contiguous).
class CColumnMatrix {
 public:
  CColumnMatrix() = default;
  // rows × cols zeros; negative sizes count as 0.
  CColumnMatrix(int rows, int cols);

  int rows() const { return m_iRows; }
  int cols() const { return m_iCols; }
  double& operator()(int row, int col) { return m_vecData[index(row, col)]; }
  double operator()(int row, int col) const { return m_vecData[index(row, col)]; }
  double* column(int col) { return m_vecData.data() + index(0, col); }
  const double* column(int col) const { return m_vecData.data() + index(0, col); }

 private:
  std::size_t index(int row, int col) const {
    return static_cast<std::size_t>(col) * static_cast<std::size_t>(m_iRows) + static_cast<std::size_t>(row);
  }

  int m_iRows = 0;
  int m_iCols = 0;
  std::vector<double> m_vecData;
};

// Decomposes the m × n matrix `a` (m < n allowed). On return `a` holds U
// (m × n), `w` the n singular values in the order the algorithm leaves them
// (not sorted) and `v` the n × n matrix V. A value that converged is made
// non-negative (its column of V changes sign with it). A value still not
// converged after 30 QR sweeps is kept as it stands and the decomposition
// goes on; the result is then false.
bool decomposeSingularValues(CColumnMatrix& a, std::vector<double>& w, CColumnMatrix& v);

}  // namespace VLT_121
