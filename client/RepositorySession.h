// CRepositorySession: the login on the server (the server keeps it in a
// session named by a cookie), permissions and groups.
#pragma once

#include <string>

#include "SessionTimes.h"
#include "client/QuillonBinding.h"

namespace VLT_121 {

class CRepositoryClient;

class CRepositorySession {
 public:
  explicit CRepositorySession(QuillonBinding* binding);

  // Reachability test: false only when no TCP connection, or no TLS
  // connection to an https endpoint, could be made.
  bool probe();
  // Logs in (see the handle's login); true when the server confirms it.
  bool login(const char* user, const char* password, const char* domain, int firstCfdUser,
             int lastCfdUser, bool asAdministrator);
  // Logs in with a reading session: the locale "en-x-view" asks the server
  // for one (it may read all that the user may, and changes nothing; it does
  // not count as the user's login, so no check for one comes first). True
  // when the server confirms the session.
  bool loginToRead(const char* user, const char* password, const char* domain);
  // Ends the session; true unless the server still reports it (for a full
  // session: the user logged in).
  bool logout();

  bool addPermission(const char* path, const char* permission, const char* member);
  bool hasPermission(const char* path, const char* permission, const char* member);
  bool removePermission(const char* path, const char* permission, const char* member);
  // addPermission on `path` and, depth first, on every object below it.
  bool addPermissionRecursive(CRepositoryClient* repository, const char* path,
                              const char* permission, const char* member);
  // new[] array of new[] group names ending with null, or null on failure.
  char** getGroups(const char* user);
  bool isInGroup(const char* group, const char* user);

  const std::string& user() const { return m_strUser; }
  const std::string& domain() const { return m_strDomain; }
  // Carries the remembered user over to a copied handle.
  void adopt(const CRepositorySession& other);

 private:
  std::string sessionId();
  bool isUserLoggedIn(const std::string& user, const std::string& workspace,
                      const std::string& sessionId);
  bool sendLogin(const char* user, const char* password, const char* domain, const char* locale);
  // Why `user` may not log in while a session of it lives elsewhere, with
  // that session's times when the server tells them for the password.
  std::string liveSessionText(const std::string& user, const std::string& password, const std::string& workspace);
  talixdb::SessionTimes askSessionTimes(const std::string& user, const std::string& password,
                                        const std::string& workspace);
  using PermissionOperation = int (QuillonBinding::*)(ns2__PermissionRequest*, bool&);
  bool permissionCall(PermissionOperation operation, const char* path, const char* permission,
                      const char* member);

  std::string m_strUser;
  std::string m_strDomain;
  bool m_bReading = false;  // the last login asked for a reading session
  QuillonBinding* m_pBinding;
};

}  // namespace VLT_121
