// CVLTDatabase: one connection to a model database kept in a repository
// server. Every method runs synchronously on the caller's thread and never
// throws: failures come back as false, null, 0 or a result code (ResultCodes.h).
// A handle must be used by one thread at a time.
#pragma once

#include <string>

#include "talixdbapi/Export.h"
#include "talixdbapi/ResultCodes.h"
#include "talixdbapi/TalixLogger.h"
#include "talixdbapi/VLTObjects.h"
#include "talixdbapi/Version.h"

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
  // the open and login flags, the snapshot and the name lists. It keeps its own
  // logger and memory registry (a copy-constructed handle starts with none and
  // an empty one), so nothing is ever released or freed twice and either handle
  // may outlive the other. A copy of a closed handle is closed. Self-assignment
  // does nothing.
  CVLTDatabase(const CVLTDatabase& other);
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

  // ---- catalogue: database root, categories, types ---------------------------

  // True when the root folder "/Repository/talixdb" exists.
  bool isTalixDatabaseInstantiated();
  // Logs in as administrator and makes the root folder. 0: made now; 1: it was
  // there already, was not made, or the administrator login failed. Stays
  // logged in as administrator.
  int createTalixDb();
  bool checkCategory(const char* category);
  // 0, or 2 when the category folder was not made.
  int addCategory(const char* category);
  // Note the order: the type comes first.
  bool checkType(const char* type, const char* category);
  // 0, or 3 when the type folder was not made.
  int addType(const char* type, const char* category);
  // Deletes the object at `path` and everything below it. Does nothing and
  // returns false unless a logger is attached (the outcome is logged).
  bool deleteItem(const char* path);

  // ---- catalogue: models and solvers -----------------------------------------

  // Stores a model with its ports and parameters and an empty "Solvers"
  // folder, making missing category and type folders. 0, or 24 (exists), 2,
  // 4, or the first failure among ports and parameters (5 to 8).
  int uploadModel(const char* category, const char* type, const CVLTModel* model);
  // A new model with ports, parameters and solvers, owned by the caller
  // (free with CVLTModel::deleteObject); null when there is no such model.
  CVLTModel* downloadModel(const char* category, const char* type, const char* modelName);
  // Fills `solver` from a stored solver; leaves it as it was when the solver
  // folder is missing.
  void exportSolver(CVLTModel* solver, const char* category, const char* type, const char* model,
                    const char* solverName);
  // Checks `solver` against the stored model and stores it with its ports,
  // parameters, file tree and grids. 0, or the first failure code.
  int importSolver(const char* category, const char* type, const char* model, CVLTModel* solver);
  // Copies a stored solver's file tree into a local directory. 0, or 21 when
  // there is no solver at `solverPath`.
  int downloadSolver(const char* solverPath, const char* localDirectory);
  // True when every part of `model` and of its solvers has a folder of the
  // same name, and the model has at least one solver. Logs the first miss.
  bool checkModelCompatibility(const char* category, const char* type, const char* modelName,
                               const CVLTModel* model);

  // ---- results: surfaces and grids -------------------------------------------
  // Buffers and arrays returned below are registered with the handle: give them
  // back with releaseMemory. Text buffers hold the bytes plus a zero byte.

  // Always 0; data/size carry the node positions file (null/0 when absent).
  // A null surface name selects the solver's unnamed grid file.
  int downloadSurfaceNodePositions(const char* modelPath, const char* solverName, char*& data, long& size,
                                   const char* surfaceName);
  int downloadSurfaceGridConnectivity(const char* modelPath, const char* solverName, char*& data,
                                      long& size, const char* surfaceName);
  bool isSurfaceUploaded(const char* modelPath, const char* solverName, int reportNumber,
                         const char* surfaceName);
  // The raw report and its size in bytes; 0 and null when absent.
  long downloadSurface(const char* modelPath, const char* solverName, int reportNumber,
                       const char* surfaceName, char*& data);
  // The report's value count N and its N values; 0 and null on any failure.
  int downloadSurfaceValues(const char* modelPath, const char* solverName, const char* surfaceName,
                            int reportNumber, double*& values);

  // ---- results: PCA modes ----------------------------------------------------

  // Stores a surface report and updates the surface's PCA modes. 0, or 20
  // when the report or the new modes file was not stored, or 26 when the
  // surface's modes file exists but could not be read: the report is stored
  // and the modes are left untouched (only a surface without a modes file
  // starts its first mode).
  int uploadSurface(const char* modelPath, const char* solverName, const char* surfaceName,
                    int reportNumber, const char* data, long length);
  // Removes the PCA modes of every surface of the solver. Always 0.
  int clearPcaModes(const char* modelPath, const char* solverName);
  // Always 0; the PCA modes file as text (null/0 when absent).
  int downloadPcaModes(const char* modelPath, const char* solverName, const char* surfaceName, char*& data,
                       long& size);
  // Number of modes M, or 0 when there are none.
  int getNrPcaModes(const char* modelPath, const char* solverName, const char* surfaceName);
  // M, with `values` = the N components of mode `modeIndex`; 0 and null on failure.
  int downloadPcaModeValues(const char* modelPath, const char* solverName, const char* surfaceName,
                            int modeIndex, double*& values);
  // M, with `amplitudes` = the report projected on each mode; 0 and null on failure.
  int getModalAmplitudes(const char* modelPath, const char* solverName, const char* surfaceName,
                         int reportNumber, double*& amplitudes);

  // ---- results: instances and precomputed results ----------------------------

  // Saves the solver's listed files from `localFolder` as an instance;
  // `instance` names the one to replace (or is set to the new number).
  int uploadInstance(const char* modelPath, const char* solverName, int& instance, const char* localFolder);
  bool isInstanceUploaded(const char* modelPath, const char* solverName, int instance);
  // Downloads the instance (or, when it does not exist, the solver's base file
  // system, setting `instance` to -1) into `localFolder`.
  int downloadInstance(const char* modelPath, const char* solverName, int& instance, const char* localFolder);
  bool deleteInstance(const char* category, const char* type, const char* model, const char* solverName,
                      int instance);
  // Empties every "Instances" and "Reports" folder below `remotePath`. Does
  // nothing (returns 0) unless a logger is attached.
  int deleteAllFolderInstances(const char* remotePath);
  // Stores a block of text as a new numbered entry. 0, or 25.
  int uploadPreComputedResultsVersion1(const char* modelPath, const char* solverName, const char* content);

  // ---- browsing ---------------------------------------------------------------
  // Listings read the last snapshot (taking one first if none was taken) and
  // return true when their list is not empty. Names stay valid until the same
  // list is filled again; an index outside 0..count-1 gives null.

  bool downloadCategoryNames();
  int getNrDownloadedCategoryNames();
  const char* getDownloadedCategoryName(int index);
  bool downloadTypeNames(const char* category);
  int getNrDownloadedTypeNames();
  const char* getDownloadedTypeName(int index);
  bool downloadModelNames(const char* category, const char* type);
  int getNrDownloadedModelNames();
  const char* getDownloadedModelName(int index);
  bool downloadSolverNames(const char* category, const char* type, const char* model);
  int getNrDownloadedSolverNames();
  const char* getDownloadedSolverName(int index);
  bool downloadInstanceNames(const char* category, const char* type, const char* model, const char* solver);
  int getNrDownloadedInstanceNames();
  const char* getDownloadedInstanceName(int index);
  bool downloadModelLeafNames();
  bool downloadSolverLeafNames();
  int getNrDownloadedLeafNames();
  const char* getDownloadedLeafName(int index);
  // Reads the whole catalogue into the handle (model details only when a
  // criteria row names a detail label).
  void takeVLTSnapshot(const char*** criteria);
  // Removes from the snapshot what fails the criteria rows (null-terminated).
  void filterVLTSnapshot(const char*** criteria);

  // ---- administration ---------------------------------------------------------

  // Copies the repository folder tree at `remotePath` with its folder
  // properties into `localFolder`. 0, or 26, 28, 29.
  int backupTALIXFolder(const char* remotePath, const char* localFolder);
  // Rebuilds the tree at `remotePath` from a backup (same depth only); the
  // copy is checked before the existing tree is replaced. 0, or 28, 29, 30.
  int restoreTALIXFolder(const char* remotePath, const char* localFolder);
  // Creates the database root and `count` pool users; the number created, or
  // createTalixDb's non-zero result. Ends logged out.
  int instantiateCFDUsers(int count);
  // Number of pool users (names starting "cfduser"); 0 when the administrator
  // login fails. Ends logged out.
  int getNrCFDUsers();
  void disconnectAllTalixUsers();
  void deleteAllTalixUsers();
  // True when the server's register folder exists at the end.
  bool registerTALIXSimulationServer(const char* serverName, bool keepExisting);
  // Reads the register into the handle. Always 0.
  int downloadRegisteredSimulationServers();
  int getNrRegisteredSimulationServers();
  // The name at `index`, or null; valid until the register is read again.
  const char* getRegisteredSimulationServer(int index);

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
  // The deep copy shared by the copy constructor and operator=.
  void copyFrom(const CVLTDatabase& other);

  // catalogue
  bool checkModelObject(const char* path);
  int addModelPorts(const char* category, const char* type, const CVLTModel* model);
  int addModelParameters(const char* category, const char* type, const CVLTModel* model);
  int addSolverPorts(const char* category, const char* type, const char* model, CVLTModel* solver);
  int addSolverParameters(const char* category, const char* type, const char* model, CVLTModel* solver);
  int addSolverFileSystem(const char* category, const char* type, const char* model, CVLTModel* solver);
  int checkSolverCompatibility(const char* category, const char* type, const char* model, CVLTModel* solver);
  // results
  int uploadNodePositions(const char* modelPath, const char* solverName, const char* text,
                          const char* surfaceName);
  int uploadGridConnectivity(const char* modelPath, const char* solverName, const char* text,
                             const char* surfaceName);
  int uploadPcaModes(const char* modelPath, const char* solverName, const char* surfaceName, const char* text);
  int downloadFolder(const char* remotePath, const char* localFolder);
  int downloadFile(const char* remotePath, const char* localPath);
  // administration
  int restoreFolder(const std::string& remote, const std::string& local, bool copyChecked);
  // browsing
  void filterVLTSnapshotByCategoryName(const char** row);
  void filterVLTSnapshotByTypeName(const char** row);
  void filterVLTSnapshotByModelName(const char** row);
  void filterVLTSnapshotByModelDescription(const char** row);
  void filterVLTSnapshotByModelParameterName(const char** row);
  void filterVLTSnapshotByModelSpecieName(const char** row);
  void filterVLTSnapshotByModelPortName(const char** row);
  void ensureSnapshot();

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
