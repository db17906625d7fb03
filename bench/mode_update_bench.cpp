// (b) One mode update of a surface with N = 100,000 values and M = 50 modes,
// against a stand-in server on loopback, broken down into its steps:
// download of the modes file, parsing, projection, decomposition, formatting
// and upload. Then the same update end to end through uploadSurface.
//
//   talixdb_mode_update_bench [N] [M]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QuillonBinding.h"
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

  start = Clock::now();
  CPcaModes modes;
  parsePcaModes(text, modes);
  const double parse = secondsSince(start);

  start = Clock::now();
  const double error = relativeReconstructionError(modes, x.data());
  const double projection = secondsSince(start);

  start = Clock::now();
  CColumnMatrix a(n, m + 1);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) a(j, i) = modes.mode(i)[j] * modes.m_vecWeights[static_cast<size_t>(i)];
  for (int j = 0; j < n; ++j) a(j, m) = x[static_cast<size_t>(j)];
  std::vector<double> singular;
  CColumnMatrix v;
  decomposeSingularValues(a, singular, v);
  const double decomposition = secondsSince(start);

  start = Clock::now();
  const std::string merged = formatPcaModes(n, m + 1, singular.data(), a.column(0));
  const double formatting = secondsSince(start);

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

  const double total = download + parse + projection + decomposition + formatting + upload;
  std::printf("mode update, N = %d, M = %d -> %d modes (relative error %.3f)\n", n, m, after, error);
  std::printf("modes file: %.1f MB before, %.1f MB after\n", initial.size() / 1e6, merged.size() / 1e6);
  std::printf("%-14s %10s %8s\n", "step", "seconds", "share");
  const std::pair<const char*, double> steps[] = {{"download", download},       {"parse", parse},
                                                  {"projection", projection},   {"decomposition", decomposition},
                                                  {"formatting", formatting},   {"upload", upload}};
  for (const auto& s : steps) std::printf("%-14s %10.3f %7.1f%%\n", s.first, s.second, 100.0 * s.second / total);
  std::printf("%-14s %10.3f\n", "sum of steps", total);
  std::printf("%-14s %10.3f  (uploadSurface: report upload, modes download, update, modes upload)\n",
              "end to end", endToEnd);
  return 0;
}
