// Storing a model in the catalogue and reading it back with its solvers.
#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/CatalogueLayout.h"
#include "catalogue/FolderIo.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

int CVLTDatabase::uploadModel(const char* category, const char* type, const CVLTModel* model) try {
  if (model == nullptr || category == nullptr || type == nullptr || m_pRepository == nullptr)
    return ResultCode::kModelNotMade;
  const std::string typeFolder = layout::typePath(m_szDatabaseRoot, category, type);
  if (checkModelObject(layout::child(typeFolder, model->getName()).c_str())) return ResultCode::kModelExists;
  if (!checkCategory(category)) {
    int made = addCategory(category);
    if (made != ResultCode::kSuccess) return made;
  }
  if (!checkType(type, category)) addType(type, category);

  std::string modelFolder = folders::create(m_pBinding, typeFolder, model->getName(),
                                            [&](CRepositoryObject& folder) {
                                              layout::writeModelProperties(folder, *model);
                                            });
  if (modelFolder.empty()) return ResultCode::kModelNotMade;

  // Every step runs; the first failure is what the caller hears about, so a
  // partly stored model is never reported as stored.
  int result = addModelPorts(category, type, model);
  int parameters = addModelParameters(category, type, model);
  if (result == ResultCode::kSuccess) result = parameters;
  folders::create(m_pBinding, modelFolder, layout::kSolvers);
  return result;
} catch (...) { return ResultCode::kModelNotMade; }

int CVLTDatabase::addModelPorts(const char* category, const char* type, const CVLTModel* model) {
  if (model == nullptr) return ResultCode::kModelPortsNotMade;
  return folders::writePorts(m_pBinding, layout::modelPath(m_szDatabaseRoot, category, type, model->getName()),
                             *model, ResultCode::kModelPortsNotMade, ResultCode::kModelPortNotMade);
}

int CVLTDatabase::addModelParameters(const char* category, const char* type, const CVLTModel* model) {
  if (model == nullptr) return ResultCode::kModelParametersNotMade;
  return folders::writeParameters(m_pBinding,
                                  layout::modelPath(m_szDatabaseRoot, category, type, model->getName()), *model,
                                  false, ResultCode::kModelParametersNotMade, ResultCode::kModelParameterNotMade);
}

namespace {

// Reads the parameter and port folders below `ownerPath` into `owner`,
// counting at most `mostParameters` and `mostPorts`; a part that could not be
// read throws. Every array made is adopted or released.
void readParametersAndPorts(CRepositoryClient& repository, const std::string& ownerPath, CVLTModel& owner,
                            int mostParameters, int mostPorts) {
  std::vector<std::string> names;
  const std::string parametersPath = layout::child(ownerPath, layout::kParameters);
  if (folders::existingChildNames(repository, parametersPath, names)) {
    std::unique_ptr<CVLTParameter[]> parameters(CVLTParameter::newArray(static_cast<int>(names.size())));
    const int read = folders::readParameters(repository, parametersPath, names, parameters.get());
    owner.setParameters(std::max(0, std::min(mostParameters, read)), parameters.release());
  }
  const std::string portsPath = layout::child(ownerPath, layout::kPorts);
  if (folders::existingChildNames(repository, portsPath, names)) {
    std::unique_ptr<CVLTPort[]> ports(CVLTPort::newArray(static_cast<int>(names.size())));
    const int read = folders::readPorts(repository, portsPath, names, ports.get());
    owner.setPorts(std::max(0, std::min(mostPorts, read)), ports.release());
  }
}

// Reads the solver at `solverPath` into `solver`: false when there is none
// (the object stays as it was). A part that could not be read throws, with
// `solver` part filled.
bool readSolver(CRepositoryClient& repository, const std::string& solverPath, CVLTModel& solver) {
  std::unique_ptr<CRepositoryObject> folder(repository.findExisting(solverPath));
  if (!folder) return false;
  layout::readSolverHeader(*folder, solver);
  folder->release();
  readParametersAndPorts(repository, solverPath, solver, INT_MAX, INT_MAX);
  return true;
}

}  // namespace

// Out of memory or cut off anywhere on the way, nothing is returned (and
// nothing kept): never a model with a part missing.
CVLTModel* CVLTDatabase::downloadModel(const char* category, const char* type, const char* modelName) try {
  if (m_pRepository == nullptr || category == nullptr || type == nullptr || modelName == nullptr) return nullptr;
  const std::string modelPath = layout::modelPath(m_szDatabaseRoot, category, type, modelName);
  std::unique_ptr<CRepositoryObject> modelFolder(m_pRepository->findByPath(modelPath));
  if (!modelFolder) return nullptr;

  std::unique_ptr<CVLTModel> model(CVLTModel::newObject());
  layout::readModelHeader(*modelFolder, *model);
  const int storedPorts = modelFolder->getIntProperty(layout::kNrPorts);
  const int storedParameters = modelFolder->getIntProperty(layout::kNrParameters);
  modelFolder->getIntProperty(layout::kNrComponents);
  modelFolder->release();

  // The stored counts never run past the folders actually read.
  readParametersAndPorts(*m_pRepository, modelPath, *model, storedParameters, storedPorts);
  std::vector<std::string> names;
  if (folders::existingChildNames(*m_pRepository, layout::child(modelPath, layout::kSolvers), names)) {
    std::unique_ptr<CVLTModel[]> solvers(CVLTModel::newArray(static_cast<int>(names.size())));
    for (size_t i = 0; i < names.size(); ++i) {
      CVLTModel& solver = solvers[i];
      readSolver(*m_pRepository, layout::solverPath(modelPath, names[i].c_str()), solver);
      if (solver.getNrSortedModelComponents() == 0) {
        solver.setNrSortedModelComponents(model->getNrComponents());
        for (int j = 0; j < model->getNrComponents(); ++j)
          solver.setSortedModelComponent(j, model->getComponent(j));
      }
    }
    model->setSolvers(static_cast<int>(names.size()), solvers.release());
  }
  return model.release();
} catch (...) { return nullptr; }

void CVLTDatabase::exportSolver(CVLTModel* solver, const char* category, const char* type, const char* model,
                                const char* solverName) try {
  if (solver == nullptr || m_pRepository == nullptr || category == nullptr || type == nullptr ||
      model == nullptr || solverName == nullptr)
    return;
  readSolver(*m_pRepository, layout::solverPath(layout::modelPath(m_szDatabaseRoot, category, type, model), solverName),
             *solver);
} catch (...) { }

}  // namespace VLT_121
