// CVLTDatabase: one connection to a model database kept in a repository
// server. Every method runs synchronously on the caller's thread and never
// throws: failures come back as false, null, 0 or a result code (ResultCodes.h;
// getResultText gives a short text for a code). A handle must be used by one
// thread at a time. The README's "What you hand the library" has examples.
//
// Names and paths. Catalogue operations take names: a category, a type, a
// model, a solver. Names are used verbatim as repository folder names and must
// not contain "/". The catalogue lives below "/Repository/talixdb":
//   /Repository/talixdb/CATEGORY/TYPE/MODEL                 a model folder
//   /Repository/talixdb/CATEGORY/TYPE/MODEL/Solvers/SOLVER  a solver folder
// Result operations take `modelPath`, the model folder's full repository path
// as above (absolute, "/" between parts, no trailing "/"), plus the solver's
// name. Other repository paths (`solverPath`, `remotePath`, `path`) are full
// paths of the same form. Local paths (`localFolder`, `localDirectory`) are
// file-system paths of the host's machine.
//
// Ownership. Text arguments stay the caller's; the library copies what it
// keeps. Buffers and arrays that result operations hand out are registered
// with the handle until the host gives each back with releaseMemory (the
// handle's destructor does not free them). A model from downloadModel is the
// caller's (CVLTModel::deleteObject). Listing texts belong to the handle and
// stay valid until the same list is filled again.
//
// Time limits, read from the environment when a handle opens (seconds; 0
// means no limit): TALIXDB_CONNECT_TIMEOUT to connect (default 30),
// TALIXDB_IO_TIMEOUT for each single send or receive (default 300), and
// TALIXDB_CALL_TIMEOUT for each request to the server as a whole, from the
// connection to the end of the reply (default 600, plus one second for every
// MiB the request has moved, so that a large file at a sane rate never
// reaches it). A request that runs out of time fails like one the server
// never answered.
//
// Output outside the logger: importSolver's compatibility check prints three
// lines to standard output when the solver lacks a model parameter or port
// ("The solver is incompatible with the model:", "Model Parameter NAME is not
// instantiated in the solver." or "Model Port ...", "Solver is not loaded"),
// and a folder the server refuses to create makes the SOAP runtime write its
// fault report to standard error. Everything else goes to the attached logger.
#pragma once

#include <string>

#include "talixdbapi/Export.h"
#include "talixdbapi/ResultCodes.h"
#include "talixdbapi/TalixLogger.h"
#include "talixdbapi/TransferProgress.h"
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

  // Opens against "host[:port]", reached over plain HTTP, or
  // "https://host[:port]", reached over TLS 1.2 or later (null: taken from
  // MODELDATABASE_HOME, which holds the endpoint URL
  // "http[s]://host[:port]/vlt/services/QuillonBinding" or names a file whose
  // first word is it). Any other form, "http://host:port" included, fails
  // without contacting anyone. True when the server answered; an open handle
  // stays open and ignores `url`. Over TLS the server's certificate must verify
  // against the system's trusted certificates, or only those in the PEM file
  // that TALIXDB_CA_FILE names when it is set, and be for `host`; otherwise
  // open returns false and the logger receives one error saying why
  // (untrusted, expired, another host, not TLS at all).
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
  // The account the handle is logged in as: the user given to login, or for
  // a pool login the account of the pool it took. "" when not logged in.
  // Valid until the next login, logout, close or administrator operation.
  const char* getLoginUser();
  // Why the last failure of this handle happened, in one line of English for
  // people (as PQerrorMessage is for libpq): never null, "" when nothing
  // failed since open, login or close cleared it. Every failed request to the
  // server writes it, and so do open and login when they fail for a reason of
  // their own; a later request that succeeds leaves it, so read it right
  // after the call that failed. It belongs to the handle and stays valid
  // until the next call on the handle. The first words tell the kind:
  //   "cannot resolve the host name ..."   the name is not known
  //   "connection refused by ADDRESS ..."  nothing listens there
  //   "no connection to ..." / "no answer from ..."  a time limit ran out,
  //                                        named at the end (TALIXDB_..._TIMEOUT)
  //   "cannot connect to https://..." / "cannot set up TLS ..." /
  //   "cannot read the trusted certificates ..."  TLS failed, with OpenSSL's reason
  //   "cannot reach ..." / "ADDRESS closed the connection ..." /
  //   "the connection to ... was lost ..."  the connection failed otherwise
  //   "not a repository server at ADDRESS (HTTP 400: ...)"  another server answered
  //   "USER has a live session elsewhere[, last used ...; it ends at ...]"
  //                                        login refused by the one-session rule; the
  //                                        times only when the server tells them to
  //                                        the password given
  //   "no account of the pool ..."         a pool login found no free account
  //   anything else: the server's own words for a refusal ("wrong user name or
  //   password for ...", "not logged in", ...) or the library's.
  // The log messages are not changed by any of this.
  const char* getLastErrorText();
  // An addition beside the fixed interface: logs in with a reading session,
  // which may read all that `user` may and changes nothing (every changing
  // operation fails as refused). It does not count as the user's login: the
  // user may log in with login() meanwhile, and several reading sessions may
  // live at once. True when logged in afterwards; an existing login stays.
  // The password is not kept. Ends like any session: logout, or idle expiry
  // on the server. A server without reading sessions gives an ordinary one.
  bool loginToRead(const char* user, const char* password, const char* domain);
  // Always false; does nothing.
  bool registerTALIXDatabaseServer(const char* name, bool flag);
  // Frees a buffer or array this handle handed out. False (and nothing freed)
  // for any other pointer.
  bool releaseMemory(void* p);
  // Attaches the host's logger (null detaches). Always 0.
  int setLoggingObject(TALIX::ILogger* logger);
  // Attaches a receiver of the progress of every file upload and download
  // this handle makes, which can also stop one (TransferProgress.h); null
  // detaches. The handle does not own it and never releases it; it stays
  // attached across close and open until replaced; copies of the handle do
  // not carry it (like the logger). Always 0.
  int setTransferProgress(ITransferProgress* progress);

  // ---- catalogue: database root, categories, types ---------------------------

  // True when the root folder "/Repository/talixdb" exists.
  bool isTalixDatabaseInstantiated();
  // Logs in as administrator and makes the root folder. 0: made now; 1: it was
  // there already, was not made, or the administrator login failed. Stays
  // logged in as administrator.
  int createTalixDb();
  bool checkCategory(const char* category);
  // 0, or 2 when the category folder was not made (also when the database
  // root is missing).
  int addCategory(const char* category);
  // Note the order: the type comes first, then its category.
  bool checkType(const char* type, const char* category);
  // 0, or 3 when the type folder was not made. The type comes first.
  int addType(const char* type, const char* category);
  // Deletes the object at the repository path `path` and everything below it.
  // Does nothing and returns false unless a logger is attached (the outcome is
  // logged).
  bool deleteItem(const char* path);

  // ---- catalogue: models and solvers -----------------------------------------

  // Stores a model with its ports and parameters and an empty "Solvers"
  // folder, making missing category and type folders. 0, or 24 (exists), 2,
  // 4, or the first failure among ports and parameters (5 to 8). The model
  // stays the caller's. What is stored of a parameter follows its type (the
  // CAPE-OPEN name in setType): "CAPE_REAL" and "CAPE_INT" keep their lower
  // and upper bounds, "CAPE_OPTION" its options; any other type ("CAPE_STRING",
  // "CAPE_BOOLEAN", ...) neither. The components are the model's species.
  int uploadModel(const char* category, const char* type, const CVLTModel* model);
  // A new model with ports, parameters and solvers, owned by the caller
  // (free with CVLTModel::deleteObject); null when there is no such model.
  CVLTModel* downloadModel(const char* category, const char* type, const char* modelName);
  // Fills `solver` from a stored solver; leaves it as it was when the solver
  // folder is missing.
  void exportSolver(CVLTModel* solver, const char* category, const char* type, const char* model,
                    const char* solverName);
  // Checks `solver` against the stored model and stores it with its ports,
  // parameters, file tree and grids. 0, or the first failure code:
  //  21 no name; 23 a solver of that name exists; 14 no such model;
  //  15 / 16 the solver has fewer parameters / ports than the model, lacks one
  //     by name (the three lines on standard output), or one differs in type
  //     (ports also in direction; a "CAPE_OPTION" parameter needs the same
  //     options in any order, "public-species" only as many);
  //  17 components: a solver with components needs as many as the model; one
  //     without gets the model's (this change to `solver` stays); then the
  //     solver needs exactly as many sorted model components as components;
  //  9 to 12, 18 to 20 folders or files not stored (the solver folder stays).
  // The solver's files: a parameter named "file-system" of type "CAPE_OPTION"
  // lists them as options, each a path relative to solver->getLocalDir() with
  // "/" or "\" between its parts ("mesh/grid.msh"). Each is uploaded into the
  // solver's "FileSystem" tree; an entry that is missing or not a readable
  // regular file (a directory, a FIFO, a device), or that is absolute or holds
  // an empty, "." or ".." part, gives 20 and stops the upload. Its options are
  // exempt from the option comparison. Without it the tree is empty.
  int importSolver(const char* category, const char* type, const char* model, CVLTModel* solver);
  // Copies a stored solver's file tree into a local directory. 0, or 21 when
  // there is no solver at `solverPath` (modelPath + "/Solvers/" + name).
  int downloadSolver(const char* solverPath, const char* localDirectory);
  // True when every part of `model` and of its solvers has a folder of the
  // same name, and the model has at least one solver. Logs the first miss.
  bool checkModelCompatibility(const char* category, const char* type, const char* modelName,
                               const CVLTModel* model);

  // ---- results: surfaces and grids -------------------------------------------
  // Buffers and arrays returned below are registered with the handle: give them
  // back with releaseMemory. Text buffers hold the bytes plus a zero byte.
  // Argument orders differ and are part of the interface: downloadSurfaceValues
  // and uploadSurface take (surfaceName, reportNumber); isSurfaceUploaded and
  // downloadSurface take (reportNumber, surfaceName); the grid downloads take
  // the surface name last.

  // Always 0; data/size carry the node positions file (null/0 when absent).
  // A null surface name selects the solver's unnamed grid file.
  int downloadSurfaceNodePositions(const char* modelPath, const char* solverName, char*& data, long& size,
                                   const char* surfaceName);
  int downloadSurfaceGridConnectivity(const char* modelPath, const char* solverName, char*& data,
                                      long& size, const char* surfaceName);
  bool isSurfaceUploaded(const char* modelPath, const char* solverName, int reportNumber,
                         const char* surfaceName);
  // The raw report and its size in bytes; 0 and null when absent (an empty
  // report gives 0 and a buffer holding just the zero byte: release it too).
  long downloadSurface(const char* modelPath, const char* solverName, int reportNumber,
                       const char* surfaceName, char*& data);
  // The report's value count N and its N values; 0 and null on any failure,
  // including a report without the full 15-byte header (see uploadSurface) or
  // with fewer values than its count. N = 0 gives 0 and an empty array.
  int downloadSurfaceValues(const char* modelPath, const char* solverName, const char* surfaceName,
                            int reportNumber, double*& values);

  // ---- results: PCA modes ----------------------------------------------------

  // Stores a surface report (`length` bytes of `data`) and updates the
  // surface's PCA modes. The report format:
  //   bytes 0-13  "TALIX_Report_2"     bytes 15-39  not read by the library
  //   byte  14    a zero byte          from byte 40 text lines (LF or CR):
  //   the value count N, then N numbers, one per line ("0.5", "-1.25e-3").
  // A report shorter than 40 bytes or without the 14 magic bytes is stored but
  // not analysed (no modes). Every report of one surface must have the same N;
  // one of another length is stored and leaves the modes as they are.
  // 0, or 20
  // when the report or the new modes file was not stored, or 26 when the
  // surface's modes file exists but could not be read, or the lookup of it
  // got no answer (a time-out, a dropped connection): the report is stored
  // and the modes are left untouched (only a surface the server says has no
  // modes file starts its first mode).
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

  // Saves the files that the solver's "file-system" parameter lists (see
  // importSolver) from `localFolder` as an instance; `instance` names the one
  // to replace (or is set to the new number). 0 (also when the solver has no
  // such parameter: nothing saved), 22 (not "CAPE_OPTION"), 27, 19, or 20 when
  // a listed file is missing or not a readable regular file.
  int uploadInstance(const char* modelPath, const char* solverName, int& instance, const char* localFolder);
  bool isInstanceUploaded(const char* modelPath, const char* solverName, int instance);
  // Downloads the instance (or, when it does not exist, the solver's base file
  // system, setting `instance` to -1) into `localFolder`.
  int downloadInstance(const char* modelPath, const char* solverName, int& instance, const char* localFolder);
  // Note: names the model by category, type and model, not by modelPath.
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
  // An addition beside the fixed interface: lists the report numbers that
  // `surfaceName` of the solver has, ascending, read from the server (not
  // from the snapshot). True when there is at least one; false also when the
  // solver has no reports or cannot be read. The list stays until this
  // listing runs again.
  bool downloadReportNumbers(const char* modelPath, const char* solverName, const char* surfaceName);
  int getNrDownloadedReportNumbers();
  // The number at `index`, or -1 for an index outside 0..count-1 (a report
  // may be numbered -1 too: the count tells them apart).
  int getDownloadedReportNumber(int index);
  bool downloadModelLeafNames();
  bool downloadSolverLeafNames();
  int getNrDownloadedLeafNames();
  const char* getDownloadedLeafName(int index);
  // Criteria: an array of rows ended by a null row pointer; each row is four
  // texts {label, "contains", value, nullptr}. The seven labels: "Category
  // name", "Type name", "Model name", "Model description", "A model parameter
  // name", "A model specie name", "A model port name". A row keeps what holds
  // `value` as a case-sensitive substring; rows combine with "and". A row with
  // another label or operator, an empty value or no null fourth text is
  // skipped silently. Example:
  //   const char* row[] = {"Model name", "contains", "Pump", nullptr};
  //   const char** criteria[] = {row, nullptr};
  //   db.takeVLTSnapshot(criteria); db.filterVLTSnapshot(criteria);
  //   db.downloadModelLeafNames();  // "CATEGORY/TYPE/MODEL" of each match

  // Reads the whole catalogue into the handle (criteria may be null). The
  // parameter, species and port names are read only when a row carries one
  // of the three "A model ..." labels: pass the same criteria to both calls.
  void takeVLTSnapshot(const char*** criteria);
  // Removes from the snapshot what fails a criteria row; null changes nothing.
  void filterVLTSnapshot(const char*** criteria);

  // ---- administration ---------------------------------------------------------

  // Copies the repository folder tree at `remotePath` (a full path such as
  // "/Repository/talixdb/Equipment") with its folder properties into
  // `localFolder`, which must not exist or be empty. 0, or 26, 28, 29.
  int backupTALIXFolder(const char* remotePath, const char* localFolder);
  // Rebuilds the tree at `remotePath` from a backup; `remotePath` must have as
  // many "/" as the folder that was backed up ("/Repository/talixdb/Other" for
  // a copy of "/Repository/talixdb/Equipment"). The copy is checked before the
  // existing tree is replaced. 0, or 28, 29, 30.
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
  // whose first word is the URL), or null: "host[:port]" for
  // "http://host[:port]/vlt/services/QuillonBinding", "https://host[:port]"
  // for "https://host[:port]/vlt/services/QuillonBinding". Either is what
  // open() takes. Points into one static buffer.
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
