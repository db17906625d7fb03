// The register of simulation servers: one folder per server name.
#include <memory>
#include <string>

#include "catalogue/FolderIo.h"
#include "client/RepositoryClient.h"
#include "handle/SimulationServerRegistry.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {
const char kRegisterFolder[] = "TalixRegisteredServers";
const char kServersFolder[] = "SimulationServers";
}  // namespace

bool CVLTDatabase::registerTALIXSimulationServer(const char* serverName, bool keepExisting) try {
  if (serverName == nullptr || m_pRepository == nullptr) return false;
  const std::string registerPath = std::string(m_szRepositoryRoot) + "/" + kRegisterFolder;
  const std::string serversPath = registerPath + "/" + kServersFolder;
  const std::string path = serversPath + "/" + serverName;
  if (!keepExisting) deleteItem(path.c_str());
  if (!checkModelObject(registerPath.c_str()) &&
      folders::create(m_pBinding, m_szRepositoryRoot, kRegisterFolder).empty())
    return false;
  if (!checkModelObject(serversPath.c_str()) && folders::create(m_pBinding, registerPath, kServersFolder).empty())
    return false;
  if (!checkModelObject(path.c_str()) && folders::create(m_pBinding, serversPath, serverName).empty())
    return false;
  return true;
} catch (...) { return false; }

int CVLTDatabase::downloadRegisteredSimulationServers() try {
  CRepositoryClient* repository = m_pServerRegistry->m_pRepository;
  if (repository == nullptr) return 0;
  std::unique_ptr<CRepositoryObject> folder(
      repository->findByPath(std::string(m_szRepositoryRoot) + "/" + kRegisterFolder + "/" + kServersFolder));
  if (folder) {
    m_pServerRegistry->m_vecServers = folder->getChildNames();
    folder->release();
  }
  return 0;
} catch (...) { return 0; }

int CVLTDatabase::getNrRegisteredSimulationServers() try {
  return static_cast<int>(m_pServerRegistry->m_vecServers.size());
} catch (...) { return 0; }

const char* CVLTDatabase::getRegisteredSimulationServer(int index) try {
  const auto& servers = m_pServerRegistry->m_vecServers;
  if (index < 0 || static_cast<size_t>(index) >= servers.size()) return nullptr;
  return servers[static_cast<size_t>(index)].c_str();
} catch (...) { return nullptr; }

}  // namespace VLT_121
