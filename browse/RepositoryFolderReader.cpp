#include "browse/RepositoryFolderReader.h"

#include <memory>

#include "client/RepositoryClient.h"
#include "client/RepositoryObject.h"

namespace VLT_121 {

namespace {

// Found handles are released and deleted before the read returns.
struct ReleaseObject {
  void operator()(CRepositoryObject* object) const {
    object->release();
    delete object;
  }
};
using FoundObject = std::unique_ptr<CRepositoryObject, ReleaseObject>;

}  // namespace

std::vector<std::string> CRepositoryFolderReader::readChildNames(const std::string& path) {
  FoundObject folder(m_repository.findExisting(path));
  if (!folder) return {};
  return folder->getChildNames();
}

std::string CRepositoryFolderReader::readProperty(const std::string& path, const std::string& name) {
  FoundObject folder(m_repository.findExisting(path));
  if (!folder) return {};
  return folder->getProperty(name);
}

std::vector<std::string> CRepositoryFolderReader::readListProperty(const std::string& path,
                                                                   const std::string& name) {
  FoundObject folder(m_repository.findExisting(path));
  if (!folder) return {};
  return folder->getListProperty(name);
}

}  // namespace VLT_121
