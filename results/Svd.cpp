#include "results/Svd.h"

#include <algorithm>

#include "results/GolubReinsch.h"

namespace VLT_121 {

CColumnMatrix::CColumnMatrix(int rows, int cols) : m_iRows(std::max(rows, 0)), m_iCols(std::max(cols, 0)) {
  m_vecData.assign(static_cast<std::size_t>(m_iRows) * static_cast<std::size_t>(m_iCols), 0.0);
}

bool decomposeSingularValues(CColumnMatrix& a, std::vector<double>& w, CColumnMatrix& v) {
  return svd::CGolubReinsch(a, w, v).run();
}

namespace svd {

CGolubReinsch::CGolubReinsch(CColumnMatrix& a, std::vector<double>& w, CColumnMatrix& v)
    : m_a(a), m_w(w), m_v(v), m_iRows(a.rows()), m_iCols(a.cols()) {
  const auto n = static_cast<std::size_t>(m_iCols);
  m_w.assign(n, 0.0);
  m_v = CColumnMatrix(m_iCols, m_iCols);
  m_vecSuper.assign(n, 0.0);
  m_vecFactor.assign(n, 0.0);
  m_vecSums.assign(n, 0.0);
  m_vecNextSums.assign(n, 0.0);
  m_vecRow.assign(n, 0.0);
  m_vecColumn.assign(static_cast<std::size_t>(m_iRows), 0.0);
  m_vecRotations.reserve(kRotationBatch);
}

bool CGolubReinsch::run() {
  if (m_iCols == 0) return true;
  reduceToBidiagonal();
  accumulateRight();
  accumulateLeft();
  return diagonalize();
}

}  // namespace svd

}  // namespace VLT_121
