// Construction, destruction, copying and the connection of CVLTDatabase.
#include "talixdbapi/VLTDatabase.h"

#include <cstdlib>
#include <string>

#include "client/ClientTls.h"
#include "client/QuillonBinding.h"
#include "client/RepositoryClient.h"
#include "client/RepositorySession.h"
#include "client/RuntimeCheck.h"
#include "handle/BrowseState.h"
#include "handle/HandleText.h"
#include "handle/MemoryRegistry.h"
#include "handle/SimulationServerRegistry.h"
#include "handle/SideState.h"

namespace VLT_121 {

namespace {

const char kDatabaseRoot[] = "/Repository/talixdb";
const char kRepositoryRoot[] = "/Repository";
const char kServicePath[] = "/vlt/services/QuillonBinding";

const char kTlsScheme[] = "https://";

// A new proxy posting to `endpoint`, the text held by its runtime context,
// writing why its calls fail into `note`; an https endpoint trusts the
// certificates in `trustFile` ("" the system's). `problem` receives why TLS
// cannot be set up.
QuillonBinding* newBinding(const std::string& endpoint, const std::string& trustFile, std::string& note,
                           std::string& problem) {
  auto* binding = new QuillonBinding();
  binding->noteFailuresIn(&note);
  problem = binding->setEndpoint(endpoint, trustFile);
  return binding;
}

// Why `url` (not null) is no address open takes, or "".
std::string addressProblem(const char* url) {
  const std::string address = url;
  if (address.empty()) return "no server address given";
  const std::string::size_type scheme = address.find("://");
  if (scheme == std::string::npos || address.compare(0, sizeof kTlsScheme - 1, kTlsScheme) == 0) return "";
  std::string plain = address.substr(scheme + 3);
  const std::string::size_type path = plain.find(kServicePath);
  if (path != std::string::npos) plain.erase(path);
  while (!plain.empty() && plain.back() == '/') plain.pop_back();
  return "open takes HOST[:PORT] for plain HTTP or https://HOST[:PORT] for TLS, not \"" + address +
         "\" (for plain HTTP give \"" + plain + "\")";
}

// Why MODELDATABASE_HOME gave no address.
std::string environmentProblem() {
  const char* home = std::getenv("MODELDATABASE_HOME");
  if (home == nullptr) return "no server address given, and MODELDATABASE_HOME is not set";
  return std::string("MODELDATABASE_HOME (\"") + home +
         "\") holds no endpoint URL http[s]://HOST[:PORT]/vlt/services/QuillonBinding and names no readable file "
         "whose first word is one";
}

// The endpoint `open` reaches for its argument: "http://" + address + service
// path for "HOST[:PORT]", the argument + service path for "https://HOST[:PORT]".
std::string endpointOf(const std::string& address) {
  if (address.compare(0, sizeof kTlsScheme - 1, kTlsScheme) == 0) return address + kServicePath;
  return std::string("http://") + address + kServicePath;
}

}  // namespace

CVLTDatabase::CVLTDatabase()
    : m_bSnapshotTaken(false),
      m_pServerRegistry(new CSimulationServerRegistry()),
      m_pBinding(nullptr),
      m_pSession(nullptr),
      m_pRepository(nullptr),
      m_bIsOpen(false),
      m_bIsLoggedIn(false),
      m_szUser(nullptr),
      m_szPassword(nullptr),
      m_szDomain(nullptr),
      m_szDatabaseRoot(copyText(kDatabaseRoot)),
      m_szRepositoryRoot(copyText(kRepositoryRoot)),
      m_pMemoryRegistry(new CMemoryRegistry()),
      m_pLogger(nullptr),
      m_pBrowseState(new CBrowseState()),
      m_iNrCFDUsers(0) {
  m_pServerRegistry->m_strRootPath = kDatabaseRoot;
}

CVLTDatabase::~CVLTDatabase() {
  freeText(m_szUser);
  freeText(m_szPassword);
  freeText(m_szDomain);
  freeText(m_szDatabaseRoot);
  freeText(m_szRepositoryRoot);
  destroyConnection();
  forgetSideState(this);
  if (m_pLogger != nullptr) {
    m_pLogger->release();
    m_pLogger = nullptr;
  }
  delete m_pMemoryRegistry;  // buffers still registered stay with the caller
  delete m_pServerRegistry;
  delete m_pBrowseState;
}

CVLTDatabase::CVLTDatabase(const CVLTDatabase& other) : CVLTDatabase() { copyFrom(other); }

CVLTDatabase& CVLTDatabase::operator=(const CVLTDatabase& other) {
  if (this != &other) copyFrom(other);
  return *this;
}

void CVLTDatabase::copyFrom(const CVLTDatabase& other) {
  try {
    destroyConnection();
    if (other.m_pBinding != nullptr) {
      // Our own proxy on the same endpoint (with TLS set up alike), carrying
      // the same session cookie.
      std::string problem;
      m_pBinding = newBinding(other.m_pBinding->endpoint != nullptr ? other.m_pBinding->endpoint : "",
                              other.m_pBinding->tlsTrustFile(), sideStateOf(this).lastError, problem);
      if (problem.empty()) {
        if (m_pBinding->soap != nullptr && other.m_pBinding->soap != nullptr)
          m_pBinding->soap->cookies = soap_copy_cookies(m_pBinding->soap, other.m_pBinding->soap);
        m_pSession = new CRepositorySession(m_pBinding);
        if (other.m_pSession != nullptr) m_pSession->adopt(*other.m_pSession);
        m_pRepository = new CRepositoryClient(m_pBinding);
        m_pRepository->setTransferProgress(sideStateOf(this).progress);
        m_pServerRegistry->m_pBinding = m_pBinding;
        m_pServerRegistry->m_pRepository = m_pRepository;
      } else {
        // The trust file is gone: a closed copy rather than one that cannot verify.
        logMessage(TALIX::LogTypeError, problem.c_str());
        destroyConnection();
      }
    }
    m_pServerRegistry->m_strRootPath = other.m_pServerRegistry->m_strRootPath;
    m_pServerRegistry->m_vecServers = other.m_pServerRegistry->m_vecServers;
    m_bIsOpen = other.m_bIsOpen && m_pBinding != nullptr;
    m_bIsLoggedIn = other.m_bIsLoggedIn;
    m_bSnapshotTaken = other.m_bSnapshotTaken;
    *m_pBrowseState = *other.m_pBrowseState;
    m_iNrCFDUsers = other.m_iNrCFDUsers;
    freeText(m_szUser);
    freeText(m_szPassword);
    freeText(m_szDomain);
    m_szUser = copyText(other.m_szUser);
    m_szPassword = copyText(other.m_szPassword);
    m_szDomain = copyText(other.m_szDomain);
    sideStateOf(this).loginUser = sideStateOf(&other).loginUser;
    // The logger, the progress receiver and the memory registry stay this
    // handle's own.
  } catch (...) {
    // Out of memory half way: a closed handle rather than a half copy.
    destroyConnection();
  }
}

void CVLTDatabase::destroyConnection() {
  delete m_pBinding;
  m_pBinding = nullptr;
  m_bIsOpen = false;
  delete m_pRepository;
  m_pRepository = nullptr;
  delete m_pSession;
  m_pSession = nullptr;
  if (m_pServerRegistry != nullptr) {
    m_pServerRegistry->m_pBinding = nullptr;
    m_pServerRegistry->m_pRepository = nullptr;
  }
}

bool CVLTDatabase::open(const char* url) try {
  if (m_bIsOpen) return true;
  std::string& note = sideStateOf(this).lastError;
  note.clear();
  if (url == nullptr) {
    url = getURL();
    if (url == nullptr) note = environmentProblem();
  }
  if (url != nullptr) note = addressProblem(url);
  if (!note.empty()) {
    m_bIsOpen = false;
    return false;
  }
  // Objects of an earlier open (failed, or ended by close) are not reused.
  destroyConnection();
  // Another gSOAP runtime variant in the process would corrupt every context.
  if (!talixdb::runtimeMismatch().empty()) {
    logMessage(TALIX::LogTypeError, talixdb::runtimeMismatch().c_str());
    m_bIsOpen = false;
    return false;
  }
  std::string problem;
  m_pBinding = newBinding(endpointOf(url), talixdb::trustFileFromEnvironment(), note, problem);
  m_pSession = new CRepositorySession(m_pBinding);
  m_pRepository = new CRepositoryClient(m_pBinding);
  m_pRepository->setTransferProgress(sideStateOf(this).progress);
  m_pServerRegistry->m_pBinding = m_pBinding;
  m_pServerRegistry->m_pRepository = m_pRepository;
  m_bIsLoggedIn = false;
  if (problem.empty()) {
    m_bIsOpen = m_pSession->probe();
    // A failed TLS handshake counts as unreachable; the host hears why.
    if (!m_bIsOpen) problem = m_pBinding->tlsFailure();
  }
  if (!problem.empty()) {
    logMessage(TALIX::LogTypeError, problem.c_str());
    note = problem;
    m_bIsOpen = false;
  }
  if (!m_bIsOpen) destroyConnection();
  // The probe's refusal is no failure of open.
  if (m_bIsOpen) note.clear();
  return m_bIsOpen;
} catch (...) { return false; }

void CVLTDatabase::close() try {
  // The session and the client go with the proxy they stand on, so nothing
  // can reach a destroyed proxy; the login flag is left as it was.
  destroyConnection();
  sideStateOf(this).lastError.clear();
} catch (...) { }

bool CVLTDatabase::isOpen() { return m_bIsOpen; }

bool CVLTDatabase::isLoggedIn() { return m_bIsLoggedIn; }

bool CVLTDatabase::registerTALIXDatabaseServer(const char*, bool) { return false; }

bool CVLTDatabase::releaseMemory(void* p) { return m_pMemoryRegistry->release(p); }

}  // namespace VLT_121
