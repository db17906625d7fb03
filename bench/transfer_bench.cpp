// File transfer benchmark: uploads one large file through CRepositoryClient
// to a stand-in server on loopback, from memory and from a local file, and
// downloads it again, to memory and to disk, checking every byte.
//
//   transfer_bench [MiB] [rounds]
//
// Defaults: a 256 MiB file, 3 rounds. For each operation it reports the
// median and best throughput in MB/s (10^6 bytes per second), the peak
// resident memory (VmHWM) of this process and of the server process while the
// operation ran, how far this process's peak rose above its resident memory
// at the start of the operation (the memory the transfer itself took), and
// the processor time each side spent. It then checks the memory goals: a
// download to memory peaks at 1.2 times the file at most, a download to disk
// and an upload from a local file take at most 16 MiB. The exit status is 1
// when a goal is missed or a transfer fails.
//
// The server runs on the tests' engine (TALIXDB_TEST_ENGINE=postgresql for
// PostgreSQL; TALIXDB_TEST_PG_DURABLE=1 makes its cluster sync as a real one
// does). On PostgreSQL the bench also times the database alone writing the
// same bytes as rows of 1 MiB in one statement: the most an upload can get.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "client/RepositoryClient.h"
#include "client/RepositorySession.h"
#include "support/PostgresCluster.h"
#include "support/TestServer.h"

namespace {

enum Operation { kUpload, kUploadLocal, kToMemory, kToDisk, kOperations };
const char* const kOperationNames[kOperations] = {"uploadBytes", "uploadLocalFile", "downloadFileToMemory",
                                                  "downloadFileToDisk"};

struct Figures {
  std::vector<double> seconds;  // one per round
  double clientCpu = 0;         // processor seconds over all rounds
  double serverCpu = 0;
  long clientPeakKiB = 0;       // highest over the rounds
  long serverPeakKiB = 0;
  long clientGrowthKiB = 0;     // peak above the resident memory at the start
};

struct Settings {
  size_t bytes = size_t(256) << 20;
  int rounds = 3;
};

Settings parseSettings(int argc, char** argv);
bool runRound(VLT_121::CRepositoryClient& client, pid_t server, const std::string& localDir, size_t size,
              int round, Figures (&figures)[kOperations]);
void printTable(const Figures (&figures)[kOperations], size_t size);
bool peaksTracked(pid_t server);
bool checkGoals(const Figures (&figures)[kOperations], size_t size);
double databaseWriteRate(const std::string& uri, size_t size);

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = parseSettings(argc, argv);
  try {
    talixdb_test::TestServer server({"--quiet"});
    talixdb_test::TempDir local;
    const std::string endpoint = server.endpoint();
    QuillonBinding binding;
    binding.endpoint = endpoint.c_str();
    VLT_121::CRepositorySession session(&binding);
    VLT_121::CRepositoryClient client(&binding);
    if (!session.login("root", talixdb_test::kAdminPassword, "Default", 0, 0, true)) {
      std::fprintf(stderr, "transfer_bench: cannot log in to the server\n");
      return 1;
    }
    std::printf("file: %zu bytes (%.0f MiB), %d rounds, server pid %d\n", settings.bytes,
                settings.bytes / 1048576.0, settings.rounds, static_cast<int>(server.pid()));
    if (!peaksTracked(server.pid()))
      std::printf("note: peaks cannot be reset here; they are the processes' peaks so far\n");

    Figures figures[kOperations];
    for (int round = 0; round < settings.rounds; ++round) {
      if (!runRound(client, server.pid(), local.path(), settings.bytes, round, figures)) return 1;
    }
    printTable(figures, settings.bytes);
    if (talixdb_test::defaultEngine() == talixdb_test::Engine::Postgres)
      std::printf("PostgreSQL alone, rows of 1 MiB: %.1f MB/s\n", databaseWriteRate(server.storeUri(), settings.bytes));
    return checkGoals(figures, settings.bytes) ? 0 : 1;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "transfer_bench: %s\n", failure.what());
    return 1;
  }
}

namespace {

using Clock = std::chrono::steady_clock;

Settings parseSettings(int argc, char** argv) {
  Settings settings;
  if (argc > 1) settings.bytes = static_cast<size_t>(std::max(1L, std::atol(argv[1]))) << 20;
  if (argc > 2) settings.rounds = std::max(1, std::atoi(argv[2]));
  return settings;
}

// A memory figure of a process's status in KiB ("VmHWM", "VmRSS"), or -1
// when unreadable.
long statusKiB(const std::string& pid, const std::string& field) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

long peakKiB(pid_t pid) { return statusKiB(std::to_string(pid), "VmHWM"); }
long ownPeakKiB() { return statusKiB("self", "VmHWM"); }
long ownResidentKiB() { return statusKiB("self", "VmRSS"); }

// Resets a process's VmHWM to its current resident size.
bool resetPeak(const std::string& pid) {
  std::ofstream clear("/proc/" + pid + "/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

bool resetPeaks(pid_t server) {
  bool own = resetPeak("self");
  bool other = resetPeak(std::to_string(server));
  return own && other;
}

bool peaksTracked(pid_t server) { return resetPeaks(server); }

// FNV-1a over the bytes, enough to tell a changed byte.
std::uint64_t checksum(const char* data, size_t size, std::uint64_t hash = 1469598103934665603ULL) {
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 1099511628211ULL;
  }
  return hash;
}

std::uint64_t fileChecksum(const std::string& path, size_t& size) {
  std::uint64_t hash = checksum(nullptr, 0);
  size = 0;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return hash;
  std::vector<char> buffer(size_t(1) << 20);
  for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
    hash = checksum(buffer.data(), static_cast<size_t>(got), hash);
    size += static_cast<size_t>(got);
  }
  ::close(fd);
  return hash;
}

// Reproducible bytes that differ from round to round.
std::unique_ptr<char[]> makeBytes(size_t size, int round) {
  std::unique_ptr<char[]> bytes(new char[size]);
  std::uint64_t state = 0x9e3779b97f4a7c15ULL + static_cast<std::uint64_t>(round);
  for (size_t i = 0; i < size; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (size_t k = 0; k < 8 && i + k < size; ++k) bytes[i + k] = static_cast<char>(state >> (8 * k));
  }
  return bytes;
}

double ownCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User and system time of another process, from fields 14 and 15 of its stat.
double cpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int index = 3; index <= 15 && fields >> field; ++index)
    if (index >= 14) ticks += std::atof(field.c_str());
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs one timed operation; adds its wall time, both sides' processor time
// and the peaks to `figures`.
template <class Call>
void measure(Figures& figures, pid_t server, Call call) {
  resetPeaks(server);
  const long resident = ownResidentKiB();
  const double clientCpu = ownCpuSeconds();
  const double serverCpu = cpuSeconds(server);
  const auto start = Clock::now();
  call();
  figures.seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  figures.clientCpu += ownCpuSeconds() - clientCpu;
  figures.serverCpu += cpuSeconds(server) - serverCpu;
  const long clientPeak = ownPeakKiB();
  figures.clientPeakKiB = std::max(figures.clientPeakKiB, clientPeak);
  figures.clientGrowthKiB = std::max(figures.clientGrowthKiB, clientPeak - resident);
  figures.serverPeakKiB = std::max(figures.serverPeakKiB, peakKiB(server));
}

// The two uploads and the two downloads, each with its own peak; the source
// buffer is freed before the upload from disk and the downloads so that they
// are measured alone.
bool runRound(VLT_121::CRepositoryClient& client, pid_t server, const std::string& localDir, size_t size,
              int round, Figures (&figures)[kOperations]) {
  const std::string path = "/Repository/transfer-bench/round-" + std::to_string(round) + ".bin";
  const std::string localSource = localDir + "/round-" + std::to_string(round) + ".bin";
  std::uint64_t expected = 0;
  {
    std::unique_ptr<char[]> source = makeBytes(size, round);
    expected = checksum(source.get(), size);
    std::string answer;
    measure(figures[kUpload], server, [&] { answer = client.uploadBytes(path, source.get(), size); });
    if (answer.empty()) {
      std::fprintf(stderr, "transfer_bench: upload of %s failed\n", path.c_str());
      return false;
    }
    client.deleteObject(path.c_str());  // one version at a time on the disk
    std::ofstream out(localSource, std::ios::binary);
    out.write(source.get(), static_cast<std::streamsize>(size));
    if (!out.flush()) {
      std::fprintf(stderr, "transfer_bench: cannot write %s\n", localSource.c_str());
      return false;
    }
  }
  {
    std::string answer;
    measure(figures[kUploadLocal], server,
            [&] { answer = client.uploadLocalFile("/Repository/transfer-bench", localSource); });
    std::remove(localSource.c_str());
    if (answer.empty()) {
      std::fprintf(stderr, "transfer_bench: upload of %s failed\n", localSource.c_str());
      return false;
    }
  }

  char* data = nullptr;
  long received = -1;
  std::string answer;
  measure(figures[kToMemory], server, [&] { answer = client.downloadFileToMemory(path, &data, &received); });
  std::unique_ptr<char[]> owned(data);
  if (answer.empty() || received != static_cast<long>(size) || checksum(data, size) != expected) {
    std::fprintf(stderr, "transfer_bench: download to memory of %s failed or differs\n", path.c_str());
    return false;
  }
  owned.reset();

  const std::string localPath = localDir + "/download.bin";
  measure(figures[kToDisk], server, [&] { answer = client.downloadFileToDisk(path, localPath); });
  size_t written = 0;
  if (answer.empty() || fileChecksum(localPath, written) != expected || written != size) {
    std::fprintf(stderr, "transfer_bench: download to disk of %s failed or differs\n", path.c_str());
    return false;
  }
  std::remove(localPath.c_str());
  client.deleteObject(path.c_str());
  return true;
}

void printTable(const Figures (&figures)[kOperations], size_t size) {
  std::printf("%-22s %12s %10s %16s %18s %16s %11s %11s\n", "operation", "median MB/s", "best MB/s",
              "client peak MiB", "client growth MiB", "server peak MiB", "client CPU", "server CPU");
  for (int op = 0; op < kOperations; ++op) {
    std::vector<double> seconds = figures[op].seconds;
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double best = seconds.front();
    const double rounds = static_cast<double>(seconds.size());
    std::printf("%-22s %12.1f %10.1f %16.1f %18.1f %16.1f %10.2fs %10.2fs\n", kOperationNames[op],
                size / median / 1e6, size / best / 1e6, figures[op].clientPeakKiB / 1024.0,
                figures[op].clientGrowthKiB / 1024.0, figures[op].serverPeakKiB / 1024.0,
                figures[op].clientCpu / rounds, figures[op].serverCpu / rounds);
  }
}

// MB/s of the database writing `size` bytes as rows of 1 MiB (text of no
// pattern it could compress, which chunks do not try anyway) in one
// statement, in a table shaped as the store's chunks.
double databaseWriteRate(const std::string& uri, size_t size) {
  talixdb_test::PostgresSession db(uri);
  db.run("CREATE TABLE bench_chunks(content bigint, number integer, data bytea NOT NULL, PRIMARY KEY(content, number))");
  db.run("ALTER TABLE bench_chunks ALTER COLUMN data SET STORAGE EXTERNAL");
  const auto start = Clock::now();
  db.run("INSERT INTO bench_chunks SELECT 1, n, convert_to(repeat(md5(n::text), 32768), 'UTF8') "
         "FROM generate_series(0, " + std::to_string(size / (1 << 20) - 1) + ") AS n");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  db.run("DROP TABLE bench_chunks");
  return size / seconds / 1e6;
}

bool checkGoal(const char* what, double figureMiB, double limitMiB) {
  const bool met = figureMiB <= limitMiB;
  std::printf("%-48s %8.1f MiB, goal <= %8.1f MiB: %s\n", what, figureMiB, limitMiB, met ? "met" : "MISSED");
  return met;
}

bool checkGoals(const Figures (&figures)[kOperations], size_t size) {
  const double fileMiB = size / 1048576.0;
  bool met = checkGoal("downloadFileToMemory client peak", figures[kToMemory].clientPeakKiB / 1024.0, 1.2 * fileMiB);
  met = checkGoal("downloadFileToDisk client growth", figures[kToDisk].clientGrowthKiB / 1024.0, 16) && met;
  met = checkGoal("uploadLocalFile client growth", figures[kUploadLocal].clientGrowthKiB / 1024.0, 16) && met;
  return met;
}

}  // namespace
