// Logging in and out: the caller's login, the pool-account choice and the
// administrator login that the administration operations use.
#include <cstdlib>
#include <string>

#include "client/RepositorySession.h"
#include "handle/HandleText.h"
#include "handle/SideState.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

const char kDefaultAdminUser[] = "root";
const char kDefaultAdminPassword[] = "kelp482";
const char kAdminDomain[] = "Default";

std::string environmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string(fallback);
}

}  // namespace

bool CVLTDatabase::login(const char* user, const char* password, const char* domain, int nCfdUsers) try {
  logMessage(TALIX::LogTypeSession, "Logging into VLT.");
  HandleSideState& state = sideStateOf(this);
  // An existing login stays as it is, and so does what it noted.
  if (!(m_bIsLoggedIn && m_bIsOpen)) state.lastError.clear();
  m_bIsLoggedIn = loginPrivate(user, password, domain, nCfdUsers);
  if (!m_bIsOpen && state.lastError.empty()) state.lastError = "the handle is not open: open it first";
  return m_bIsLoggedIn;
} catch (...) { return false; }

bool CVLTDatabase::loginPrivate(const char* user, const char* password, const char* domain,
                                int nCfdUsers) {
  // An existing login stays (its credentials win), but only on an open handle.
  if (m_bIsLoggedIn && m_bIsOpen) return true;
  freeText(m_szUser);
  freeText(m_szPassword);
  freeText(m_szDomain);
  m_bIsLoggedIn = false;
  if (!m_bIsOpen || m_pSession == nullptr) return false;
  m_szUser = copyText(user != nullptr ? user : "");
  m_szPassword = copyText(password != nullptr ? password : "");
  m_szDomain = copyText(domain != nullptr ? domain : "");
  int lastCfdUser = nCfdUsers - 1;
  if (nCfdUsers > 0) lastCfdUser = getNrCFDUsers() - 1;
  if (!m_bIsOpen || m_pSession == nullptr) return false;
  m_bIsLoggedIn = m_pSession->login(m_szUser, m_szPassword, m_szDomain, 0, lastCfdUser, false);
  if (m_bIsLoggedIn) sideStateOf(this).loginUser = m_pSession->user();
  return m_bIsLoggedIn;
}

bool CVLTDatabase::loginToRead(const char* user, const char* password, const char* domain) try {
  logMessage(TALIX::LogTypeSession, "Logging into VLT to read.");
  if (m_bIsLoggedIn && m_bIsOpen) return true;
  freeText(m_szUser);
  freeText(m_szPassword);
  freeText(m_szDomain);
  m_bIsLoggedIn = false;
  if (!m_bIsOpen || m_pSession == nullptr) return false;
  m_szUser = copyText(user != nullptr ? user : "");
  m_szDomain = copyText(domain != nullptr ? domain : "");
  m_bIsLoggedIn = m_pSession->loginToRead(m_szUser, password, m_szDomain);
  return m_bIsLoggedIn;
} catch (...) { return false; }

bool CVLTDatabase::logout() try {
  if (m_bIsLoggedIn) {
    if (m_pSession != nullptr) m_pSession->logout();
    m_bIsLoggedIn = false;
  }
  return true;
} catch (...) { return true; }

bool CVLTDatabase::loginAsAdministrator() {
  if (!m_bIsOpen || m_pSession == nullptr) {
    m_bIsLoggedIn = false;
    return false;
  }
  char* adminUser = copyText(environmentOr("VLT_ADMIN_USER", kDefaultAdminUser).c_str());
  char* adminPassword = copyText(environmentOr("VLT_ADMIN_PASSWORD", kDefaultAdminPassword).c_str());
  m_bIsLoggedIn = m_pSession->login(adminUser, adminPassword, kAdminDomain, 0, 0, true);
  if (m_bIsLoggedIn) sideStateOf(this).loginUser = m_pSession->user();
  freeText(adminUser);
  freeText(adminPassword);
  return m_bIsLoggedIn;
}

void CVLTDatabase::logoutSession() {
  if (m_pSession != nullptr) m_pSession->logout();
  m_bIsLoggedIn = false;
}

}  // namespace VLT_121
