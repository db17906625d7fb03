// The database root, categories and types, and deleting any object by path.
#include <memory>
#include <string>

#include "catalogue/CatalogueLayout.h"
#include "client/RepositoryClient.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

bool CVLTDatabase::checkModelObject(const char* path) {
  if (m_pRepository == nullptr || path == nullptr) return false;
  std::unique_ptr<CRepositoryObject> object(m_pRepository->findByPath(path));
  if (!object) return false;
  object->release();
  return true;
}

bool CVLTDatabase::isTalixDatabaseInstantiated() try { return checkModelObject(m_szDatabaseRoot); } catch (...) { return false; }

int CVLTDatabase::createTalixDb() try {
  // A failed administrator login made nothing: that is not a success.
  if (!loginAsAdministrator()) return ResultCode::kRootFolderNotMade;
  if (checkModelObject(m_szDatabaseRoot)) return ResultCode::kRootFolderNotMade;
  std::string made = m_pRepository->createFolder(m_szRepositoryRoot, "talixdb");
  return made.empty() ? ResultCode::kRootFolderNotMade : ResultCode::kSuccess;
} catch (...) { return ResultCode::kRootFolderNotMade; }

bool CVLTDatabase::checkCategory(const char* category) try {
  if (category == nullptr) return false;
  return checkModelObject(layout::categoryPath(m_szDatabaseRoot, category).c_str());
} catch (...) { return false; }

int CVLTDatabase::addCategory(const char* category) try {
  if (m_pRepository == nullptr || category == nullptr) return ResultCode::kCategoryNotMade;
  std::string made = m_pRepository->createFolder(m_szDatabaseRoot, category);
  return made.empty() ? ResultCode::kCategoryNotMade : ResultCode::kSuccess;
} catch (...) { return ResultCode::kCategoryNotMade; }

bool CVLTDatabase::checkType(const char* type, const char* category) try {
  if (type == nullptr || category == nullptr) return false;
  return checkModelObject(layout::typePath(m_szDatabaseRoot, category, type).c_str());
} catch (...) { return false; }

int CVLTDatabase::addType(const char* type, const char* category) try {
  if (m_pBinding == nullptr || type == nullptr || category == nullptr) return ResultCode::kTypeNotMade;
  CRepositoryObject folder(m_pBinding);
  folder.setName(type);
  folder.setParent(layout::categoryPath(m_szDatabaseRoot, category));
  folder.setTypeName(layout::kFolderType);
  std::string made = folder.create();
  folder.release();
  return made.empty() ? ResultCode::kTypeNotMade : ResultCode::kSuccess;
} catch (...) { return ResultCode::kTypeNotMade; }

bool CVLTDatabase::deleteItem(const char* path) try {
  if (m_pLogger == nullptr) return false;
  bool deleted = m_pRepository != nullptr && path != nullptr && m_pRepository->deleteObject(path);
  std::string message = std::string(path != nullptr ? path : "") + " has " + (deleted ? "" : "not") +
                        " been deleted.";
  logMessage(TALIX::LogTypeError, message.c_str());
  return deleted;
} catch (...) { return false; }

}  // namespace VLT_121
