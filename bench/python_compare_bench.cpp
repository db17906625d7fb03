// The C++ half of bench/python_bench.py: the same work as the Python module
// does there, through the library alone, timed the same way.
//
//   talixdb_python_compare_bench ADDRESS MODELPATH SOLVER SURFACE REPORTS LARGESURFACE
//
// Logs in as a free pool user, then reads the modal amplitudes of reports
// 1..REPORTS of SURFACE (one getModalAmplitudes each) and downloads report 1
// of LARGESURFACE into memory (downloadSurface). Prints one line:
// "amplitudes SECONDS CPUSECONDS download SECONDS CPUSECONDS BYTES" (wall
// time, then this process's processor time). Exit status 1 on a failure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "talixdbapi/VLTDatabase.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double cpuSecondsSince(std::clock_t start) { return double(std::clock() - start) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s ADDRESS MODELPATH SOLVER SURFACE REPORTS LARGESURFACE\n", argv[0]);
    return 2;
  }
  const char* modelPath = argv[2];
  const char* solver = argv[3];
  const char* surface = argv[4];
  const int reports = std::atoi(argv[5]);
  const char* largeSurface = argv[6];

  VLT_121::CVLTDatabase db;
  if (!db.open(argv[1]) || !db.login("cfduser", "", "Default", 1)) {
    std::fprintf(stderr, "cannot open or log in at %s\n", argv[1]);
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  double checksum = 0;
  for (int number = 1; number <= reports; ++number) {
    double* amplitudes = nullptr;
    int count = db.getModalAmplitudes(modelPath, solver, surface, number, amplitudes);
    if (amplitudes == nullptr) {
      std::fprintf(stderr, "no amplitudes for report %d\n", number);
      return 1;
    }
    checksum += count > 0 ? amplitudes[0] : 0;
    db.releaseMemory(amplitudes);
  }
  const double amplitudeSeconds = secondsSince(start);
  const double amplitudeCpu = cpuSecondsSince(cpuStart);

  start = std::chrono::steady_clock::now();
  cpuStart = std::clock();
  char* data = nullptr;
  long size = db.downloadSurface(modelPath, solver, 1, largeSurface, data);
  const double downloadSeconds = secondsSince(start);
  const double downloadCpu = cpuSecondsSince(cpuStart);
  if (data == nullptr) {
    std::fprintf(stderr, "the large report did not download\n");
    return 1;
  }
  db.releaseMemory(data);
  db.logout();
  std::printf("amplitudes %.6f %.6f download %.6f %.6f %ld (%g)\n", amplitudeSeconds, amplitudeCpu, downloadSeconds,
              downloadCpu, size, checksum);
  return 0;
}
