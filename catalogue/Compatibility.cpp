// Whether a solver may be attached to a stored model, and whether every part
// of an in-memory model has its folder in the catalogue.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/CatalogueLayout.h"
#include "catalogue/FolderIo.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

// The refusal text for a model part the solver lacks, on standard output.
void printMissing(const char* what, const std::string& name) {
  std::printf("The solver is incompatible with the model:\n");
  std::printf("Model %s %s is not instantiated in the solver.\n", what, name.c_str());
  std::printf("Solver is not loaded\n");
  std::fflush(stdout);
}

struct StoredFolder {
  bool found = false;
  std::string type, direction;
  std::vector<std::string> options;
};

StoredFolder readStored(CRepositoryClient& repository, const std::string& path) {
  StoredFolder stored;
  std::unique_ptr<CRepositoryObject> folder(repository.findByPath(path));
  if (!folder) return stored;
  stored.found = true;
  stored.type = folder->getProperty(layout::kType);
  stored.direction = folder->getProperty(layout::kDirection);
  stored.options = folder->getListProperty(layout::kOptions);
  folder->release();
  return stored;
}

// One solver parameter against the stored parameter of the same name.
bool parameterMatches(const StoredFolder& stored, const CVLTParameter& parameter, const std::string& name) {
  if (stored.type != parameter.getType()) return false;
  if (stored.type != layout::kOptionType || name == layout::kFileSystemParameter) return true;
  if (static_cast<int>(stored.options.size()) != parameter.getNrOptions()) return false;
  if (name == layout::kPublicSpeciesParameter) return true;
  for (const std::string& option : stored.options) {
    bool equal = false;
    for (int k = 0; k < parameter.getNrOptions() && !equal; ++k) equal = option == parameter.getOption(k);
    if (!equal) return false;
  }
  return true;
}

}  // namespace

int CVLTDatabase::checkSolverCompatibility(const char* category, const char* type, const char* model,
                                           CVLTModel* solver) {
  if (solver == nullptr || *solver->getName() == '\0') return ResultCode::kSolverMissing;
  if (m_pRepository == nullptr) return ResultCode::kModelMissing;
  const std::string modelPath = layout::modelPath(m_szDatabaseRoot, category, type, model);
  if (checkModelObject(layout::solverPath(modelPath, solver->getName()).c_str())) return ResultCode::kSolverExists;

  std::unique_ptr<CRepositoryObject> modelFolder(m_pRepository->findByPath(modelPath));
  if (!modelFolder) return ResultCode::kModelMissing;
  const int storedParameters = modelFolder->getIntProperty(layout::kNrParameters);
  const int storedPorts = modelFolder->getIntProperty(layout::kNrPorts);
  const int storedComponents = modelFolder->getIntProperty(layout::kNrComponents);
  const std::vector<std::string> components = modelFolder->getListProperty(layout::kComponents);
  modelFolder->release();

  if (storedParameters > solver->getNrParameters()) return ResultCode::kParameterIncompatible;
  if (storedPorts > solver->getNrPorts()) return ResultCode::kPortIncompatible;
  if (storedComponents != solver->getNrComponents() && solver->getNrComponents() > 0)
    return ResultCode::kComponentsIncompatible;
  if (solver->getNrComponents() == 0) {
    // The solver takes the model's species; this change stays with the caller.
    solver->setNrComponents(static_cast<int>(components.size()));
    for (size_t i = 0; i < components.size(); ++i) solver->setComponent(static_cast<int>(i), components[i].c_str());
  }
  if (solver->getNrSortedModelComponents() != solver->getNrComponents()) return ResultCode::kComponentsIncompatible;

  std::vector<std::string> names;
  const std::string parametersPath = layout::child(modelPath, layout::kParameters);
  if (folders::childNames(*m_pRepository, parametersPath, names)) {
    const CVLTParameter* parameters = solver->getParameters();
    for (const std::string& name : names) {
      bool seen = false;
      for (int i = 0; i < solver->getNrParameters() && parameters != nullptr; ++i) {
        const CVLTParameter& parameter = parameters[i];
        if (name != parameter.getName()) continue;
        seen = true;
        StoredFolder stored = readStored(*m_pRepository, layout::child(parametersPath, name));
        if (!parameterMatches(stored, parameter, name)) return ResultCode::kParameterIncompatible;
        const bool searchOn = stored.type == layout::kOptionType &&
                              (name == layout::kFileSystemParameter || name == layout::kPublicSpeciesParameter);
        if (!searchOn) break;
      }
      if (!seen) {
        printMissing("Parameter", name);
        return ResultCode::kParameterIncompatible;
      }
    }
  }

  const std::string portsPath = layout::child(modelPath, layout::kPorts);
  if (folders::childNames(*m_pRepository, portsPath, names)) {
    const CVLTPort* ports = solver->getPorts();
    for (const std::string& name : names) {
      bool seen = false;
      for (int i = 0; i < solver->getNrPorts() && ports != nullptr; ++i) {
        const CVLTPort& port = ports[i];
        if (name != port.getName()) continue;
        seen = true;
        StoredFolder stored = readStored(*m_pRepository, layout::child(portsPath, name));
        if (stored.type != port.getType() || stored.direction != port.getDirection())
          return ResultCode::kPortIncompatible;
      }
      if (!seen) {
        printMissing("Port", name);
        return ResultCode::kPortIncompatible;
      }
    }
  }
  return ResultCode::kSuccess;
}

bool CVLTDatabase::checkModelCompatibility(const char* category, const char* type, const char* modelName,
                                           const CVLTModel* model) try {
  if (model == nullptr || category == nullptr || type == nullptr || modelName == nullptr) return false;
  const std::string modelPath = layout::modelPath(m_szDatabaseRoot, category, type, modelName);
  auto fail = [&](const char* message) {
    logMessage(TALIX::LogTypeError, message);
    return false;
  };
  if (!checkModelObject(modelPath.c_str())) return fail("Model does not exist in the database.");
  const CVLTParameter* parameters = model->getParameters();
  for (int i = 0; i < model->getNrParameters() && parameters != nullptr; ++i)
    if (!checkModelObject(layout::child(layout::child(modelPath, layout::kParameters), parameters[i].getName()).c_str()))
      return fail("Model parameter does not exist in the database.");
  const CVLTPort* ports = model->getPorts();
  for (int i = 0; i < model->getNrPorts() && ports != nullptr; ++i)
    if (!checkModelObject(layout::child(layout::child(modelPath, layout::kPorts), ports[i].getName()).c_str()))
      return fail("Model port does not exist in the database.");
  const CVLTModel* solvers = model->getSolvers();
  bool testedSolver = false;
  for (int s = 0; s < model->getNrSolvers() && solvers != nullptr; ++s) {
    const CVLTModel& solver = solvers[s];
    const std::string solverPath = layout::solverPath(modelPath, solver.getName());
    testedSolver = true;
    if (!checkModelObject(solverPath.c_str())) return fail("Solver does not exist in the database.");
    const CVLTParameter* solverParameters = solver.getParameters();
    for (int i = 0; i < solver.getNrParameters() && solverParameters != nullptr; ++i)
      if (!checkModelObject(
              layout::child(layout::child(solverPath, layout::kParameters), solverParameters[i].getName()).c_str()))
        return fail("Solver parameter does not exist in the database.");
    const CVLTPort* solverPorts = solver.getPorts();
    for (int i = 0; i < solver.getNrPorts() && solverPorts != nullptr; ++i)
      if (!checkModelObject(layout::child(layout::child(solverPath, layout::kPorts), solverPorts[i].getName()).c_str()))
        return fail("solver port does not exist in the database.");
  }
  return testedSolver;
} catch (...) { return false; }

}  // namespace VLT_121
