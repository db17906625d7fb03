// Backing a repository folder tree up to a local directory tree, with the
// properties of every folder, and restoring it from such a copy.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "admin/BackupPropertiesFile.h"
#include "catalogue/CatalogueLayout.h"
#include "client/LocalFile.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

// A repository name that could lead outside the local folder.
bool unsafeLocalName(const std::string& name) {
  return name.empty() || name == "." || name == ".." ||
         name.find_first_of(std::string("/\\\0", 3)) != std::string::npos;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Entry names of a local directory in the order the platform lists them,
// without "." and "..".
std::vector<std::string> listDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// Why a local copy cannot be restored at `target`, checked for every
// directory in it before anything in the repository changes.
enum class CopyCheck { kValid, kMissingFile, kInvalid };

CopyCheck checkCopy(const std::string& target, const std::string& localFolder, std::string& badFile) {
  badFile = localFolder + "/" + backupPropertiesFileName();
  std::string bytes;
  if (!localfile::readRegularFile(badFile, bytes)) return CopyCheck::kMissingFile;
  BackupPropertiesFile file;
  if (!parseBackupProperties(bytes, file) || file.depth != slashDepth(target)) return CopyCheck::kInvalid;
  for (const std::string& entry : listDirectory(localFolder)) {
    const std::string local = localFolder + "/" + entry;
    if (!isDirectory(local)) continue;
    CopyCheck child = checkCopy(withoutBackupDirectorySuffix(target + "/" + entry), local, badFile);
    if (child != CopyCheck::kValid) return child;
  }
  return CopyCheck::kValid;
}

}  // namespace

int CVLTDatabase::backupTALIXFolder(const char* remotePath, const char* localFolder) try {
  if (remotePath == nullptr || localFolder == nullptr) return ResultCode::kNotFound;
  const std::string remote = remotePath;
  logMessage(TALIX::LogTypeProgress, ("Start downloading " + remote + ".\n").c_str());

  std::string directory = localFolder;
  ::rmdir(directory.c_str());  // an empty directory is reused; a full one refuses
  if (::mkdir(directory.c_str(), 0755) != 0) {
    if (errno == EINVAL) {
      directory += backupDirectorySuffix();
      ::rmdir(directory.c_str());
      ::mkdir(directory.c_str(), 0755);
    } else {
      logMessage(TALIX::LogTypeError, ("Error creating local folder:\n " + directory + ".\n" +
                                       "Please try to remove the folder manualy.\n")
                                          .c_str());
      return ResultCode::kLocalNotMade;
    }
  }
  logMessage(TALIX::LogTypeProgress, ("Destination folder:\n " + directory + ".\n").c_str());

  std::unique_ptr<CRepositoryObject> folder(m_pRepository != nullptr ? m_pRepository->findByPath(remote) : nullptr);
  if (!folder) {
    logMessage(TALIX::LogTypeError, ("Error accessing " + remote).c_str());
    return ResultCode::kNotFound;
  }

  std::vector<BackupProperty> properties;
  for (const std::string& name : folder->getPropertyNames()) {
    BackupProperty property;
    property.name = name;
    property.kind = backupPropertyKind(name);
    switch (property.kind) {
      case BackupPropertyKind::String: property.text = folder->getProperty(name); break;
      case BackupPropertyKind::Integer: property.number = folder->getIntProperty(name); break;
      case BackupPropertyKind::List: property.list = folder->getListProperty(name); break;
      case BackupPropertyKind::Ignored: continue;
    }
    properties.push_back(property);
  }
  const std::vector<std::string> children = folder->getChildNames();
  folder->release();

  const std::string propertiesPath = directory + "/" + backupPropertiesFileName();
  std::FILE* out = std::fopen(propertiesPath.c_str(), "wb");
  if (out == nullptr) {
    logMessage(TALIX::LogTypeError, ("Error creating " + propertiesPath + ".\n").c_str());
    return ResultCode::kLocalNotMade;
  }
  const std::string tokens = formatBackupProperties(slashDepth(remote), properties);
  bool written = std::fwrite(tokens.data(), 1, tokens.size(), out) == tokens.size();
  written = std::fclose(out) == 0 && written;
  if (!written) {
    logMessage(TALIX::LogTypeError, ("Error creating " + propertiesPath + ".\n").c_str());
    return ResultCode::kLocalNotMade;
  }

  for (const std::string& name : children) {
    const std::string remoteChild = remote + "/" + name;
    const std::string localChild = directory + "/" + name;
    std::unique_ptr<CRepositoryObject> child(unsafeLocalName(name) ? nullptr : m_pRepository->findByPath(remoteChild));
    if (!child) {
      logMessage(TALIX::LogTypeError, ("Error accessing " + remoteChild + ".\n").c_str());
      return ResultCode::kNotFound;
    }
    const bool isFolder = child->getTypeName() == layout::kFolderType;
    child->release();
    if (isFolder) {
      int result = backupTALIXFolder(remoteChild.c_str(), localChild.c_str());
      if (result != ResultCode::kSuccess) {
        logMessage(TALIX::LogTypeError,
                   ("Error downloading folder " + remoteChild + " to " + localChild + ".\n").c_str());
        return result;
      }
    } else {
      int result = downloadFile(remoteChild.c_str(), localChild.c_str());
      if (result != ResultCode::kSuccess) {
        const std::string& why = m_pRepository->lastFailure();
        logMessage(TALIX::LogTypeError,
                   ("Error downloading file " + remoteChild + " to " + localChild + ".\n" + (why.empty() ? "" : why + "\n")).c_str());
        return result;
      }
    }
  }
  logMessage(TALIX::LogTypeProgress, ("Succesful download of " + remote + ".\n").c_str());
  return ResultCode::kSuccess;
} catch (...) { return ResultCode::kLocalNotMade; }

int CVLTDatabase::restoreTALIXFolder(const char* remotePath, const char* localFolder) try {
  if (remotePath == nullptr || localFolder == nullptr) return ResultCode::kRestoreFailed;
  return restoreFolder(remotePath, localFolder, false);
} catch (...) { return ResultCode::kRestoreFailed; }

int CVLTDatabase::restoreFolder(const std::string& remote, const std::string& local, bool copyChecked) {
  logMessage(TALIX::LogTypeProgress, ("Start Restoring " + remote + ".").c_str());
  const std::string target = withoutBackupDirectorySuffix(remote);
  const size_t cut = target.find_last_of("/\\");
  if (cut == std::string::npos) return ResultCode::kRestoreFailed;
  const std::string parent = target.substr(0, cut);
  const std::string name = target.substr(cut + 1);

  // The whole local copy is checked before the tree at the target goes, so a
  // missing or invalid copy never costs the repository anything.
  // Child folders were checked with the whole copy by the first call.
  std::string badFile;
  switch (copyChecked ? CopyCheck::kValid : checkCopy(target, local, badFile)) {
    case CopyCheck::kMissingFile:
      logMessage(TALIX::LogTypeError, ("Invalid folder format: missing file:\n" + badFile).c_str());
      return ResultCode::kRestoreFailed;
    case CopyCheck::kInvalid:
      logMessage(TALIX::LogTypeError, ("Invalid folder format. File:\n" + badFile).c_str());
      return ResultCode::kRestoreFailed;
    case CopyCheck::kValid:
      break;
  }
  if (m_pRepository == nullptr) return ResultCode::kRestoreFailed;
  // The first call replaces the tree; below it nothing is left to delete.
  if (!copyChecked && checkModelObject(target.c_str())) m_pRepository->deleteObject(target.c_str());

  const std::string propertiesPath = local + "/" + backupPropertiesFileName();
  std::string bytes;
  BackupPropertiesFile file;
  localfile::readRegularFile(propertiesPath, bytes);
  parseBackupProperties(bytes, file);

  CRepositoryObject folder(m_pBinding);
  folder.setName(name);
  folder.setParent(parent);
  folder.setTypeName(layout::kFolderType);
  for (const BackupProperty& property : file.properties) {
    switch (property.kind) {
      case BackupPropertyKind::String:
        folder.setUserSpecifiedProperties(property.name);
        folder.setProperty(property.name, property.text);
        break;
      case BackupPropertyKind::List:
        folder.setUserSpecifiedProperties(property.name);
        folder.setListProperty(property.name, property.list);
        break;
      case BackupPropertyKind::Integer:
        folder.setUserSpecifiedProperties(property.name);
        folder.setIntProperty(property.name, static_cast<int>(property.number));
        break;
      case BackupPropertyKind::Ignored:
        break;
    }
  }
  const std::string made = folder.create();
  folder.release();
  if (made.empty()) return ResultCode::kRestoreFailed;

  for (const std::string& entry : listDirectory(local)) {
    if (entry == backupPropertiesFileName()) continue;
    const std::string localEntry = local + "/" + entry;
    if (isDirectory(localEntry)) {
      int result = restoreFolder(target + "/" + entry, localEntry, true);
      if (result != ResultCode::kSuccess) {
        logMessage(TALIX::LogTypeError, ("Error uploading Folder:\n" + local + "\n").c_str());
        return result;
      }
    } else {
      logMessage(TALIX::LogTypeProgress, ("Uploading File:\n" + localEntry + "\n").c_str());
      std::string stored;
      try {
        stored = m_pRepository->uploadLocalFile(target, localEntry);
      } catch (...) {
        logMessage(TALIX::LogTypeError, ("Unknown exception while uploading File:\n" + localEntry + "\n").c_str());
        return ResultCode::kRestoreFailed;
      }
      if (stored.empty()) {
        const std::string& why = m_pRepository->lastFailure();
        logMessage(TALIX::LogTypeError,
                   ("Error uploading File:\n" + localEntry + "\n" + (why.empty() ? "" : why + "\n")).c_str());
        return ResultCode::kRestoreFailed;
      }
    }
  }
  logMessage(TALIX::LogTypeProgress, ("Successful restoring of " + remote + ".").c_str());
  return ResultCode::kSuccess;
}

}  // namespace VLT_121
