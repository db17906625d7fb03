// Copying a repository folder tree, or one file, to the local disk.
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "catalogue/CatalogueLayout.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

// A child name that could lead outside the local folder is never written.
bool safeLocalName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace

int CVLTDatabase::downloadFolder(const char* remotePath, const char* localFolder) {
  if (remotePath == nullptr || localFolder == nullptr) return ResultCode::kNotFound;
  ::mkdir(localFolder, 0755);  // an existing directory is fine
  std::unique_ptr<CRepositoryObject> folder(m_pRepository != nullptr ? m_pRepository->findByPath(remotePath) : nullptr);
  if (!folder) {
    logMessage(TALIX::LogTypeError, (std::string("Error accessing ") + remotePath).c_str());
    return ResultCode::kNotFound;
  }
  std::vector<std::string> children = folder->getChildNames();
  folder->release();
  for (const std::string& name : children) {
    const std::string remoteChild = layout::child(remotePath, name);
    const std::string localChild = layout::child(localFolder, name);
    if (!safeLocalName(name)) {
      logMessage(TALIX::LogTypeError, ("Error accessing " + remoteChild).c_str());
      return ResultCode::kNotFound;
    }
    std::unique_ptr<CRepositoryObject> found(m_pRepository->findByPath(remoteChild));
    if (!found) {
      logMessage(TALIX::LogTypeError, ("Error accessing " + remoteChild).c_str());
      return ResultCode::kNotFound;
    }
    const bool isFolder = found->getTypeName() == layout::kFolderType;
    found->release();
    if (isFolder) {
      int result = downloadFolder(remoteChild.c_str(), localChild.c_str());
      if (result != ResultCode::kSuccess) return result;
    } else {
      int result = downloadFile(remoteChild.c_str(), localChild.c_str());
      if (result != ResultCode::kSuccess) {
        logMessage(TALIX::LogTypeError, ("Error downloading " + remoteChild).c_str());
        return result;
      }
    }
  }
  return ResultCode::kSuccess;
}

int CVLTDatabase::downloadFile(const char* remotePath, const char* localPath) {
  if (m_pRepository == nullptr || remotePath == nullptr || localPath == nullptr)
    return ResultCode::kFileNotDownloaded;
  return m_pRepository->downloadFileToDisk(remotePath, localPath).empty() ? ResultCode::kFileNotDownloaded
                                                                          : ResultCode::kSuccess;
}

}  // namespace VLT_121
