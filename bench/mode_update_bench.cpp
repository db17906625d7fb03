// (b) One mode update of a surface with N = 100,000 values and M = 50 modes,
// against a stand-in server on loopback, broken down into its steps:
// download of the modes file, parsing, projection, decomposition, formatting
// and upload. Then the same update end to end through uploadSurface.
//
// The local steps (parse, projection, decomposition, formatting) run
// `repeats` times each and report their median (wall clock; the process's CPU
// time beside it), the transfers and the end-to-end update once.
//
//   talixdb_mode_update_bench [N] [M] [repeats]   (default 100000 50 5)
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "client/QuillonBinding.h"
#include "client/RepositoryClient.h"
#include "client/RepositorySession.h"
#include "results/ModeUpdate.h"
#include "results/PcaModesFile.h"
#include "results/Svd.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

using namespace VLT_121;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : 0.5 * (values[half - 1] + values[half]);
}

// Median wall and CPU seconds of `repeats` runs of `work`.
struct StepTime {
  double wall = 0.0;
  double cpu = 0.0;
};

template <typename Work>
StepTime timeStep(int repeats, Work work) {
  std::vector<double> wall;
  std::vector<double> cpu;
  for (int r = 0; r < repeats; ++r) {
    const Clock::time_point start = Clock::now();
    const double cpuStart = cpuSeconds();
    work();
    cpu.push_back(cpuSeconds() - cpuStart);
    wall.push_back(secondsSince(start));
  }
  return StepTime{median(wall), median(cpu)};
}

std::string reportBytes(const std::vector<double>& values) {
  std::string bytes = "TALIX_Report_2";
  bytes.push_back('\0');
  bytes.append(25, ' ');
  bytes += std::to_string(values.size()) + "\n";
  char line[64];
  for (double v : values) {
    std::snprintf(line, sizeof line, "%.17g\n", v);
    bytes += line;
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int m = argc > 2 ? std::atoi(argv[2]) : 50;
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  talixdb_test::TestServer server({"--quiet"});

  // M orthonormal-enough random modes with decreasing weights, and a report
  // that they do not reproduce, so that the update merges.
  std::mt19937_64 random(42);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::vector<double> weights(static_cast<size_t>(m)), components(static_cast<size_t>(n) * m);
  for (int i = 0; i < m; ++i) {
    double norm = 0;
    for (int j = 0; j < n; ++j) {
      double value = gauss(random);
      components[static_cast<size_t>(i) * n + j] = value;
      norm += value * value;
    }
    for (int j = 0; j < n; ++j) components[static_cast<size_t>(i) * n + j] /= std::sqrt(norm);
    weights[static_cast<size_t>(i)] = 100.0 / (i + 1);
  }
  std::vector<double> x(static_cast<size_t>(n));
  for (double& value : x) value = gauss(random);
  const std::string initial = formatPcaModes(n, m, weights.data(), components.data());

  QuillonBinding binding;
  const std::string endpoint = server.endpoint();
  binding.endpoint = endpoint.c_str();
  CRepositorySession session(&binding);
  CRepositoryClient client(&binding);
  if (!session.login("root", talixdb_test::kAdminPassword, "Default", 0, 0, true)) {
    std::fprintf(stderr, "login failed\n");
    return 1;
  }
  const std::string modelPath = "/Repository/bench/Model";
  const std::string modesPath = modelPath + "/Solvers/S/Reports/PcaModes/surface";
  client.uploadBytes(modesPath, initial.data(), initial.size());

  auto start = Clock::now();
  char* bytes = nullptr;
  long size = 0;
  client.downloadFileToMemory(modesPath, &bytes, &size);
  const double download = secondsSince(start);
  std::string text(bytes, static_cast<size_t>(size));
  delete[] bytes;

  CPcaModes modes;
  const StepTime parse = timeStep(repeats, [&] {
    modes = CPcaModes();
    parsePcaModes(text, modes);
  });

  double error = 0.0;
  const StepTime projection = timeStep(repeats, [&] { error = relativeReconstructionError(modes, x.data()); });

  CColumnMatrix a;
  std::vector<double> singular;
  const StepTime decomposition = timeStep(repeats, [&] {
    a = CColumnMatrix(n, m + 1);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j) a(j, i) = modes.mode(i)[j] * modes.m_vecWeights[static_cast<size_t>(i)];
    for (int j = 0; j < n; ++j) a(j, m) = x[static_cast<size_t>(j)];
    CColumnMatrix v;
    decomposeSingularValues(a, singular, v);
  });

  std::string merged;
  const StepTime formatting =
      timeStep(repeats, [&] { merged = formatPcaModes(n, m + 1, singular.data(), a.column(0)); });

  start = Clock::now();
  client.uploadBytes(modesPath, merged.data(), merged.size());
  const double upload = secondsSince(start);

  // End to end through the public operation (it also stores the report).
  CVLTDatabase db;
  db.open(server.address().c_str());
  db.createTalixDb();
  const std::string report = reportBytes(x);
  db.uploadSurface(modelPath.c_str(), "S", "surface", 1, merged.data(), 0);  // no magic: stored only
  client.uploadBytes(modesPath, initial.data(), initial.size());
  start = Clock::now();
  db.uploadSurface(modelPath.c_str(), "S", "surface", 2, report.data(), static_cast<long>(report.size()));
  const double endToEnd = secondsSince(start);
  const int after = db.getNrPcaModes(modelPath.c_str(), "S", "surface");
  db.logout();
  session.logout();

  const double total = download + parse.wall + projection.wall + decomposition.wall + formatting.wall + upload;
  std::printf("mode update, N = %d, M = %d -> %d modes (relative error %.3f)\n", n, m, after, error);
  std::printf("modes file: %.1f MB before, %.1f MB after\n", initial.size() / 1e6, merged.size() / 1e6);
  std::printf("local steps: median of %d runs\n", repeats);
  std::printf("%-14s %10s %8s %10s\n", "step", "seconds", "share", "CPU");
  const std::pair<const char*, StepTime> steps[] = {{"download", {download, 0.0}},
                                                    {"parse", parse},
                                                    {"projection", projection},
                                                    {"decomposition", decomposition},
                                                    {"formatting", formatting},
                                                    {"upload", {upload, 0.0}}};
  for (const auto& s : steps) {
    std::printf("%-14s %10.3f %7.1f%%", s.first, s.second.wall, 100.0 * s.second.wall / total);
    if (s.second.cpu > 0.0) std::printf(" %10.3f", s.second.cpu);
    std::printf("\n");
  }
  std::printf("%-14s %10.3f\n", "sum of steps", total);
  std::printf("%-14s %10.3f  (uploadSurface: report upload, modes download, update, modes upload)\n",
              "end to end", endToEnd);
  return 0;
}
