// CVLTDatabase: one connection to a model database kept in a repository
// server. Every method runs synchronously on the caller's thread and never
// throws: failures come back as false, null, 0 or a result code (ResultCodes.h).
// A handle must be used by one thread at a time.
#pragma once

#include "talixdbapi/Export.h"
#include "talixdbapi/ResultCodes.h"
#include "talixdbapi/TalixLogger.h"
#include "talixdbapi/VLTObjects.h"

class QuillonBinding;

namespace VLT_121 {

class CRepositorySession;
class CRepositoryClient;
class CMemoryRegistry;
class CBrowseState;
class CSimulationServerRegistry;

class TALIXDBAPI_EXPORT CVLTDatabase {
 public:
  // A closed, logged-out handle; contacts nobody.
  CVLTDatabase();
  // Frees everything the handle owns without contacting the server; releases
  // the attached logger once. Buffers not yet released stay with the caller.
  ~CVLTDatabase();
  // Deep copy: the target gets its own proxy on the source's endpoint and
  // server session (same session cookie), copies of the remembered credentials,
  // the snapshot and the name lists. It keeps its own logger and memory
  // registry, so nothing is ever released or freed twice.
  CVLTDatabase& operator=(const CVLTDatabase& other);

  // ---- connection and session ----------------------------------------------

  // Opens against "host[:port]" (null: taken from MODELDATABASE_HOME). True
  // when the server answered; an open handle stays open and ignores `url`.
  bool open(const char* url);
  // Destroys the connection; every operation then fails cleanly until the
  // next open. The login flag is left as it was.
  void close();
  bool isOpen();
  bool isLoggedIn();
  // Logs in (a user name starting "cfduser" picks a free pool account when
  // nCfdUsers > 0). True when logged in afterwards; an existing login stays.
  bool login(const char* user, const char* password, const char* domain, int nCfdUsers);
  // Ends the server session if logged in. Always true.
  bool logout();
  // Always false; does nothing.
  bool registerTALIXDatabaseServer(const char* name, bool flag);
  // Frees a buffer or array this handle handed out. False (and nothing freed)
  // for any other pointer.
  bool releaseMemory(void* p);
  // Attaches the host's logger (null detaches). Always 0.
  int setLoggingObject(TALIX::ILogger* logger);

 protected:
  // Host part of the endpoint in MODELDATABASE_HOME (the URL itself or a file
  // whose first word is the URL), or null. Points into one static buffer.
  static const char* getURL();

 private:
  bool loginPrivate(const char* user, const char* password, const char* domain, int nCfdUsers);
  // Logs in as the administrator (VLT_ADMIN_USER / VLT_ADMIN_PASSWORD);
  // stores and returns the outcome in m_bIsLoggedIn.
  bool loginAsAdministrator();
  // Ends the administrator (or any) session and clears m_bIsLoggedIn.
  void logoutSession();
  void logMessage(TALIX::LogType type, const char* text);
  void destroyConnection();

  bool m_bSnapshotTaken;
  CSimulationServerRegistry* m_pServerRegistry;
  QuillonBinding* m_pBinding;
  CRepositorySession* m_pSession;
  CRepositoryClient* m_pRepository;
  bool m_bIsOpen;
  bool m_bIsLoggedIn;
  char* m_szUser;
  char* m_szPassword;
  char* m_szDomain;
  char* m_szDatabaseRoot;
  char* m_szRepositoryRoot;
  CMemoryRegistry* m_pMemoryRegistry;
  TALIX::ILogger* m_pLogger;
  CBrowseState* m_pBrowseState;
  int m_iNrCFDUsers;
};

}  // namespace VLT_121
