#include "catalogue/FileList.h"

#include <memory>

#include "catalogue/CatalogueLayout.h"
#include "catalogue/FolderIo.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/ResultCodes.h"

namespace VLT_121 {
namespace filelist {

bool splitEntry(const std::string& entry, std::vector<std::string>& parts) {
  parts.clear();
  if (entry.empty() || entry[0] == '/' || entry[0] == '\\') return false;
  // A drive ("C:") makes an absolute path as well.
  if (entry.size() >= 2 && entry[1] == ':') return false;
  std::string current;
  for (char c : entry) {
    if (c == '/' || c == '\\') {
      parts.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  parts.push_back(current);
  for (const std::string& part : parts)
    if (part.empty() || part == "." || part == "..") return false;
  return true;
}

int uploadEntry(CRepositoryClient& repository, const std::string& repositoryRoot, const std::string& localFolder,
                const std::string& entry, int folderCode) {
  std::vector<std::string> parts;
  if (!splitEntry(entry, parts)) return ResultCode::kFileNotUploaded;
  std::string remoteFolder = repositoryRoot;
  std::string localPath = localFolder;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::string candidate = layout::child(remoteFolder, parts[i]);
    std::unique_ptr<CRepositoryObject> found(repository.findByPath(candidate));
    if (found) {
      found->release();
    } else if (folders::create(repository.binding(), remoteFolder, parts[i]).empty()) {
      return folderCode;
    }
    remoteFolder = candidate;
    localPath = layout::child(localPath, parts[i]);
  }
  localPath = layout::child(localPath, parts.back());
  if (repository.uploadLocalFile(remoteFolder, localPath).empty()) return ResultCode::kFileNotUploaded;
  return ResultCode::kSuccess;
}

}  // namespace filelist
}  // namespace VLT_121
