#include "catalogue/FolderIo.h"

#include <memory>

#include "catalogue/CatalogueLayout.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/ResultCodes.h"
#include "talixdbapi/VLTObjects.h"

namespace VLT_121 {
namespace folders {

namespace {
std::string text(const char* value) { return value != nullptr ? std::string(value) : std::string(); }
}  // namespace

std::string create(QuillonBinding* binding, const std::string& parent, const std::string& name,
                   const std::function<void(CRepositoryObject&)>& fill) {
  if (binding == nullptr) return std::string();
  CRepositoryObject folder(binding);
  folder.setName(name);
  folder.setParent(parent);
  folder.setTypeName(layout::kFolderType);
  if (fill) fill(folder);
  std::string path = folder.create();
  folder.release();
  return path;
}

int writePorts(QuillonBinding* binding, const std::string& ownerPath, const CVLTModel& owner, int folderCode,
               int portCode) {
  std::string portsPath = create(binding, ownerPath, layout::kPorts);
  if (portsPath.empty()) return folderCode;
  const CVLTPort* ports = owner.getPorts();
  for (int i = 0; i < owner.getNrPorts() && ports != nullptr; ++i) {
    const CVLTPort& port = ports[i];
    std::string made = create(binding, portsPath, text(port.getName()),
                              [&](CRepositoryObject& folder) { layout::writePortProperties(folder, port); });
    if (made.empty()) return portCode;
  }
  return ResultCode::kSuccess;
}

int writeParameters(QuillonBinding* binding, const std::string& ownerPath, const CVLTModel& owner,
                    bool solverParameters, int folderCode, int parameterCode) {
  std::string parametersPath = create(binding, ownerPath, layout::kParameters);
  if (parametersPath.empty()) return folderCode;
  const CVLTParameter* parameters = owner.getParameters();
  for (int i = 0; i < owner.getNrParameters() && parameters != nullptr; ++i) {
    const CVLTParameter& parameter = parameters[i];
    std::string made = create(binding, parametersPath, text(parameter.getName()), [&](CRepositoryObject& folder) {
      if (solverParameters)
        layout::writeSolverParameterProperties(folder, parameter);
      else
        layout::writeModelParameterProperties(folder, parameter);
    });
    if (made.empty()) return parameterCode;
  }
  return ResultCode::kSuccess;
}

bool childNames(CRepositoryClient& repository, const std::string& path, std::vector<std::string>& names) {
  std::unique_ptr<CRepositoryObject> folder(repository.findByPath(path));
  if (!folder) return false;
  names = folder->getChildNames();
  folder->release();
  return true;
}

bool existingChildNames(CRepositoryClient& repository, const std::string& path, std::vector<std::string>& names) {
  if (childNames(repository, path, names)) return true;
  repository.requireAnswer(path);
  return false;
}

int readPorts(CRepositoryClient& repository, const std::string& folderPath,
              const std::vector<std::string>& names, CVLTPort* ports) {
  int read = 0;
  for (const std::string& name : names) {
    std::unique_ptr<CRepositoryObject> folder(repository.findExisting(layout::child(folderPath, name)));
    if (!folder) continue;
    layout::readPort(*folder, ports[read++]);
    folder->release();
  }
  return read;
}

int readParameters(CRepositoryClient& repository, const std::string& folderPath,
                   const std::vector<std::string>& names, CVLTParameter* parameters) {
  int read = 0;
  for (const std::string& name : names) {
    std::unique_ptr<CRepositoryObject> folder(repository.findExisting(layout::child(folderPath, name)));
    if (!folder) continue;
    layout::readParameter(*folder, parameters[read++]);
    folder->release();
  }
  return read;
}

}  // namespace folders
}  // namespace VLT_121
