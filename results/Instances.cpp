// Instances: numbered working copies of a solver's files.
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "catalogue/CatalogueLayout.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderIo.h"
#include "client/RepositoryClient.h"
#include "results/NumberedNames.h"
#include "results/ResultPaths.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

// The last child whose number is `number`, or "".
std::string findNumbered(const std::vector<std::string>& names, int number) {
  std::string found;
  for (const std::string& name : names)
    if (numberedEntryNumber(name) == number) found = name;
  return found;
}

// A name for entry `number` that no sibling has yet: the current time, moved
// on by a second while an entry of the same number was made this second.
std::string freshEntryName(int number, const std::vector<std::string>& siblings) {
  const std::set<std::string> taken(siblings.begin(), siblings.end());
  long long now = static_cast<long long>(std::time(nullptr));
  std::string name = numberedEntryName(number, now);
  while (taken.count(name) != 0) name = numberedEntryName(number, ++now);
  return name;
}

}  // namespace

int CVLTDatabase::uploadInstance(const char* modelPath, const char* solverName, int& instance,
                                 const char* localFolder) try {
  if (m_pRepository == nullptr || localFolder == nullptr) return ResultCode::kInstanceNotMade;
  const std::string solverFolder = resultpaths::solverFolder(modelPath, solverName);
  std::unique_ptr<CRepositoryObject> list(m_pRepository->findByPath(
      layout::child(layout::child(solverFolder, layout::kParameters), layout::kFileSystemParameter)));
  if (!list) return ResultCode::kSuccess;
  const std::string type = list->getProperty(layout::kType);
  const std::vector<std::string> files = list->getListProperty(layout::kOptions);
  list->release();
  if (type != layout::kOptionType) return ResultCode::kFileSystemNotOption;

  const std::string instancesPath = layout::child(solverFolder, layout::kInstances);
  std::vector<std::string> children;
  if (!folders::childNames(*m_pRepository, instancesPath, children)) {
    folders::create(m_pBinding, solverFolder, layout::kInstances);
    folders::childNames(*m_pRepository, instancesPath, children);
  }
  const std::string replaced = findNumbered(children, instance);
  if (replaced.empty()) instance = chooseEntryNumber(children);

  const std::string newFolder = folders::create(m_pBinding, instancesPath, freshEntryName(instance, children));
  if (newFolder.empty()) return ResultCode::kInstanceNotMade;
  logMessage(TALIX::LogTypeProgress, ("Uploading instance:\n" + newFolder).c_str());
  for (const std::string& entry : files) {
    int uploaded = filelist::uploadEntry(*m_pRepository, newFolder, localFolder, entry, ResultCode::kTreeFolderNotMade);
    if (uploaded != ResultCode::kSuccess) return uploaded;
  }
  // The old instance goes only once the new one holds every file.
  if (!replaced.empty()) m_pRepository->deleteObject(layout::child(instancesPath, replaced).c_str());
  return ResultCode::kSuccess;
} catch (...) { return ResultCode::kInstanceNotMade; }

bool CVLTDatabase::isInstanceUploaded(const char* modelPath, const char* solverName, int instance) try {
  if (m_pRepository == nullptr) return false;
  std::vector<std::string> children;
  if (!folders::childNames(*m_pRepository,
                           layout::child(resultpaths::solverFolder(modelPath, solverName), layout::kInstances), children))
    return false;
  const std::string prefix = reportFolderName(instance);
  for (const std::string& name : children)
    if (name.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
} catch (...) { return false; }

int CVLTDatabase::downloadInstance(const char* modelPath, const char* solverName, int& instance,
                                   const char* localFolder) try {
  std::string message = std::string("Downloading instance:\n") + "Source: " + (modelPath ? modelPath : "") + "/" +
                        (solverName ? solverName : "") + "\n" + "Instance: " + std::to_string(instance) + "\n" +
                        "Destination: " + (localFolder ? localFolder : "") + "\n";
  logMessage(TALIX::LogTypeProgress, message.c_str());
  const std::string solverFolder = resultpaths::solverFolder(modelPath, solverName);
  if (!checkModelObject(solverFolder.c_str())) {
    instance = -1;
    return ResultCode::kSolverMissing;
  }
  const std::string instancesPath = layout::child(solverFolder, layout::kInstances);
  std::vector<std::string> children;
  if (folders::childNames(*m_pRepository, instancesPath, children)) {
    const std::string found = findNumbered(children, instance);
    if (!found.empty()) return downloadFolder(layout::child(instancesPath, found).c_str(), localFolder);
  }
  instance = -1;
  return downloadFolder(layout::child(solverFolder, layout::kFileSystem).c_str(), localFolder);
} catch (...) { return ResultCode::kFileNotDownloaded; }

bool CVLTDatabase::deleteInstance(const char* category, const char* type, const char* model, const char* solverName,
                                  int instance) try {
  if (m_pRepository == nullptr || category == nullptr || type == nullptr || model == nullptr) return false;
  const std::string instancesPath = layout::child(
      layout::solverPath(layout::modelPath(m_szDatabaseRoot, category, type, model), solverName), layout::kInstances);
  std::vector<std::string> children;
  if (!folders::childNames(*m_pRepository, instancesPath, children)) return false;
  const std::string found = findNumbered(children, instance);
  if (found.empty()) return false;
  return m_pRepository->deleteObject(layout::child(instancesPath, found).c_str());
} catch (...) { return false; }

int CVLTDatabase::deleteAllFolderInstances(const char* remotePath) try {
  if (m_pLogger == nullptr) return ResultCode::kSuccess;
  if (m_pRepository == nullptr || remotePath == nullptr) return ResultCode::kNotFound;
  std::vector<std::string> children;
  if (!folders::childNames(*m_pRepository, remotePath, children)) return ResultCode::kNotFound;
  for (const std::string& name : children) {
    const std::string full = layout::child(remotePath, name);
    if (name == layout::kInstances || name == layout::kReports) {
      deleteItem(full.c_str());
      m_pRepository->createFolder(remotePath, name);
    }
    std::unique_ptr<CRepositoryObject> found(m_pRepository->findByPath(full));
    if (!found) return ResultCode::kNotFound;
    const bool isFolder = found->getTypeName() == layout::kFolderType;
    found->release();
    if (isFolder) {
      int result = deleteAllFolderInstances(full.c_str());
      if (result != ResultCode::kSuccess) return result;
    }
  }
  return ResultCode::kSuccess;
} catch (...) { return ResultCode::kNotFound; }

int CVLTDatabase::uploadPreComputedResultsVersion1(const char* modelPath, const char* solverName,
                                                   const char* content) try {
  if (m_pRepository == nullptr) return ResultCode::kPreComputedEntryNotMade;
  const std::string solverFolder = resultpaths::solverFolder(modelPath, solverName);
  const std::string resultsPath = layout::child(solverFolder, layout::kPreComputedResults);
  std::vector<std::string> children;
  if (!folders::childNames(*m_pRepository, resultsPath, children)) {
    folders::create(m_pBinding, solverFolder, layout::kPreComputedResults);
    folders::childNames(*m_pRepository, resultsPath, children);
  }
  const int number = chooseEntryNumber(children);
  const std::string made =
      folders::create(m_pBinding, resultsPath, freshEntryName(number, children), [&](CRepositoryObject& entry) {
        entry.setUserSpecifiedProperties(layout::kContent);
        entry.setProperty(layout::kContent, content != nullptr ? content : "");
      });
  return made.empty() ? ResultCode::kPreComputedEntryNotMade : ResultCode::kSuccess;
} catch (...) { return ResultCode::kPreComputedEntryNotMade; }

}  // namespace VLT_121
