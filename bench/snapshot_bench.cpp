// Catalogue snapshot benchmark: builds a synthetic catalogue on a local
// stand-in server and times takeVLTSnapshot without and with model details.
//
//   snapshot_bench [categories types models solvers instances]
//
// Defaults: 20 categories x 5 types x 20 models, 2 solvers per model and 3
// instances per solver. Reports wall time, requests per second (counted in
// the server's request log) and the client's CPU time against wall time.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/RepositoryClient.h"
#include "client/RepositoryObject.h"
#include "client/RepositorySession.h"
#include "results/NumberedNames.h"
#include "support/ServerLog.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

struct Shape {
  int categories = 20;
  int types = 5;
  int models = 20;
  int solvers = 2;
  int instances = 3;
};

struct Measure {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  long requests = 0;
};

Shape parseShape(int argc, char** argv);
bool buildCatalogue(const std::string& address, const Shape& shape);
Measure timeSnapshot(VLT_121::CVLTDatabase& db, const talixdb_test::TestServer& server,
                     const char*** criteria);
void report(const char* label, const Measure& measure, long expectedRequests);

}  // namespace

int main(int argc, char** argv) {
  const Shape shape = parseShape(argc, argv);
  setenv("VLT_ADMIN_PASSWORD", talixdb_test::kAdminPassword, 1);
  talixdb_test::TestServer server;
  std::printf("catalogue: %d categories x %d types x %d models, %d solvers x %d instances each\n",
              shape.categories, shape.types, shape.models, shape.solvers, shape.instances);
  const auto buildStart = std::chrono::steady_clock::now();
  if (!buildCatalogue(server.address(), shape)) {
    std::fprintf(stderr, "could not build the catalogue\n");
    return 1;
  }
  std::printf("built in %.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - buildStart).count());

  VLT_121::CVLTDatabase db;
  if (!db.open(server.address().c_str()) || !db.login("root", talixdb_test::kAdminPassword, "Default", 0)) {
    std::fprintf(stderr, "could not log in\n");
    return 1;
  }
  const long models = 1L * shape.categories * shape.types * shape.models;
  const long plain =
      1 + shape.categories + 1L * shape.categories * shape.types + 2 * models + models * shape.solvers;
  report("without details", timeSnapshot(db, server, nullptr), plain);

  const char* row[] = {"A model port name", "contains", "in", nullptr};
  const char** criteria[] = {row, nullptr};
  report("with details", timeSnapshot(db, server, criteria), plain + 3 * models);

  db.downloadSolverLeafNames();
  std::printf("solver leaves listed: %d\n", db.getNrDownloadedLeafNames());
  return 0;
}

namespace {

Shape parseShape(int argc, char** argv) {
  Shape shape;
  int* fields[] = {&shape.categories, &shape.types, &shape.models, &shape.solvers, &shape.instances};
  for (int i = 1; i < argc && i <= 5; ++i) {
    const int value = std::atoi(argv[i]);
    if (value >= 0) *fields[i - 1] = value;
  }
  return shape;
}

// One folder made with one createModelObject request; "" on failure.
std::string makeFolder(QuillonBinding* binding, const std::string& parent, const std::string& name,
                       const std::string& description = "", const std::vector<std::string>& species = {}) {
  VLT_121::CRepositoryObject folder(binding);
  folder.setName(name);
  folder.setParent(parent);
  folder.setTypeName("Folder");
  if (!description.empty()) {
    folder.setUserSpecifiedProperties("m_szDescription");
    folder.setUserSpecifiedProperties("m_aszComponents");
    folder.setProperty("m_szDescription", description);
    folder.setListProperty("m_aszComponents", species);
  }
  std::string path = folder.create();
  folder.release();
  return path;
}

// Folders only, straight through the repository client: the snapshot reads
// names and two model properties, nothing else.
bool buildCatalogue(const std::string& address, const Shape& shape) {
  const std::string endpoint = "http://" + address + "/vlt/services/QuillonBinding";
  QuillonBinding binding;
  binding.endpoint = endpoint.c_str();
  VLT_121::CRepositorySession session(&binding);
  if (!session.login("root", talixdb_test::kAdminPassword, "Default", 0, 0, true)) return false;
  std::string root = makeFolder(&binding, "/Repository", "talixdb");
  if (root.empty()) return false;
  for (int c = 0; c < shape.categories; ++c) {
    const std::string category = makeFolder(&binding, root, "Category" + std::to_string(c));
    for (int t = 0; t < shape.types; ++t) {
      const std::string type = makeFolder(&binding, category, "Type" + std::to_string(t));
      for (int m = 0; m < shape.models; ++m) {
        const std::string model =
            makeFolder(&binding, type, "Model" + std::to_string(m), "synthetic model", {"H2O", "N2"});
        if (model.empty()) return false;
        const std::string ports = makeFolder(&binding, model, "Ports");
        makeFolder(&binding, ports, "inlet");
        makeFolder(&binding, ports, "outlet");
        const std::string parameters = makeFolder(&binding, model, "Parameters");
        makeFolder(&binding, parameters, "speed");
        const std::string solvers = makeFolder(&binding, model, "Solvers");
        for (int s = 0; s < shape.solvers; ++s) {
          const std::string solver = makeFolder(&binding, solvers, "Solver" + std::to_string(s));
          const std::string instances = makeFolder(&binding, solver, "Instances");
          for (int i = 0; i < shape.instances; ++i) {
            makeFolder(&binding, instances, VLT_121::numberedEntryName(i + 1, 1700000000LL + i));
          }
        }
      }
    }
  }
  session.logout();
  return true;
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Requests the server has logged so far, as the tests count them.
long requestCount(const talixdb_test::TestServer& server) { return talixdb_test::loggedRequestCount(server, ""); }

Measure timeSnapshot(VLT_121::CVLTDatabase& db, const talixdb_test::TestServer& server,
                     const char*** criteria) {
  Measure measure;
  const long requestsBefore = requestCount(server);
  const double cpuBefore = cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  db.takeVLTSnapshot(criteria);
  measure.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  measure.cpuSeconds = cpuSeconds() - cpuBefore;
  measure.requests = requestCount(server) - requestsBefore;
  return measure;
}

void report(const char* label, const Measure& measure, long expectedRequests) {
  std::printf(
      "snapshot %s: %.3f s wall, %ld requests (expected %ld), %.0f requests/s, client CPU %.3f s (%.0f%% of "
      "wall)\n",
      label, measure.wallSeconds, measure.requests, expectedRequests,
      measure.wallSeconds > 0 ? measure.requests / measure.wallSeconds : 0.0, measure.cpuSeconds,
      measure.wallSeconds > 0 ? 100.0 * measure.cpuSeconds / measure.wallSeconds : 0.0);
}

}  // namespace
