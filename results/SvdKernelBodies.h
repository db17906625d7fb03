// The bodies of the kernels of SvdKernels.h. Included on purpose once per
// instruction set by SvdKernels.cpp (no include guard), each time into a
// namespace of its own, so that every helper here is compiled for the
// instruction set it runs with.
// Needs <cmath>, results/SvdKernels.h, SVD_VECTOR_LANES and kRotationVectors.

// SVD_VECTOR_LANES (2 or 4, set by the includer) consecutive rows of one column.
constexpr int kVectorLanes = SVD_VECTOR_LANES;
typedef double Vec __attribute__((vector_size(8 * kVectorLanes)));
typedef double UnalignedVec __attribute__((vector_size(8 * kVectorLanes), aligned(8)));
typedef long long Lanes __attribute__((vector_size(8 * kVectorLanes)));

// One row at a time.
struct Scalar {
  using T = double;
  static constexpr std::size_t kLanes = 1;
  static SVD_INLINE T load(const double* p) { return *p; }
  static SVD_INLINE void store(double* p, T v) { *p = v; }
  static SVD_INLINE T splat(double x) { return x; }
};

struct Vector {
  using T = Vec;
  static constexpr std::size_t kLanes = kVectorLanes;
  static SVD_INLINE T load(const double* p) { return *reinterpret_cast<const UnalignedVec*>(p); }
  static SVD_INLINE void store(double* p, const T& v) { *reinterpret_cast<UnalignedVec*>(p) = v; }
#if SVD_VECTOR_LANES == 4
  static SVD_INLINE T splat(double x) { return T{x, x, x, x}; }
#else
  static SVD_INLINE T splat(double x) { return T{x, x}; }
#endif
};

// Rows per strip of the vector kernels, in vectors: four for the reduction,
// kRotationVectors (set by the includer) for the rotations.
constexpr int kStripVectors = 4;
constexpr std::size_t kStripRows = kStripVectors * Vector::kLanes;
constexpr std::size_t kRotationRows = kRotationVectors * Vector::kLanes;
// How far ahead of a strip the reduction fetches its columns into the
// second-level cache, in rows.
constexpr std::size_t kPrefetchRows = 128;

// The first row from `begin` on (at most `end`) whose element in `column`
// starts a vector-sized line; vectors that do not straddle lines load and
// store faster. With a row count divisible by the lanes every column lines up
// alike.
SVD_INLINE std::size_t firstAlignedRow(const double* column, std::size_t begin, std::size_t end) {
  std::size_t r = begin;
  while (r < end && reinterpret_cast<std::uintptr_t>(column + r) % sizeof(Vec) != 0) ++r;
  return r;
}

// ---- the reduction's update of the rows below the pivot ---------------------

// W × L::kLanes rows starting at r: the left transformation, then the right
// one, whose row dot products stay in registers. The second sweep repeats
// the left update instead of reading back a stored copy (same bits).
template <class L, int W, bool Left, bool Right>
SVD_INLINE double trailingStrip(const TrailingUpdate& step, std::size_t r, double absSum) {
  using T = typename L::T;
  constexpr std::size_t lanes = L::kLanes;
  double* const data = step.a.data + r;
  const std::size_t stride = step.a.stride;
  const int first = step.firstColumn;
  const int end = step.endColumn;
  const double* const leftFactors = step.leftFactors;
  const double* const rightRow = step.rightRow;
  const double* const rightFactors = step.rightFactors;
  T v[W];
  T d[W];
  if (Left)
    SVD_UNROLL
    for (int w = 0; w < W; ++w) v[w] = L::load(step.householder + r + w * lanes);
  if (Right)
    SVD_UNROLL
    for (int w = 0; w < W; ++w) d[w] = L::splat(0.0);
  if (Left || Right) {
    for (int j = first; j < end; ++j) {
      double* cj = data + static_cast<std::size_t>(j) * stride;
      if (lanes > 1) {
        SVD_UNROLL
        for (std::size_t k = 0; k < W * lanes; k += 8) __builtin_prefetch(cj + kPrefetchRows + k, 1, 2);
      }
      SVD_UNROLL
      for (int w = 0; w < W; ++w) {
        T x = L::load(cj + w * lanes);
        if (Left) x = x + L::splat(leftFactors[j]) * v[w];
        if (Right) {
          d[w] = d[w] + x * L::splat(rightRow[j]);
        } else {
          L::store(cj + w * lanes, x);
        }
      }
    }
  }
  if (Right) {
    for (int j = first; j < end; ++j) {
      double* cj = data + static_cast<std::size_t>(j) * stride;
      SVD_UNROLL
      for (int w = 0; w < W; ++w) {
        T x = L::load(cj + w * lanes);
        if (Left) x = x + L::splat(leftFactors[j]) * v[w];
        x = x + d[w] * L::splat(rightFactors[j]);
        L::store(cj + w * lanes, x);
      }
    }
  }
  if (Left)
    SVD_UNROLL
    for (int w = 0; w < W; ++w) L::store(step.householder + r + w * lanes, v[w] * L::splat(step.leftScale));
  if (first < end) {
    const double* pivotColumn = data + static_cast<std::size_t>(first) * stride;
    SVD_UNROLL
    for (std::size_t k = 0; k < W * lanes; ++k) absSum += std::fabs(pivotColumn[k]);
  }
  return absSum;
}

template <bool Left, bool Right>
SVD_INLINE double trailingRows(const TrailingUpdate& step, std::size_t begin, std::size_t end, double absSum) {
  std::size_t r = begin;
  const std::size_t aligned = firstAlignedRow(step.a.column(step.firstColumn), begin, end);
  for (; r < aligned; ++r) absSum = trailingStrip<Scalar, 1, Left, Right>(step, r, absSum);
  for (; r + kStripRows <= end; r += kStripRows)
    absSum = trailingStrip<Vector, kStripVectors, Left, Right>(step, r, absSum);
  for (; r < end; ++r) absSum = trailingStrip<Scalar, 1, Left, Right>(step, r, absSum);
  return absSum;
}

double updateTrailingRows(const TrailingUpdate& step, std::size_t begin, std::size_t end, double absSum) {
  const bool left = step.leftFactors != nullptr;
  const bool right = step.rightRow != nullptr;
  if (left && right) return trailingRows<true, true>(step, begin, end, absSum);
  if (left) return trailingRows<true, false>(step, begin, end, absSum);
  if (right) return trailingRows<false, true>(step, begin, end, absSum);
  return trailingRows<false, false>(step, begin, end, absSum);
}

// ---- passes down the columns: updates and dot products -----------------------

constexpr int kGroupWidth = kVectorLanes;  // columns side by side in one vector

// kGroupWidth columns side by side; lanes past the matrix's last column
// repeat a real column and are neither updated nor summed.
struct ColumnGroup {
  double* column[kGroupWidth];
  bool update[kGroupWidth];
  int count;
};

// p[q] holds rows r.. of column q -> t[k] holds row r + k of the columns.
SVD_INLINE void transpose(const Vec p[kGroupWidth], Vec t[kGroupWidth]) {
#if SVD_VECTOR_LANES == 4
    const Vec lo01 = __builtin_shuffle(p[0], p[1], Lanes{0, 4, 2, 6});
    const Vec hi01 = __builtin_shuffle(p[0], p[1], Lanes{1, 5, 3, 7});
    const Vec lo23 = __builtin_shuffle(p[2], p[3], Lanes{0, 4, 2, 6});
    const Vec hi23 = __builtin_shuffle(p[2], p[3], Lanes{1, 5, 3, 7});
    t[0] = __builtin_shuffle(lo01, lo23, Lanes{0, 1, 4, 5});
    t[1] = __builtin_shuffle(hi01, hi23, Lanes{0, 1, 4, 5});
    t[2] = __builtin_shuffle(lo01, lo23, Lanes{2, 3, 6, 7});
    t[3] = __builtin_shuffle(hi01, hi23, Lanes{2, 3, 6, 7});
#else
    t[0] = __builtin_shuffle(p[0], p[1], Lanes{0, 2});
    t[1] = __builtin_shuffle(p[0], p[1], Lanes{1, 3});
#endif
}

// G groups of columns over rows [begin, end). The products of a tile of rows
// are formed column-wise, transposed, and added to the running sums one row
// after the other, so every column's sum keeps its row order.
template <int G, bool Update, bool Dots>
SVD_INLINE void columnGroups(const ColumnPass& pass, const ColumnGroup* groups, const double* factors,
                             std::size_t begin, std::size_t end, double* sums) {
  constexpr int L = kGroupWidth;
  const double* const x = pass.x;
  const double* const u = pass.u;
  double* column[L * G];
  bool update[L * G];
  for (int g = 0; g < G; ++g) {
    for (int q = 0; q < L; ++q) {
      column[L * g + q] = groups[g].column[q];
      update[L * g + q] = groups[g].update[q];
    }
  }
  // One row over all columns of the groups, as the scalar steps do it.
  auto scalarRow = [&](std::size_t r) SVD_INLINE_LAMBDA {
    for (int g = 0; g < G; ++g) {
      for (int q = 0; q < groups[g].count; ++q) {
        double* c = column[L * g + q] + r;
        if (Update && update[L * g + q]) *c = *c + factors[L * g + q] * u[r];
        if (Dots) sums[L * g + q] = sums[L * g + q] + x[r] * *c;
      }
    }
  };
  std::size_t r = begin;
  const std::size_t aligned = firstAlignedRow(column[0], begin, end);
  for (; r < aligned; ++r) scalarRow(r);
  Vec acc[G];
  if (Dots) {
    SVD_UNROLL
    for (int g = 0; g < G; ++g) acc[g] = Vector::load(sums + L * g);
  }
  for (; r + L <= end; r += L) {
    Vec xr{};
    Vec ur{};
    if (Dots) xr = Vector::load(x + r);
    if (Update) ur = Vector::load(u + r);
    SVD_UNROLL
    for (int g = 0; g < G; ++g) {
      Vec p[L];
      SVD_UNROLL
      for (int q = 0; q < L; ++q) {
        double* c = column[L * g + q] + r;
        Vec y = Vector::load(c);
        if (Update && update[L * g + q]) {
          y = y + Vector::splat(factors[L * g + q]) * ur;
          Vector::store(c, y);
        }
        if (Dots) p[q] = xr * y;
      }
      if (Dots) {
        Vec t[L];
        transpose(p, t);
        SVD_UNROLL
        for (int k = 0; k < L; ++k) acc[g] = acc[g] + t[k];
      }
    }
  }
  if (Dots) {
    SVD_UNROLL
    for (int g = 0; g < G; ++g) Vector::store(sums + L * g, acc[g]);
  }
  for (; r < end; ++r) scalarRow(r);
}

// columnGroups for the `count` groups there are (at most G).
template <int G, bool Update, bool Dots>
SVD_INLINE void someColumnGroups(int count, const ColumnPass& pass, const ColumnGroup* groups,
                                 const double* factors, std::size_t begin, std::size_t end, double* sums) {
  if constexpr (G > 1) {
    if (count < G) {
      someColumnGroups<G - 1, Update, Dots>(count, pass, groups, factors, begin, end, sums);
      return;
    }
  }
  columnGroups<G, Update, Dots>(pass, groups, factors, begin, end, sums);
}

template <bool Update, bool Dots>
SVD_INLINE void columnPassOf(const ColumnPass& pass, std::size_t begin, std::size_t end) {
  constexpr int L = kGroupWidth;
  constexpr int kGroups = 16 / L;  // sixteen columns stream down together
  ColumnGroup groups[kGroups];
  double factors[L * kGroups];
  double sums[L * kGroups];
  for (int j = pass.firstColumn; j < pass.endColumn; j += L * kGroups) {
    const int width = pass.endColumn - j < L * kGroups ? pass.endColumn - j : L * kGroups;
    const int count = (width + L - 1) / L;
    for (int g = 0; g < count; ++g) {
      ColumnGroup& group = groups[g];
      group.count = width - L * g < L ? width - L * g : L;
      for (int q = 0; q < L; ++q) {
        const int column = j + L * g + (q < group.count ? q : 0);
        group.column[q] = pass.a.column(column);
        group.update[q] = q < group.count && column >= pass.firstUpdated;
        factors[L * g + q] = Update ? pass.factors[column] : 0.0;
        sums[L * g + q] = Dots ? pass.sums[column] : 0.0;
      }
    }
    someColumnGroups<kGroups, Update, Dots>(count, pass, groups, factors, begin, end, sums);
    if (Dots)
      for (int k = 0; k < width; ++k) pass.sums[j + k] = sums[k];
  }
}

void runColumnPass(const ColumnPass& pass, std::size_t begin, std::size_t end) {
  const bool update = pass.factors != nullptr;
  const bool dots = pass.x != nullptr;
  if (update && dots) columnPassOf<true, true>(pass, begin, end);
  else if (update) columnPassOf<true, false>(pass, begin, end);
  else if (dots) columnPassOf<false, true>(pass, begin, end);
}

// ---- plane rotations ---------------------------------------------------------

// All rotations on W × L::kLanes rows starting at r. When the next rotation
// starts from a column this one writes (a QR sweep passes its second column
// on, a cancellation keeps its first), that column stays in registers.
template <class L, int W>
SVD_INLINE void rotateStrip(const PlaneRotation* rotations, std::size_t count, ColumnStore a, std::size_t r) {
  using T = typename L::T;
  constexpr std::size_t lanes = L::kLanes;
  double* const data = a.data + r;
  const std::size_t stride = a.stride;
  T carry[W];
  bool carried = false;
  for (std::size_t k = 0; k < count; ++k) {
    const PlaneRotation rotation = rotations[k];
    double* p = data + static_cast<std::size_t>(rotation.first) * stride;
    double* q = data + static_cast<std::size_t>(rotation.second) * stride;
    const T c = L::splat(rotation.c);
    const T s = L::splat(rotation.s);
    T y[W];
    T z[W];
    SVD_UNROLL
    for (int w = 0; w < W; ++w) {
      y[w] = carried ? carry[w] : L::load(p + w * lanes);
      z[w] = L::load(q + w * lanes);
    }
    const int next = k + 1 < count ? rotations[k + 1].first : -1;
    if (next == rotation.first) {
      SVD_UNROLL
      for (int w = 0; w < W; ++w) {
        carry[w] = y[w] * c + z[w] * s;
        L::store(q + w * lanes, z[w] * c - y[w] * s);
      }
      carried = true;
    } else if (next == rotation.second) {
      SVD_UNROLL
      for (int w = 0; w < W; ++w) {
        L::store(p + w * lanes, y[w] * c + z[w] * s);
        carry[w] = z[w] * c - y[w] * s;
      }
      carried = true;
    } else {
      SVD_UNROLL
      for (int w = 0; w < W; ++w) {
        L::store(p + w * lanes, y[w] * c + z[w] * s);
        L::store(q + w * lanes, z[w] * c - y[w] * s);
      }
      carried = false;
    }
  }
}

void applyRotations(const PlaneRotation* rotations, std::size_t count, ColumnStore a, std::size_t rows) {
  std::size_t r = 0;
  const std::size_t aligned = firstAlignedRow(a.data, 0, rows);
  for (; r < aligned; ++r) rotateStrip<Scalar, 1>(rotations, count, a, r);
  for (; r + kRotationRows <= rows; r += kRotationRows) rotateStrip<Vector, kRotationVectors>(rotations, count, a, r);
  for (; r < rows; ++r) rotateStrip<Scalar, 1>(rotations, count, a, r);
}
