// What TLS costs: one library session against the stand-in server on
// loopback, over plain HTTP and over TLS in the same run.
//
//   talixdb_tls_bench [MiB] [calls] [rounds]
//
// Defaults: a 256 MiB report, 400 small calls, 3 rounds. Per transport it
// reports, as the median of the rounds:
//   - small calls per second: checkCategory, one service call and so one new
//     connection each (TLS resumes the session of the previous call);
//   - opens per second: open and close of a new handle, a new proxy and so a
//     full handshake each over TLS, plus the library's probe call;
//   - MB/s (10^6 bytes per second) of uploadSurface and downloadSurface of
//     the report, every byte checked;
// and the cost of TLS as the ratio plain / TLS of each figure. The server
// logs every request, so the small-call rate counts the calls it served.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ServerLog.h"
#include "support/TestCertificates.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using Clock = std::chrono::steady_clock;
using VLT_121::CVLTDatabase;

const char kModelPath[] = "/Repository/talixdb/Bench/Ducts/Duct";

struct Settings {
  size_t bytes = size_t(256) << 20;
  int calls = 400;
  int rounds = 3;
};

enum Figure { kCallsPerSecond, kOpensPerSecond, kUploadMBs, kDownloadMBs, kFigures };
const char* const kFigureNames[kFigures] = {"small calls/s", "opens/s", "upload MB/s", "download MB/s"};

struct Transport {
  const char* name;
  std::vector<std::string> serverOptions;
  std::string trustFile;  // TALIXDB_CA_FILE; "" for plain HTTP
  std::string scheme;     // prefix of the address handed to open
};

Settings parseSettings(int argc, char** argv);
// The figures of one transport, each the median over the rounds.
std::vector<double> measure(const Transport& transport, const Settings& settings);
double median(std::vector<double> values);
void fail(const std::string& what) { throw std::runtime_error(what); }

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = parseSettings(argc, argv);
  try {
    talixdb_test::TestCertificates certificates;
    const Transport transports[] = {
        {"plain HTTP", {}, "", ""},
        {"TLS", certificates.serverOptions(certificates.server()), certificates.authority(), "https://"},
    };
    std::printf("report %zu bytes (%.0f MiB), %d small calls, %d rounds; medians\n", settings.bytes,
                settings.bytes / 1048576.0, settings.calls, settings.rounds);
    std::vector<std::vector<double>> figures;
    for (const Transport& transport : transports) figures.push_back(measure(transport, settings));

    std::printf("\n| transport | %s | %s | %s | %s |\n|---|---:|---:|---:|---:|\n", kFigureNames[0],
                kFigureNames[1], kFigureNames[2], kFigureNames[3]);
    for (size_t t = 0; t < figures.size(); ++t) {
      std::printf("| %s |", transports[t].name);
      for (double value : figures[t]) std::printf(" %.1f |", value);
      std::printf("\n");
    }
    std::printf("| cost of TLS (plain / TLS) |");
    for (int f = 0; f < kFigures; ++f) std::printf(" %.2f |", figures[0][f] / figures[1][f]);
    std::printf("\n");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "tls_bench: %s\n", failure.what());
    return 1;
  }
}

namespace {

Settings parseSettings(int argc, char** argv) {
  Settings settings;
  if (argc > 1) settings.bytes = static_cast<size_t>(std::max(1L, std::atol(argv[1]))) << 20;
  if (argc > 2) settings.calls = std::max(1, std::atoi(argv[2]));
  if (argc > 3) settings.rounds = std::max(1, std::atoi(argv[3]));
  return settings;
}

double secondsOf(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<double> measure(const Transport& transport, const Settings& settings) {
  if (transport.trustFile.empty())
    unsetenv("TALIXDB_CA_FILE");
  else
    setenv("TALIXDB_CA_FILE", transport.trustFile.c_str(), 1);
  talixdb_test::TestServer server(transport.serverOptions);
  const std::string address = transport.scheme + server.address();

  CVLTDatabase db;
  if (!db.open(address.c_str())) fail(std::string("cannot open ") + address);
  if (db.createTalixDb() != 0) fail("cannot create the database");
  VLT_121::CVLTModel* model = VLT_121::CVLTModel::newObject();
  model->setName("Duct");
  const int uploaded = db.uploadModel("Bench", "Ducts", model);
  VLT_121::CVLTModel::deleteObject(model);
  if (uploaded != 0) fail("cannot store the model");
  db.logout();
  if (!db.login("root", talixdb_test::kAdminPassword, "Default", 0)) fail("cannot log in");

  std::string report(settings.bytes, '\0');
  for (size_t i = 0; i < report.size(); ++i) report[i] = static_cast<char>((i * 2654435761u) >> 13);

  std::vector<std::vector<double>> samples(kFigures);
  for (int round = 0; round < settings.rounds; ++round) {
    const int before = talixdb_test::loggedRequestCount(server);
    double seconds = secondsOf([&] {
      for (int i = 0; i < settings.calls; ++i) db.checkCategory("Bench");
    });
    const int calls = talixdb_test::loggedRequestCount(server) - before;
    samples[kCallsPerSecond].push_back(calls / seconds);

    const int opens = std::max(1, settings.calls / 4);
    seconds = secondsOf([&] {
      for (int i = 0; i < opens; ++i) {
        CVLTDatabase other;
        if (!other.open(address.c_str())) fail("a new handle cannot open");
      }
    });
    samples[kOpensPerSecond].push_back(opens / seconds);

    seconds = secondsOf([&] {
      if (db.uploadSurface(kModelPath, "Solver", "blade", round + 1, report.data(),
                           static_cast<long>(report.size())) != 0)
        fail("the upload failed");
    });
    samples[kUploadMBs].push_back(report.size() / seconds / 1e6);

    char* data = nullptr;
    long size = 0;
    seconds = secondsOf([&] { size = db.downloadSurface(kModelPath, "Solver", round + 1, "blade", data); });
    const bool intact = data != nullptr && static_cast<size_t>(size) == report.size() &&
                        std::equal(report.begin(), report.end(), data);
    db.releaseMemory(data);
    if (!intact) fail("the download differs from the upload");
    samples[kDownloadMBs].push_back(report.size() / seconds / 1e6);
    std::printf("%s round %d: %d calls in the small-call phase\n", transport.name, round + 1, calls);
  }
  db.logout();
  std::vector<double> figures;
  for (const std::vector<double>& values : samples) figures.push_back(median(values));
  return figures;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace
