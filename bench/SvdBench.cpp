// Times the decomposition against LAPACK's dgesvd (U over A, all of Vᵀ) on
// the same random matrices, for two LAPACKs loaded side by side in one run:
// OpenBLAS (one thread) and the reference LAPACK on the reference BLAS. Each
// is loaded from its own Debian directory into a namespace of its own, so the
// libblas.so.3 / liblapack.so.3 alternatives of the system do not matter.
// Prints the median process CPU seconds of `repeats` runs (runs of the three
// interleaved, so that a busy machine disturbs them alike) and the ratios.
//   talixdb_svd_bench [repeats]   (default 5)
// Environment: TALIXDB_BENCH_OPENBLAS (path of OpenBLAS's liblapack.so.3),
// TALIXDB_BENCH_REFERENCE_BLAS and TALIXDB_BENCH_REFERENCE_LAPACK override
// the Debian paths.
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "results/Svd.h"

namespace {

using Dgesvd = void(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda,
                    double* s, double* u, const int* ldu, double* vt, const int* ldvt, double* work,
                    const int* lwork, int* info);

const char* pathOr(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// dgesvd_ of the last of `paths`, each loaded into one new link namespace in
// order (so a LAPACK finds the BLAS loaded before it); null if one is missing.
Dgesvd* loadLapack(const char* name, const std::vector<std::string>& paths) {
  Lmid_t space = LM_ID_NEWLM;
  void* handle = nullptr;
  for (const std::string& path : paths) {
    handle = dlmopen(space, path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      std::printf("%s: not loaded (%s)\n", name, dlerror());
      return nullptr;
    }
    dlinfo(handle, RTLD_DI_LMID, &space);
  }
  using SetThreads = void(int);
  using GetThreads = int();
  std::string threads;
  if (auto* setThreads = reinterpret_cast<SetThreads*>(dlsym(handle, "openblas_set_num_threads"))) {
    setThreads(1);
    if (auto* getThreads = reinterpret_cast<GetThreads*>(dlsym(handle, "openblas_get_num_threads")))
      threads = ", threads: " + std::to_string(getThreads());
  }
  auto* dgesvd = reinterpret_cast<Dgesvd*>(dlsym(handle, "dgesvd_"));
  Dl_info info{};
  if (dgesvd != nullptr && dladdr(reinterpret_cast<void*>(dgesvd), &info) != 0)
    std::printf("%s: dgesvd_ from %s%s\n", name, info.dli_fname, threads.c_str());
  return dgesvd;
}

VLT_121::CColumnMatrix randomMatrix(int rows, int cols) {
  std::mt19937_64 engine(static_cast<unsigned>(rows * 31 + cols));
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  VLT_121::CColumnMatrix a(rows, cols);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) a(i, j) = uniform(engine);
  return a;
}

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : 0.5 * (values[half - 1] + values[half]);
}

// One timed run of ours; returns the largest singular value.
double runOurs(const VLT_121::CColumnMatrix& input, std::vector<double>& seconds) {
  VLT_121::CColumnMatrix a = input;
  std::vector<double> w;
  VLT_121::CColumnMatrix v;
  const double start = cpuSeconds();
  VLT_121::decomposeSingularValues(a, w, v);
  seconds.push_back(cpuSeconds() - start);
  return *std::max_element(w.begin(), w.end());
}

// One timed run of dgesvd (workspace query untimed); returns the largest
// singular value.
double runLapack(Dgesvd* dgesvd, const VLT_121::CColumnMatrix& input, std::vector<double>& seconds) {
  const int m = input.rows();
  const int n = input.cols();
  int info = 0;
  int lwork = -1;
  double query = 0.0;
  double unusedU = 0.0;
  std::vector<double> s(static_cast<std::size_t>(n));
  std::vector<double> vt(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  VLT_121::CColumnMatrix a = input;
  dgesvd("O", "A", &m, &n, a.column(0), &m, s.data(), &unusedU, &m, vt.data(), &n, &query, &lwork, &info);
  lwork = static_cast<int>(query);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  const double start = cpuSeconds();
  dgesvd("O", "A", &m, &n, a.column(0), &m, s.data(), &unusedU, &m, vt.data(), &n, work.data(), &lwork, &info);
  seconds.push_back(cpuSeconds() - start);
  if (info != 0) std::printf("dgesvd info %d\n", info);
  return s[0];
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  setenv("OPENBLAS_NUM_THREADS", "1", 1);
  Dgesvd* openBlas = loadLapack(
      "OpenBLAS", {pathOr("TALIXDB_BENCH_OPENBLAS", "/usr/lib/x86_64-linux-gnu/openblas-pthread/liblapack.so.3")});
  Dgesvd* reference = loadLapack(
      "reference",
      {pathOr("TALIXDB_BENCH_REFERENCE_BLAS", "/usr/lib/x86_64-linux-gnu/blas/libblas.so.3"),
       pathOr("TALIXDB_BENCH_REFERENCE_LAPACK", "/usr/lib/x86_64-linux-gnu/lapack/liblapack.so.3")});

  std::printf("median CPU seconds of %d runs\n", repeats);
  std::printf("%8s %5s | %9s | %9s %6s | %9s %6s | %12s\n", "rows", "cols", "ours", "OpenBLAS", "ratio", "reference",
              "ratio", "max s diff");
  for (int rows : {10000, 100000}) {
    for (int cols : {11, 51, 101}) {
      const VLT_121::CColumnMatrix a = randomMatrix(rows, cols);
      std::vector<double> ours;
      std::vector<double> fast;
      std::vector<double> plain;
      double ourLargest = 0.0;
      double theirLargest = 0.0;
      for (int r = 0; r < repeats; ++r) {
        ourLargest = runOurs(a, ours);
        if (openBlas != nullptr) theirLargest = runLapack(openBlas, a, fast);
        if (reference != nullptr) theirLargest = runLapack(reference, a, plain);
      }
      const double mine = median(ours);
      const double fastest = fast.empty() ? 0.0 : median(fast);
      const double slowest = plain.empty() ? 0.0 : median(plain);
      std::printf("%8d %5d | %8.4fs | %8.4fs %6.2f | %8.4fs %6.2f | %12.3g\n", rows, cols, mine, fastest,
                  fast.empty() ? 0.0 : mine / fastest, slowest, plain.empty() ? 0.0 : mine / slowest,
                  ourLargest - theirLargest);
      std::fflush(stdout);
    }
  }
  return 0;
}
