// Attaching a solver to a stored model, and copying a stored solver's files.
#include <memory>
#include <string>

#include "catalogue/CatalogueLayout.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderIo.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {
void keepFirstFailure(int& result, int code) {
  if (result == ResultCode::kSuccess) result = code;
}
}  // namespace

int CVLTDatabase::importSolver(const char* category, const char* type, const char* model, CVLTModel* solver) try {
  int checked = checkSolverCompatibility(category, type, model, solver);
  if (checked != ResultCode::kSuccess) return checked;
  const std::string modelPath = layout::modelPath(m_szDatabaseRoot, category, type, model);
  std::string made = folders::create(m_pBinding, layout::child(modelPath, layout::kSolvers), solver->getName(),
                                     [&](CRepositoryObject& folder) { layout::writeSolverProperties(folder, *solver); });
  if (made.empty()) return ResultCode::kSolverNotMade;

  // Every step runs; the first failure among them is the result.
  int result = addSolverPorts(category, type, model, solver);
  keepFirstFailure(result, addSolverParameters(category, type, model, solver));
  keepFirstFailure(result, addSolverFileSystem(category, type, model, solver));
  const int nrSurfaces = solver->getNrSurfaces();
  if (nrSurfaces > 0) {
    for (int i = 0; i < nrSurfaces; ++i)
      keepFirstFailure(result, uploadNodePositions(modelPath.c_str(), solver->getName(), solver->getNodePositions(i),
                                                   solver->getSurfaceName(i)));
    for (int i = 0; i < nrSurfaces; ++i)
      keepFirstFailure(result, uploadGridConnectivity(modelPath.c_str(), solver->getName(),
                                                      solver->getGridConnectivity(i), solver->getSurfaceName(i)));
  } else {
    keepFirstFailure(result,
                     uploadNodePositions(modelPath.c_str(), solver->getName(), solver->getNodePositions(), nullptr));
    keepFirstFailure(result, uploadGridConnectivity(modelPath.c_str(), solver->getName(),
                                                    solver->getGridConnectivity(), nullptr));
  }
  return result;
} catch (...) { return ResultCode::kSolverNotMade; }

int CVLTDatabase::addSolverPorts(const char* category, const char* type, const char* model, CVLTModel* solver) {
  if (solver == nullptr) return ResultCode::kSolverPortsNotMade;
  const std::string path = layout::solverPath(layout::modelPath(m_szDatabaseRoot, category, type, model), solver->getName());
  return folders::writePorts(m_pBinding, path, *solver, ResultCode::kSolverPortsNotMade,
                             ResultCode::kSolverPortOrParameterNotMade);
}

int CVLTDatabase::addSolverParameters(const char* category, const char* type, const char* model,
                                      CVLTModel* solver) {
  if (solver == nullptr) return ResultCode::kSolverParametersNotMade;
  const std::string path = layout::solverPath(layout::modelPath(m_szDatabaseRoot, category, type, model), solver->getName());
  return folders::writeParameters(m_pBinding, path, *solver, true, ResultCode::kSolverParametersNotMade,
                                  ResultCode::kSolverPortOrParameterNotMade);
}

int CVLTDatabase::addSolverFileSystem(const char* category, const char* type, const char* model,
                                      CVLTModel* solver) {
  if (solver == nullptr || m_pRepository == nullptr) return ResultCode::kFileSystemFolderNotMade;
  const std::string path = layout::solverPath(layout::modelPath(m_szDatabaseRoot, category, type, model), solver->getName());
  const std::string fileRoot = folders::create(m_pBinding, path, layout::kFileSystem);
  if (fileRoot.empty()) return ResultCode::kFileSystemFolderNotMade;

  const CVLTParameter* parameters = solver->getParameters();
  const CVLTParameter* list = nullptr;
  for (int i = 0; i < solver->getNrParameters() && parameters != nullptr && list == nullptr; ++i)
    if (std::string(parameters[i].getName()) == layout::kFileSystemParameter) list = &parameters[i];
  if (list == nullptr || !layout::isOptionType(list->getType()) || list->getNrOptions() == 0)
    return ResultCode::kSuccess;
  for (int k = 0; k < list->getNrOptions(); ++k) {
    int uploaded = filelist::uploadEntry(*m_pRepository, fileRoot, solver->getLocalDir(), list->getOption(k),
                                         ResultCode::kTreeFolderNotMade);
    if (uploaded != ResultCode::kSuccess) return uploaded;
  }
  return ResultCode::kSuccess;
}

int CVLTDatabase::downloadSolver(const char* solverPath, const char* localDirectory) try {
  if (solverPath == nullptr || localDirectory == nullptr || m_pRepository == nullptr) return ResultCode::kSolverMissing;
  if (!checkModelObject(solverPath)) return ResultCode::kSolverMissing;
  const std::string fileRoot = std::string(solverPath) + "/" + layout::kFileSystem;
  std::unique_ptr<CRepositoryObject> folder(m_pRepository->findByPath(fileRoot));
  if (folder) {
    bool isFolder = folder->getTypeName() == layout::kFolderType;
    folder->release();
    if (isFolder) downloadFolder(fileRoot.c_str(), localDirectory);
  }
  return ResultCode::kSuccess;
} catch (...) { return ResultCode::kFileNotDownloaded; }

}  // namespace VLT_121
