// A complete host of TALIXDBAPI, written as a simulation application would:
// it builds a small model database on a repository server and uses every
// family of operations once. The same source is the in-tree demo
// (talixdb_demo) and the host that CI builds against the installed package,
// with CMake (find_package) and with pkg-config alone.
//
//   talixdb_demo HOST:PORT WORKDIR
//
// WORKDIR receives the solver's local files, a downloaded instance and a
// backup. The database root is made with the administrator account from
// VLT_ADMIN_USER / VLT_ADMIN_PASSWORD (defaults root / kelp482).
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

// Library messages go to standard error, errors only, to keep the output
// readable. The handle calls release() once, when it is destroyed.
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

bool check(bool ok, const std::string& what) {
  std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++g_failures;
  return ok;
}

// An operation that returns a result code: 0 is success, anything else is
// reported with the library's own text for it.
bool checkCode(int code, const std::string& what) {
  if (code == ResultCode::kSuccess) return check(true, what);
  return check(false, what + ": " + getResultText(code) + " (" + std::to_string(code) + ")");
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

const char* const kSpecies[] = {"water", "air", "nitrogen"};
// The blade's reports have one value per node of its grid.
constexpr int kBladeNodes = 200;

// The blade's node positions, "x y z" per line: a thin profile in the plane z = 0.
std::string bladeNodePositions() {
  std::string text;
  char line[96];
  for (int j = 0; j < kBladeNodes; ++j) {
    double t = 2.0 * 3.14159265358979 * j / kBladeNodes;
    const double x = 0.5 + 0.5 * std::cos(t), y = 0.12 * std::sin(t) * (1.2 + std::cos(t));
    std::snprintf(line, sizeof line, "%.6f %.6f 0\n", x, y);
    text += line;
  }
  return text;
}

// A model (or a solver of it) with two ports, two bounded parameters and
// three species. The arrays made with newArray are adopted by the setters:
// the model frees them, the host must not.
void buildModel(CVLTModel& model, const char* name, const char* description) {
  model.setName(name);
  model.setDescription(description);
  CVLTPort* ports = CVLTPort::newArray(2);
  fillPort(ports[0], "inlet", "material", "in");
  fillPort(ports[1], "outlet", "material", "out");
  model.setPorts(2, ports);
  CVLTParameter* parameters = CVLTParameter::newArray(2);
  fillParameter(parameters[0], "speed", "CAPE_REAL", "1450");
  parameters[0].setLowerBound("0");
  parameters[0].setUpperBound("3000");
  fillParameter(parameters[1], "stages", "CAPE_INT", "2");
  parameters[1].setLowerBound("1");
  parameters[1].setUpperBound("8");
  model.setParameters(2, parameters);
  model.setNrComponents(3);
  for (int i = 0; i < 3; ++i) model.setComponent(i, kSpecies[i]);
}

// A solver of that model: the model's ports and parameters, the
// "file-system" parameter listing its local files (relative to its local
// directory, "/" or "\" between parts), one sorted model component per
// component, and two surfaces with their grids.
void buildSolver(CVLTModel& solver, const std::string& localDir) {
  buildModel(solver, "FlowSolver", "Steady RANS solver");
  CVLTParameter* parameters = CVLTParameter::newArray(3);
  for (int i = 0; i < 2; ++i) parameters[i] = solver.getParameters()[i];
  fillParameter(parameters[2], "file-system", "CAPE_OPTION", "");
  parameters[2].setNrOptions(3);
  parameters[2].setOption(0, "case.cfg");
  parameters[2].setOption(1, "mesh/grid.msh");
  parameters[2].setOption(2, "mesh\\boundary.txt");
  solver.setParameters(3, parameters);  // frees the two-parameter array held before
  solver.setCommand("flowsolve --case case.cfg");
  solver.setLocalDir(localDir.c_str());
  solver.setNrSortedModelComponents(3);
  for (int i = 0; i < 3; ++i) solver.setSortedModelComponent(i, kSpecies[2 - i]);
  solver.addSurface("blade");
  solver.addSurface("casing");
  solver.setNodePositions(0, bladeNodePositions().c_str());
  solver.setGridConnectivity(0, "0 1 2\n");
  solver.setNodePositions(1, "0 0 1\n1 0 1\n0 1 1\n");
  solver.setGridConnectivity(1, "2 1 0\n");
}

// A surface report: the 14 bytes "TALIX_Report_2", a zero byte, 25 bytes the
// library does not read, then the value count and one value per line.
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

// Four underlying patterns mixed differently in each report.
std::vector<double> simulatedSurface(int run, int nodes) {
  std::vector<double> values(static_cast<size_t>(nodes));
  for (int j = 0; j < nodes; ++j) {
    double x = static_cast<double>(j) / nodes;
    values[static_cast<size_t>(j)] = std::sin(3.1 * x) * (1 + run % 3) + std::cos(7.0 * x) * (run % 4) +
                                     0.5 * x * x * (run % 5) + 0.2 * std::sin(19.0 * x) * (run % 2);
  }
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s HOST:PORT WORKDIR\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // keep step lines and library messages in order
  // Headers and loaded library must be the same release.
  if (std::strcmp(getLibraryVersion(), TALIXDBAPI_VERSION_STRING) != 0) {
    std::fprintf(stderr, "built with TALIXDBAPI %s but running with %s\n", TALIXDBAPI_VERSION_STRING,
                 getLibraryVersion());
    return 1;
  }
  std::printf("TALIXDBAPI %s\n", getLibraryVersion());
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
  if (!check(db.open(address), std::string("open ") + address)) return 1;
  // createTalixDb logs in as the administrator and stays logged in; 1 also
  // means the root was there already.
  db.createTalixDb();
  check(db.isTalixDatabaseInstantiated(), "database root /Repository/talixdb present");
  check(db.isLoggedIn(), "logged in as administrator");

  step("Catalogue: a category, a type, two models");
  if (!db.checkCategory("Equipment")) checkCode(db.addCategory("Equipment"), "category Equipment made");
  if (!db.checkType("Pumps", "Equipment")) checkCode(db.addType("Pumps", "Equipment"), "type Equipment/Pumps made");
  CVLTModel pump, mixer;
  buildModel(pump, "CentrifugalPump", "A single-stage centrifugal pump");
  buildModel(mixer, "StaticMixer", "An inline static mixer");
  checkCode(db.uploadModel("Equipment", "Pumps", &pump), "Equipment/Pumps/CentrifugalPump stored");
  checkCode(db.uploadModel("Equipment", "Mixers", &mixer), "Equipment/Mixers/StaticMixer stored (type made on the way)");
  check(db.uploadModel("Equipment", "Pumps", &pump) == ResultCode::kModelExists,
        std::string("a second upload is refused: ") + getResultText(ResultCode::kModelExists));
  CVLTModel* back = db.downloadModel("Equipment", "Pumps", "CentrifugalPump");  // the host's: deleteObject
  check(back != nullptr && back->getNrPorts() == 2 && back->getNrParameters() == 2 && back->getNrComponents() == 3,
        "downloaded back: 2 ports, 2 parameters, 3 species");
  CVLTModel::deleteObject(back);

  step("Solver with a file tree and two surfaces");
  CVLTModel solver;
  buildSolver(solver, solverDir);
  checkCode(db.importSolver("Equipment", "Pumps", "CentrifugalPump", &solver), "FlowSolver attached to the pump");
  // Results are addressed by the model folder's full repository path.
  const std::string modelPath = "/Repository/talixdb/Equipment/Pumps/CentrifugalPump";
  char* grid = nullptr;
  long gridSize = 0;
  db.downloadSurfaceNodePositions(modelPath.c_str(), "FlowSolver", grid, gridSize, "blade");
  check(grid != nullptr && std::string(grid) == bladeNodePositions(), "node positions of surface blade read back");
  db.releaseMemory(grid);
  const std::string solverCopy = work + "/solver-copy";
  checkCode(db.downloadSolver((modelPath + "/Solvers/FlowSolver").c_str(), solverCopy.c_str()),
            "solver files downloaded into " + solverCopy);

  step("Surface reports and their PCA modes");
  const int nodes = kBladeNodes;
  const int reports = 12;
  for (int r = 1; r <= reports; ++r) {
    const std::string bytes = report(simulatedSurface(r, nodes));
    // Note the order: surface name, then report number.
    int stored = db.uploadSurface(modelPath.c_str(), "FlowSolver", "blade", r, bytes.data(),
                                  static_cast<long>(bytes.size()));
    if (stored != ResultCode::kSuccess) checkCode(stored, "report " + std::to_string(r) + " stored");
  }
  // ... and here report number, then surface name.
  check(db.isSurfaceUploaded(modelPath.c_str(), "FlowSolver", reports, "blade"), "the last report is stored");
  int modes = db.getNrPcaModes(modelPath.c_str(), "FlowSolver", "blade");
  std::printf("  %d reports of %d values gave %d PCA modes\n", reports, nodes, modes);
  check(modes >= 2 && modes < reports, "several modes, fewer than reports");
  double* values = nullptr;
  int n = db.downloadSurfaceValues(modelPath.c_str(), "FlowSolver", "blade", 5, values);
  check(n == nodes, "report 5 read back: " + std::to_string(n) + " values");
  db.releaseMemory(values);
  double* mode = nullptr;
  check(db.downloadPcaModeValues(modelPath.c_str(), "FlowSolver", "blade", 0, mode) == modes && mode != nullptr,
        "components of mode 0 read");
  db.releaseMemory(mode);
  double* amplitudes = nullptr;
  int m = db.getModalAmplitudes(modelPath.c_str(), "FlowSolver", "blade", 5, amplitudes);
  std::printf("  amplitudes of report 5:");
  for (int i = 0; i < m; ++i) std::printf(" %.4g", amplitudes[i]);
  std::printf("\n");
  check(m == modes, "one amplitude per mode");
  db.releaseMemory(amplitudes);

  step("Save and fetch an instance");
  int instance = 0;  // 0: a new number
  checkCode(db.uploadInstance(modelPath.c_str(), "FlowSolver", instance, solverDir.c_str()), "instance saved");
  std::printf("  instance number %d\n", instance);
  const std::string fetched = work + "/instance-copy";
  int number = instance;
  checkCode(db.downloadInstance(modelPath.c_str(), "FlowSolver", number, fetched.c_str()),
            "instance fetched into " + fetched);
  check(number == instance && std::ifstream(fetched + "/mesh/grid.msh").good(), "fetched file mesh/grid.msh is there");

  step("Browse the catalogue");
  db.takeVLTSnapshot(nullptr);
  if (db.downloadCategoryNames()) {
    for (int c = 0; c < db.getNrDownloadedCategoryNames(); ++c) {
      // Copy the names: the next listing of the same kind replaces them.
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
  // Filter rows: {label, "contains", value, null}, the list ended by null.
  const char* pumpRow[] = {"Model name", "contains", "Pump", nullptr};
  const char* waterRow[] = {"A model specie name", "contains", "water", nullptr};
  const char** criteria[] = {pumpRow, waterRow, nullptr};
  db.takeVLTSnapshot(criteria);  // the same rows: the species are read too
  db.filterVLTSnapshot(criteria);
  db.downloadModelLeafNames();
  std::printf("  models whose name contains Pump and with a species containing water:");
  for (int i = 0; i < db.getNrDownloadedLeafNames(); ++i) std::printf(" %s", db.getDownloadedLeafName(i));
  std::printf("\n");
  check(db.getNrDownloadedLeafNames() == 1, "one model passes the filter");

  step("Back a category up and restore it elsewhere");
  const std::string backup = work + "/backup-Equipment";
  checkCode(db.backupTALIXFolder("/Repository/talixdb/Equipment", backup.c_str()), "backup written to " + backup);
  checkCode(db.restoreTALIXFolder("/Repository/talixdb/EquipmentCopy", backup.c_str()),
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
