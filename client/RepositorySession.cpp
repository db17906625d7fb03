#include "client/RepositorySession.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "client/ClientContext.h"
#include "client/RepositoryClient.h"
#include "client/RepositoryObject.h"
#include "SessionTimes.h"

namespace VLT_121 {

namespace {

const char kLocale[] = "en";
// "en" with the private-use subtag that asks the server for a reading session.
const char kReadingLocale[] = "en-x-view";
const char kPoolPrefix[] = "cfduser";
constexpr size_t kPoolPrefixLength = 7;

std::string orEmpty(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

// A time in seconds since 1970 as "2025-05-14 12:03:55 UTC".
std::string utcText(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  char text[40];
  if (gmtime_r(&time, &parts) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0)
    return std::to_string(seconds);
  return text;
}

std::string describeSessionTimes(const talixdb::SessionTimes& times) {
  return "last used " + utcText(times.lastUsed) + "; it ends at " + utcText(times.expires) + " unless used again";
}

// Where the header hook puts the session times of the call in progress.
thread_local std::string* t_sessionTimes = nullptr;
thread_local int (*t_parseHeader)(struct soap*, const char*, const char*) = nullptr;

int parseHeader(struct soap* soap, const char* key, const char* value) {
  if (t_sessionTimes != nullptr && key != nullptr && value != nullptr &&
      soap_tag_cmp(key, talixdb::kSessionTimesHeader) == 0)
    *t_sessionTimes = value;
  return t_parseHeader(soap, key, value);
}

std::string poolAccountName(int k) {
  char name[32];
  std::snprintf(name, sizeof name, "cfduser_%03d", k);
  return name;
}

}  // namespace

CRepositorySession::CRepositorySession(QuillonBinding* binding) : m_pBinding(binding) {
  // Every call on the context gets its deadline.
  if (binding != nullptr) CClientContext::of(binding->soap);
}

void CRepositorySession::adopt(const CRepositorySession& other) {
  m_strUser = other.m_strUser;
  m_strDomain = other.m_strDomain;
  m_bReading = other.m_bReading;
}

bool CRepositorySession::probe() {
  if (m_pBinding == nullptr) return false;
  ns1__LoginRequestStruct request;
  request.username = "username";
  request.password = "password";
  request.domain = "domain";
  request.locale = kLocale;
  ns1__LoginResponseElement response;
  // Any answer, a refusal included, shows that the server is there; a TLS
  // handshake that failed (an untrusted certificate, say) reached no server.
  const int result = m_pBinding->login(&request, response);
  return result != SOAP_TCP_ERROR && result != SOAP_SSL_ERROR;
}

std::string CRepositorySession::sessionId() {
  std::string id;
  if (m_pBinding == nullptr || m_pBinding->getSessionId("", id) != SOAP_OK) return std::string();
  return id;
}

bool CRepositorySession::isUserLoggedIn(const std::string& user, const std::string& workspace,
                                        const std::string& session) {
  if (m_pBinding == nullptr) return false;
  ns1__IsLoggedInRequestElement request;
  request.username = user;
  request.workspace = workspace;
  request.sessionId = session;
  bool loggedIn = false;
  if (m_pBinding->isLoggedIn(&request, loggedIn) != SOAP_OK) return false;
  return loggedIn;
}

talixdb::SessionTimes CRepositorySession::askSessionTimes(const std::string& user, const std::string& password,
                                                         const std::string& workspace) {
  struct soap* soap = m_pBinding->soap;
  if (soap == nullptr) return {};
  ns1__IsLoggedInRequestElement request;
  request.username = user;
  request.workspace = workspace;
  std::string header;
  t_sessionTimes = &header;
  t_parseHeader = soap->fparsehdr;
  soap->fparsehdr = parseHeader;
  soap->userid = user.c_str();
  soap->passwd = password.c_str();
  bool loggedIn = false;
  // Only the header counts; a failure of this call is no failure of the login.
  const std::string note = m_pBinding->lastFailure();
  m_pBinding->isLoggedIn(&request, loggedIn);
  m_pBinding->noteFailure(note);
  soap->userid = nullptr;
  soap->passwd = nullptr;
  soap->fparsehdr = t_parseHeader;
  t_sessionTimes = nullptr;
  return talixdb::parseSessionTimes(header);
}

bool CRepositorySession::sendLogin(const char* user, const char* password, const char* domain,
                                   const char* locale) {
  ns1__LoginRequestStruct request;
  request.username = orEmpty(user);
  request.password = orEmpty(password);
  request.domain = orEmpty(domain);
  request.locale = locale;
  ns1__LoginResponseElement response;
  return m_pBinding->login(&request, response) == SOAP_OK;
}

bool CRepositorySession::login(const char* user, const char* password, const char* domain,
                               int firstCfdUser, int lastCfdUser, bool asAdministrator) {
  if (m_pBinding == nullptr) return false;
  std::string userName = orEmpty(user);
  std::string userPassword = orEmpty(password);
  const std::string workspace = orEmpty(domain);

  if (!asAdministrator) {
    if (userName.compare(0, kPoolPrefixLength, kPoolPrefix) != 0) {
      // An ordinary user who is logged in elsewhere is refused.
      std::string session = sessionId();
      if (isUserLoggedIn(userName, workspace, session)) {
        m_pBinding->noteFailure(liveSessionText(userName, userPassword, workspace));
        return false;
      }
    } else {
      // A pool account: the first free one, starting at a random place.
      int count = lastCfdUser - firstCfdUser + 1;
      if (count <= 0) {
        m_pBinding->noteFailure("no account of the pool can be chosen: the server holds no cfduser accounts, or "
                                "the administrator login that counts them was refused");
        return false;
      }
      std::srand(static_cast<unsigned>(std::time(nullptr)));
      int r = std::rand();
      bool found = false;
      for (int i = 0; i < count && !found; ++i) {
        int k = static_cast<int>((static_cast<long long>(r) + i) % count);
        std::string name = poolAccountName(k);
        std::string session = sessionId();
        if (!isUserLoggedIn(name, workspace, session)) {
          userName = name;
          userPassword = name;
          found = true;
        }
      }
      if (!found) {
        m_pBinding->noteFailure("no account of the pool is free: all " + std::to_string(count) +
                                " have a live session");
        return false;
      }
    }
  }

  if (!sendLogin(userName.c_str(), userPassword.c_str(), workspace.c_str(), kLocale)) return false;
  std::string session = sessionId();
  bool confirmed = isUserLoggedIn(userName, workspace, session);
  if (confirmed) {
    m_strUser = userName;
    m_strDomain = workspace;
    m_bReading = false;
  } else {
    m_pBinding->noteFailure("the server did not confirm the login of " + userName);
  }
  return confirmed;
}

// The refusal of a user with a live session elsewhere. The server tells when
// that session was last used, and when it ends, only to a caller who proves
// the user's password: one more isLoggedIn, with the credentials as HTTP
// Basic authorization, whose reply carries them in a header (the body stays
// the usual boolean).
std::string CRepositorySession::liveSessionText(const std::string& user, const std::string& password,
                                                const std::string& workspace) {
  std::string text = user + " has a live session elsewhere";
  talixdb::SessionTimes times = askSessionTimes(user, password, workspace);
  if (times.known) text += ", " + describeSessionTimes(times);
  return text;
}

bool CRepositorySession::loginToRead(const char* user, const char* password, const char* domain) {
  if (m_pBinding == nullptr) return false;
  if (!sendLogin(user, password, domain, kReadingLocale) || sessionId().empty()) return false;
  m_strUser = orEmpty(user);
  m_strDomain = orEmpty(domain);
  m_bReading = true;
  return true;
}

bool CRepositorySession::logout() {
  if (m_pBinding == nullptr) return true;
  bool answer = false;
  if (m_pBinding->logout(0, answer) != SOAP_OK) return true;
  if (m_bReading) return sessionId().empty();
  return !isUserLoggedIn(m_strUser, m_strDomain, "");
}

bool CRepositorySession::addPermission(const char* path, const char* permission, const char* member) {
  return permissionCall(&QuillonBinding::addPermission, path, permission, member);
}

bool CRepositorySession::hasPermission(const char* path, const char* permission, const char* member) {
  return permissionCall(&QuillonBinding::hasPermission, path, permission, member);
}

bool CRepositorySession::removePermission(const char* path, const char* permission, const char* member) {
  return permissionCall(&QuillonBinding::removePermission, path, permission, member);
}

bool CRepositorySession::permissionCall(PermissionOperation operation, const char* path, const char* permission,
                                        const char* member) {
  if (m_pBinding == nullptr) return false;
  ns2__PermissionRequest request;
  request.path = orEmpty(path);
  request.permission = orEmpty(permission);
  request.member = orEmpty(member);
  bool answer = false;
  return (m_pBinding->*operation)(&request, answer) == SOAP_OK && answer;
}

bool CRepositorySession::addPermissionRecursive(CRepositoryClient* repository, const char* path,
                                                const char* permission, const char* member) {
  if (repository == nullptr || path == nullptr) return false;
  addPermission(path, permission, member);
  std::unique_ptr<CRepositoryObject> object(repository->findByPath(path));
  if (!object) return false;
  std::vector<std::string> children = object->getChildNames();
  object->release();
  for (const std::string& child : children)
    addPermissionRecursive(repository, (std::string(path) + "/" + child).c_str(), permission, member);
  return true;
}

char** CRepositorySession::getGroups(const char* user) {
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return nullptr;
  ns2__GetGroupsResponseStruct response;
  if (m_pBinding->getGroups(orEmpty(user), response) != SOAP_OK) return nullptr;
  auto** groups = new char*[response.item.size() + 1];
  size_t n = 0;
  for (const std::string& group : response.item) {
    groups[n] = new char[group.size() + 1];
    std::memcpy(groups[n], group.c_str(), group.size() + 1);
    ++n;
  }
  groups[n] = nullptr;
  return groups;
}

bool CRepositorySession::isInGroup(const char* group, const char* user) {
  char** groups = getGroups(user);
  if (groups == nullptr) return false;
  bool found = false;
  for (char** g = groups; *g != nullptr; ++g) {
    if (group != nullptr && std::strcmp(*g, group) == 0) found = true;
    delete[] *g;
  }
  delete[] groups;
  return found;
}

}  // namespace VLT_121
