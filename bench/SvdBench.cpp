// Times the decomposition against LAPACK's dgesvd (U over A, all of Vᵀ) on
// the same random matrices, and prints the seconds and their ratio: wall
// clock, and the process's CPU time, which a busy machine disturbs less.
//   talixdb_svd_bench [repeats]   (best of `repeats` runs, default 3)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <random>
#include <vector>

#include "results/Svd.h"

extern "C" void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda,
                        double* s, double* u, const int* ldu, double* vt, const int* ldvt, double* work,
                        const int* lwork, int* info);

namespace {

using Clock = std::chrono::steady_clock;

// Best wall-clock and best CPU seconds over the runs.
struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
};

class CStopwatch {
 public:
  CStopwatch() : m_start(Clock::now()), m_cpuStart(std::clock()) {}
  void record(Timing& timing) const {
    const double wall = std::chrono::duration<double>(Clock::now() - m_start).count();
    const double cpu = static_cast<double>(std::clock() - m_cpuStart) / CLOCKS_PER_SEC;
    timing.wall = std::min(timing.wall, wall);
    timing.cpu = std::min(timing.cpu, cpu);
  }

 private:
  Clock::time_point m_start;
  std::clock_t m_cpuStart;
};

VLT_121::CColumnMatrix randomMatrix(int rows, int cols) {
  std::mt19937_64 engine(static_cast<unsigned>(rows * 31 + cols));
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  VLT_121::CColumnMatrix a(rows, cols);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) a(i, j) = uniform(engine);
  return a;
}

Timing timeOurs(const VLT_121::CColumnMatrix& input, int repeats, double& largest) {
  Timing timing;
  for (int r = 0; r < repeats; ++r) {
    VLT_121::CColumnMatrix a = input;
    std::vector<double> w;
    VLT_121::CColumnMatrix v;
    const CStopwatch stopwatch;
    VLT_121::decomposeSingularValues(a, w, v);
    stopwatch.record(timing);
    largest = *std::max_element(w.begin(), w.end());
  }
  return timing;
}

Timing timeLapack(const VLT_121::CColumnMatrix& input, int repeats, double& largest) {
  const int m = input.rows();
  const int n = input.cols();
  int info = 0;
  int lwork = -1;
  double query = 0.0;
  double unusedU = 0.0;
  std::vector<double> s(static_cast<std::size_t>(n));
  std::vector<double> vt(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  VLT_121::CColumnMatrix a = input;
  dgesvd_("O", "A", &m, &n, a.column(0), &m, s.data(), &unusedU, &m, vt.data(), &n, &query, &lwork, &info);
  lwork = static_cast<int>(query);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  Timing timing;
  for (int r = 0; r < repeats; ++r) {
    a = input;
    const CStopwatch stopwatch;
    dgesvd_("O", "A", &m, &n, a.column(0), &m, s.data(), &unusedU, &m, vt.data(), &n, work.data(), &lwork, &info);
    stopwatch.record(timing);
    largest = s[0];
  }
  if (info != 0) std::printf("dgesvd info %d\n", info);
  return timing;
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::printf("%8s %5s | %10s %10s %6s | %10s %10s %6s | %12s\n", "rows", "cols", "ours wall", "dgesvd", "ratio",
              "ours CPU", "dgesvd", "ratio", "max s diff");
  for (int rows : {10000, 100000}) {
    for (int cols : {11, 51, 101}) {
      const VLT_121::CColumnMatrix a = randomMatrix(rows, cols);
      double ourLargest = 0.0;
      double theirLargest = 0.0;
      const Timing ours = timeOurs(a, repeats, ourLargest);
      const Timing theirs = timeLapack(a, repeats, theirLargest);
      std::printf("%8d %5d | %9.4fs %9.4fs %6.2f | %9.4fs %9.4fs %6.2f | %12.3g\n", rows, cols, ours.wall,
                  theirs.wall, ours.wall / theirs.wall, ours.cpu, theirs.cpu, ours.cpu / theirs.cpu,
                  ourLargest - theirLargest);
      std::fflush(stdout);
    }
  }
  return 0;
}
