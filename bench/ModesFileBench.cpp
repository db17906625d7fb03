// Throughput of writing and reading the PCA modes file, beside the plain C
// library way (snprintf per number; strtok and atof over a copy).
//   talixdb_modes_file_bench [modes] [components]   (default 20 × 20000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "results/PcaModesFile.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Work>
double bestSeconds(int repeats, Work work) {
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    const Clock::time_point start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

std::string formatWithSnprintf(int n, int modes, const double* weights, const double* components) {
  std::string text;
  char number[64];
  std::snprintf(number, sizeof number, "%10d\n", modes);
  text += number;
  for (int i = 0; i < modes; ++i) {
    std::snprintf(number, sizeof number, "%10d\t", n);
    text += number;
    std::snprintf(number, sizeof number, "%+20.15lg\t", weights[i]);
    text += number;
    for (int j = 0; j < n; ++j) {
      std::snprintf(number, sizeof number, "\t%+20.15lg", components[static_cast<std::size_t>(i) * n + j]);
      text += number;
    }
    text += "\n";
  }
  return text;
}

double sumWithStrtok(const std::string& text) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  double sum = 0.0;
  for (char* token = std::strtok(copy.data(), "\n\r\t "); token != nullptr; token = std::strtok(nullptr, "\n\r\t "))
    sum += std::atof(token);
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  const int modes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const int n = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20000;
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> weights(static_cast<std::size_t>(modes));
  std::vector<double> components(static_cast<std::size_t>(modes) * static_cast<std::size_t>(n));
  for (double& w : weights) w = 100.0 * std::abs(uniform(engine));
  for (double& c : components) c = uniform(engine) / 100.0;

  const std::string text = VLT_121::formatPcaModes(n, modes, weights.data(), components.data());
  const bool identical = text == formatWithSnprintf(n, modes, weights.data(), components.data());
  const double megabytes = static_cast<double>(text.size()) / 1e6;

  std::size_t sink = 0;
  double sum = 0.0;
  const double write = bestSeconds(5, [&] { sink += VLT_121::formatPcaModes(n, modes, weights.data(), components.data()).size(); });
  const double writeC = bestSeconds(5, [&] { sink += formatWithSnprintf(n, modes, weights.data(), components.data()).size(); });
  const double read = bestSeconds(5, [&] {
    VLT_121::CPcaModes parsed;
    VLT_121::parsePcaModes(text, parsed);
    sink += parsed.m_vecComponents.size();
  });
  const double readC = bestSeconds(5, [&] { sum += sumWithStrtok(text); });

  std::printf("modes file: %d modes x %d components, %.2f MB, same bytes as snprintf: %s\n", modes, n, megabytes,
              identical ? "yes" : "NO");
  std::printf("%-28s %10s %10s\n", "", "MB/s", "speed-up");
  std::printf("%-28s %10.1f %10s\n", "write, snprintf", megabytes / writeC, "");
  std::printf("%-28s %10.1f %9.1fx\n", "write, formatPcaModes", megabytes / write, writeC / write);
  std::printf("%-28s %10.1f %10s\n", "read, strtok + atof", megabytes / readC, "");
  std::printf("%-28s %10.1f %9.1fx\n", "read, parsePcaModes", megabytes / read, readC / read);
  return sink == 0 && sum == 0.0 ? 1 : 0;
}
