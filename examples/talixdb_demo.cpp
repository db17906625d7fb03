// The end-to-end demo: a host that builds a small model database on a
// repository server and uses every family of operations once.
//
//   talixdb_demo HOST:PORT WORKDIR
//
// WORKDIR receives the solver's local files, a downloaded instance and a
// backup. The server's administrator password comes from VLT_ADMIN_PASSWORD.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "talixdbapi/VLTDatabase.h"

using namespace VLT_121;

namespace {

// Library messages go to standard error, errors only, to keep the demo readable.
class StderrLogger : public TALIX::ILogger {
 public:
  int log(TALIX::LogType type, const char* message) override {
    if (type == TALIX::LogTypeError) std::fprintf(stderr, "  [library] %s\n", message);
    return 0;
  }
  void release() override {}
};

int g_failures = 0;

void step(const char* title) { std::printf("\n== %s\n", title); }

void check(bool ok, const std::string& what) {
  std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++g_failures;
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

void fillPort(CVLTPort& port, const char* name, const char* type, const char* direction) {
  port.setName(name);
  port.setDescription((std::string("port ") + name).c_str());
  port.setType(type);
  port.setDirection(direction);
}

void fillParameter(CVLTParameter& p, const char* name, const char* type, const char* value) {
  p.setName(name);
  p.setDescription((std::string("parameter ") + name).c_str());
  p.setType(type);
  p.setMode("input");
  p.setDimensionality("1");
  p.setDefaultValue(value);
}

// A model (or a solver of it) with two ports, three parameters and species.
void buildModel(CVLTModel& model, const char* name, const char* description) {
  model.setName(name);
  model.setDescription(description);
  CVLTPort* ports = CVLTPort::newArray(2);
  fillPort(ports[0], "inlet", "material", "in");
  fillPort(ports[1], "outlet", "material", "out");
  model.setPorts(2, ports);
  CVLTParameter* parameters = CVLTParameter::newArray(3);
  fillParameter(parameters[0], "speed", "CAPE_REAL", "1450");
  parameters[0].setLowerBound("0");
  parameters[0].setUpperBound("3000");
  fillParameter(parameters[1], "stages", "CAPE_INT", "2");
  parameters[1].setLowerBound("1");
  parameters[1].setUpperBound("8");
  fillParameter(parameters[2], "file-system", "CAPE_OPTION", "");
  parameters[2].setNrOptions(3);
  parameters[2].setOption(0, "case.cfg");
  parameters[2].setOption(1, "mesh/grid.msh");
  parameters[2].setOption(2, "mesh\\boundary.txt");
  model.setParameters(3, parameters);
  model.setNrComponents(3);
  model.setComponent(0, "water");
  model.setComponent(1, "air");
  model.setComponent(2, "nitrogen");
}

// A surface report: 40-byte header, then the count and one value per line.
std::string report(const std::vector<double>& values) {
  std::string bytes = "TALIX_Report_2";
  bytes.push_back('\0');
  bytes.append(25, ' ');
  bytes += std::to_string(values.size()) + "\n";
  char line[64];
  for (double v : values) {
    std::snprintf(line, sizeof line, "%.12g\n", v);
    bytes += line;
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s HOST:PORT WORKDIR\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // keep step lines and library messages in order
  const char* address = argv[1];
  const std::string work = argv[2];
  ::mkdir(work.c_str(), 0755);
  const std::string solverDir = work + "/solver-files";
  ::mkdir(solverDir.c_str(), 0755);
  ::mkdir((solverDir + "/mesh").c_str(), 0755);
  writeFile(solverDir + "/case.cfg", "iterations = 500\nscheme = second-order\n");
  writeFile(solverDir + "/mesh/grid.msh", "nodes 4\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n");
  writeFile(solverDir + "/mesh/boundary.txt", "inlet 1 2\noutlet 3 4\n");

  StderrLogger logger;
  CVLTDatabase db;
  db.setLoggingObject(&logger);

  step("Connect and create the database");
  check(db.open(address), std::string("open ") + address);
  int created = db.createTalixDb();
  check(created == 0 || db.isTalixDatabaseInstantiated(), "database root /Repository/talixdb present");
  check(db.isLoggedIn(), "logged in as administrator");

  step("Upload two models");
  CVLTModel pump, mixer;
  buildModel(pump, "CentrifugalPump", "A single-stage centrifugal pump");
  buildModel(mixer, "StaticMixer", "An inline static mixer");
  check(db.uploadModel("Equipment", "Pumps", &pump) == 0, "Equipment/Pumps/CentrifugalPump stored");
  check(db.uploadModel("Equipment", "Mixers", &mixer) == 0, "Equipment/Mixers/StaticMixer stored");
  check(db.uploadModel("Equipment", "Pumps", &pump) == ResultCode::kModelExists, "a second upload is refused (24)");
  CVLTModel* back = db.downloadModel("Equipment", "Pumps", "CentrifugalPump");
  check(back != nullptr && back->getNrPorts() == 2 && back->getNrParameters() == 3 && back->getNrComponents() == 3,
        "downloaded back: 2 ports, 3 parameters, 3 species");
  CVLTModel::deleteObject(back);

  step("Import a solver with a file tree and two surfaces");
  CVLTModel solver;
  buildModel(solver, "FlowSolver", "Steady RANS solver");
  solver.setCommand("flowsolve --case case.cfg");
  solver.setLocalDir(solverDir.c_str());
  solver.setNrSortedModelComponents(3);
  for (int i = 0; i < 3; ++i) solver.setSortedModelComponent(i, pump.getComponent(i));
  solver.addSurface("blade");
  solver.addSurface("casing");
  solver.setNodePositions(0, "0 0 0\n1 0 0\n0 1 0\n");
  solver.setGridConnectivity(0, "0 1 2\n");
  solver.setNodePositions(1, "0 0 1\n1 0 1\n0 1 1\n");
  solver.setGridConnectivity(1, "2 1 0\n");
  check(db.importSolver("Equipment", "Pumps", "CentrifugalPump", &solver) == 0, "FlowSolver attached to the pump");
  const std::string modelPath = "/Repository/talixdb/Equipment/Pumps/CentrifugalPump";
  char* grid = nullptr;
  long gridSize = 0;
  db.downloadSurfaceNodePositions(modelPath.c_str(), "FlowSolver", grid, gridSize, "blade");
  check(grid != nullptr && gridSize == 18, "node positions of surface blade read back");
  db.releaseMemory(grid);

  step("Upload surface reports and follow the PCA modes");
  const int nodes = 200;
  const int reports = 12;
  for (int r = 0; r < reports; ++r) {
    std::vector<double> values(nodes);
    for (int j = 0; j < nodes; ++j) {
      double x = static_cast<double>(j) / nodes;
      // Four underlying patterns mixed differently in each report.
      values[j] = std::sin(3.1 * x) * (1 + r % 3) + std::cos(7.0 * x) * (r % 4) + 0.5 * x * x * (r % 5) +
                  0.2 * std::sin(19.0 * x) * (r % 2);
    }
    std::string bytes = report(values);
    db.uploadSurface(modelPath.c_str(), "FlowSolver", "blade", r + 1, bytes.data(), static_cast<long>(bytes.size()));
  }
  int modes = db.getNrPcaModes(modelPath.c_str(), "FlowSolver", "blade");
  std::printf("  %d reports of %d values gave %d PCA modes\n", reports, nodes, modes);
  check(modes >= 2 && modes < reports, "several modes, fewer than reports");
  double* amplitudes = nullptr;
  int m = db.getModalAmplitudes(modelPath.c_str(), "FlowSolver", "blade", 5, amplitudes);
  std::printf("  amplitudes of report 5:");
  for (int i = 0; i < m; ++i) std::printf(" %.4g", amplitudes[i]);
  std::printf("\n");
  check(m == modes, "one amplitude per mode");
  db.releaseMemory(amplitudes);

  step("Save and fetch an instance");
  int instance = 0;
  int saved = db.uploadInstance(modelPath.c_str(), "FlowSolver", instance, solverDir.c_str());
  check(saved == 0, "instance saved as number " + std::to_string(instance));
  const std::string fetched = work + "/instance-copy";
  int number = instance;
  check(db.downloadInstance(modelPath.c_str(), "FlowSolver", number, fetched.c_str()) == 0 && number == instance,
        "instance fetched into " + fetched);
  std::ifstream copied(fetched + "/mesh/grid.msh");
  check(copied.good(), "fetched file mesh/grid.msh is there");

  step("Browse the catalogue");
  db.takeVLTSnapshot(nullptr);
  if (db.downloadCategoryNames()) {
    for (int c = 0; c < db.getNrDownloadedCategoryNames(); ++c) {
      std::string category = db.getDownloadedCategoryName(c);
      std::printf("  %s\n", category.c_str());
      db.downloadTypeNames(category.c_str());
      for (int t = 0; t < db.getNrDownloadedTypeNames(); ++t) {
        std::string type = db.getDownloadedTypeName(t);
        std::printf("    %s\n", type.c_str());
        db.downloadModelNames(category.c_str(), type.c_str());
        for (int k = 0; k < db.getNrDownloadedModelNames(); ++k) {
          std::string model = db.getDownloadedModelName(k);
          std::printf("      %s\n", model.c_str());
          db.downloadSolverNames(category.c_str(), type.c_str(), model.c_str());
          for (int s = 0; s < db.getNrDownloadedSolverNames(); ++s)
            std::printf("        solver %s\n", db.getDownloadedSolverName(s));
        }
      }
    }
  }
  const char* pumpRow[] = {"Model name", "contains", "Pump", nullptr};
  const char** criteria[] = {pumpRow, nullptr};
  db.takeVLTSnapshot(criteria);
  db.filterVLTSnapshot(criteria);
  db.downloadModelLeafNames();
  std::printf("  filter 'Model name contains Pump':");
  for (int i = 0; i < db.getNrDownloadedLeafNames(); ++i) std::printf(" %s", db.getDownloadedLeafName(i));
  std::printf("\n");
  check(db.getNrDownloadedLeafNames() == 1, "one model passes the filter");

  step("Back a category up and restore it elsewhere");
  const std::string backup = work + "/backup-Equipment";
  check(db.backupTALIXFolder("/Repository/talixdb/Equipment", backup.c_str()) == 0, "backup written to " + backup);
  check(db.restoreTALIXFolder("/Repository/talixdb/EquipmentCopy", backup.c_str()) == 0,
        "restored as /Repository/talixdb/EquipmentCopy");
  CVLTModel* restored = db.downloadModel("EquipmentCopy", "Pumps", "CentrifugalPump");
  check(restored != nullptr && restored->getNrSolvers() == 1, "the restored pump has its solver");
  CVLTModel::deleteObject(restored);

  step("Register simulation servers");
  check(db.registerTALIXSimulationServer("sim-node-1", true), "sim-node-1 registered");
  check(db.registerTALIXSimulationServer("sim-node-2", true), "sim-node-2 registered");
  db.downloadRegisteredSimulationServers();
  std::printf("  register:");
  for (int i = 0; i < db.getNrRegisteredSimulationServers(); ++i)
    std::printf(" %s", db.getRegisteredSimulationServer(i));
  std::printf("\n");

  step("Done");
  db.logout();
  db.close();
  std::printf("  %s\n", g_failures == 0 ? "every step succeeded" : "some steps failed");
  return g_failures == 0 ? 0 : 1;
}
