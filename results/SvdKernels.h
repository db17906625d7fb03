// The passes of the singular value decomposition (GolubReinsch.h) over the
// tall matrix, as kernels that work on strips of rows held in registers.
// Every element goes through exactly the operations of the textbook order
// (each sum added up term by term in its own order, no fused multiply-add),
// so the results are the same bits whichever kernels run; the vector
// kernels only compute independent rows or columns side by side.
// Internal to the results code.
#pragma once

#include <cstddef>

namespace VLT_121 {
namespace svd {

struct PlaneRotation {
  int first;
  int second;
  double c;
  double s;
};

// A column-major matrix: column j starts at data + j · stride.
struct ColumnStore {
  double* data;
  std::size_t stride;
  double* column(int j) const { return data + static_cast<std::size_t>(j) * stride; }
};

// One step of the Householder reduction on the rows below its pivot, for the
// columns [firstColumn, endColumn):
//   left  (leftFactors set): A[r][j] += leftFactors[j] · householder[r],
//         then householder[r] *= leftScale;
//   right (rightRow set):    d = Σ_j A[r][j] · rightRow[j] in column order,
//         then A[r][j] += d · rightFactors[j].
struct TrailingUpdate {
  ColumnStore a;
  int firstColumn;
  int endColumn;
  double* householder;
  const double* leftFactors;
  double leftScale;
  const double* rightRow;
  const double* rightFactors;
};

// Applies `step` to rows [beginRow, endRow) and returns `absSum` plus the
// absolute values of the updated column firstColumn over those rows, added
// in row order (the scale of the next step).
double updateTrailingRows(const TrailingUpdate& step, std::size_t beginRow, std::size_t endRow, double absSum);

// A pass down the columns [firstColumn, endColumn) over some rows:
//   update (factors set): A[r][j] += factors[j] · u[r] for j >= firstUpdated;
//   dots   (x set):       sums[j] += x[r] · A[r][j] (updated), row by row.
struct ColumnPass {
  ColumnStore a;
  int firstColumn;
  int endColumn;
  const double* factors;
  const double* u;
  int firstUpdated;
  const double* x;
  double* sums;
};

void runColumnPass(const ColumnPass& pass, std::size_t beginRow, std::size_t endRow);

// Applies the rotations in order to the columns they name, on every row:
// (p, q) <- (p·c + q·s, q·c - p·s).
void applyRotations(const PlaneRotation* rotations, std::size_t count, ColumnStore a, std::size_t rows);

// The kernels run with the widest instruction set the processor has. Tests
// pick narrower ones to compare them; false when the processor lacks it.
enum class KernelChoice { kWidest, kAvx2, kPortable };
bool chooseKernels(KernelChoice choice);

}  // namespace svd
}  // namespace VLT_121
