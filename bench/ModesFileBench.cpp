// Throughput of writing and reading the PCA modes file, beside the plain C
// library way (snprintf per number; strtok and atof over a copy). Each way
// runs `repeats` times, the four ways interleaved so that a busy machine
// disturbs them alike; the figures are medians of process CPU time.
//   talixdb_modes_file_bench [modes] [components] [repeats]
//   (default 20 × 20000, 7 repeats; 51 100000 is the size of one mode update)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "results/PcaModesFile.h"

namespace {

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

template <typename Work>
void timeOnce(std::vector<double>& seconds, Work work) {
  const double start = cpuSeconds();
  work();
  seconds.push_back(cpuSeconds() - start);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : 0.5 * (values[half - 1] + values[half]);
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
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> weights(static_cast<std::size_t>(modes));
  std::vector<double> components(static_cast<std::size_t>(modes) * static_cast<std::size_t>(n));
  for (double& w : weights) w = 100.0 * std::abs(uniform(engine));
  for (double& c : components) c = uniform(engine) / 100.0;

  const std::string text = VLT_121::formatPcaModes(n, modes, weights.data(), components.data());
  const bool identical = text == formatWithSnprintf(n, modes, weights.data(), components.data());
  const double megabytes = static_cast<double>(text.size()) / 1e6;
  const double numbers = static_cast<double>(modes) * (n + 1);

  std::size_t sink = 0;
  double sum = 0.0;
  bool sameValues = true;
  std::vector<double> write, writeC, read, readC;
  for (int r = 0; r < repeats; ++r) {
    timeOnce(write, [&] { sink += VLT_121::formatPcaModes(n, modes, weights.data(), components.data()).size(); });
    timeOnce(writeC, [&] { sink += formatWithSnprintf(n, modes, weights.data(), components.data()).size(); });
    timeOnce(read, [&] {
      VLT_121::CPcaModes parsed;
      VLT_121::parsePcaModes(text, parsed);
      sameValues = sameValues && parsed.m_vecComponents.size() == components.size();
      sink += parsed.m_vecComponents.size();
    });
    timeOnce(readC, [&] { sum += sumWithStrtok(text); });
  }

  std::printf("modes file: %d modes x %d components, %.2f MB, same bytes as snprintf: %s\n", modes, n, megabytes,
              identical ? "yes" : "NO");
  std::printf("median CPU time of %d runs\n", repeats);
  std::printf("%-28s %10s %10s %10s %10s\n", "", "seconds", "MB/s", "ns/number", "speed-up");
  const struct {
    const char* name;
    double seconds;
    double anchor;
  } rows[] = {{"write, snprintf", median(writeC), 0.0},
              {"write, formatPcaModes", median(write), median(writeC)},
              {"read, strtok + atof", median(readC), 0.0},
              {"read, parsePcaModes", median(read), median(readC)}};
  for (const auto& row : rows) {
    std::printf("%-28s %10.4f %10.1f %10.1f", row.name, row.seconds, megabytes / row.seconds,
                1e9 * row.seconds / numbers);
    if (row.anchor > 0.0) std::printf(" %9.1fx", row.anchor / row.seconds);
    std::printf("\n");
  }
  return sink == 0 || sum == 0.0 || !sameValues ? 1 : 0;
}
