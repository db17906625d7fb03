// The pool of computational (CFD) user accounts, managed as administrator.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "client/RepositoryClient.h"
#include "client/RepositorySession.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

const char kUsersFolder[] = "/System/Users";
const char kPoolPrefix[] = "cfduser";
constexpr size_t kPoolPrefixLength = 7;
const char kPoolDomain[] = "Default";

// Every user whose name starts with "cfduser", in the server's order.
std::vector<std::string> readCfdUsers(CRepositoryClient* repository) {
  std::vector<std::string> users;
  if (repository == nullptr) return users;
  std::unique_ptr<CRepositoryObject> folder(repository->findByPath(kUsersFolder));
  if (!folder) return users;
  for (const std::string& name : folder->getChildNames())
    if (name.compare(0, kPoolPrefixLength, kPoolPrefix) == 0) users.push_back(name);
  folder->release();
  return users;
}

std::string poolUserName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "cfduser_%03d", number);
  return name;
}

}  // namespace

int CVLTDatabase::getNrCFDUsers() try {
  int count = 0;
  if (loginAsAdministrator()) {
    count = static_cast<int>(readCfdUsers(m_pRepository).size());
    logoutSession();
  }
  m_iNrCFDUsers = count;
  return count;
} catch (...) { return 0; }

void CVLTDatabase::deleteAllTalixUsers() try {
  if (!loginAsAdministrator()) return;
  for (const std::string& name : readCfdUsers(m_pRepository)) {
    bool deleted = m_pRepository->deleteObject((std::string(kUsersFolder) + "/" + name).c_str());
    // A refused deletion is said so, not reported as done.
    std::string message = "\nUser " + name + (deleted ? " has been deleted" : " has not been deleted");
    logMessage(TALIX::LogTypeProgress, message.c_str());
  }
  if (m_bIsLoggedIn) logoutSession();
  m_bIsLoggedIn = false;
} catch (...) { }

void CVLTDatabase::disconnectAllTalixUsers() try {
  if (!loginAsAdministrator()) return;
  std::vector<std::string> users = readCfdUsers(m_pRepository);
  logoutSession();
  for (const std::string& name : users) {
    if (m_pSession == nullptr) break;
    m_bIsLoggedIn = m_pSession->login(name.c_str(), name.c_str(), kPoolDomain, 0, 0, true);
    if (m_bIsLoggedIn) {
      logoutSession();
      std::string message = "\nUser " + name + " has been disconnected\n";
      logMessage(TALIX::LogTypeProgress, message.c_str());
    }
    m_bIsLoggedIn = false;
  }
} catch (...) { }

int CVLTDatabase::instantiateCFDUsers(int count) try {
  int created = createTalixDb();
  if (created != ResultCode::kSuccess) return created;
  disconnectAllTalixUsers();
  deleteAllTalixUsers();
  if (!open(nullptr)) {
    logMessage(TALIX::LogTypeError, "Cannot open connection with database");
    return 0;
  }
  if (!loginAsAdministrator()) {
    logMessage(TALIX::LogTypeError, "Cannot login into database");
    return 0;
  }
  if (count < 1) {
    logoutSession();
    return count;
  }
  for (int i = 0; i < count; ++i) {
    std::string name = poolUserName(i);
    char* answer = m_pRepository->createUser(name.c_str(), name.c_str());
    if (answer == nullptr) {
      // Stop at the first refusal: the users made so far are the result.
      if (m_bIsLoggedIn) logoutSession();
      m_bIsLoggedIn = false;
      close();
      std::string message = "\nError: Failure creating user " + name + "\n";
      logMessage(TALIX::LogTypeError, message.c_str());
      return i;
    }
    std::free(answer);
    std::string message = "\nUser " + name + " has been created\n";
    logMessage(TALIX::LogTypeProgress, message.c_str());
    m_pSession->addPermissionRecursive(m_pRepository, m_szRepositoryRoot, "fullControl", name.c_str());
  }
  logoutSession();
  return count;
} catch (...) { return 0; }

}  // namespace VLT_121
