// The catalogue's layout: folder names, paths and property names, and how a
// model, port, parameter or solver is written to and read from folder
// properties. Every catalogue, results and administration operation uses these
// rules instead of restating them.
#pragma once

#include <string>

namespace VLT_121 {

class CRepositoryObject;
class CVLTModel;
class CVLTPort;
class CVLTParameter;

namespace layout {

// Object types.
constexpr const char* kFolderType = "Folder";
constexpr const char* kFileType = "File";

// Fixed folder names.
constexpr const char* kPorts = "Ports";
constexpr const char* kParameters = "Parameters";
constexpr const char* kSolvers = "Solvers";
constexpr const char* kFileSystem = "FileSystem";
constexpr const char* kGrid = "Grid";
constexpr const char* kReports = "Reports";
constexpr const char* kPcaModes = "PcaModes";
constexpr const char* kInstances = "Instances";
constexpr const char* kPreComputedResults = "PreComputedResults v1.0";

// Property names; the prefix tells the kind (m_sz text, m_i integer, m_asz list).
constexpr const char* kName = "m_szName";
constexpr const char* kDescription = "m_szDescription";
constexpr const char* kCommand = "m_szCommand";
constexpr const char* kType = "m_szType";
constexpr const char* kDirection = "m_szDirection";
constexpr const char* kMode = "m_szMode";
constexpr const char* kDimensionality = "m_szDimensionality";
constexpr const char* kDefaultValue = "m_szDefaultValue";
constexpr const char* kLowerBound = "m_szLowerBound";
constexpr const char* kUpperBound = "m_szUpperBound";
constexpr const char* kRestrictedToList = "m_szRestrictedToList";
constexpr const char* kNrOptions = "m_iNrOptions";
constexpr const char* kOptions = "m_aszOptions";
constexpr const char* kNrPorts = "m_iNrPorts";
constexpr const char* kNrParameters = "m_iNrParameters";
constexpr const char* kNrComponents = "m_iNrComponents";
constexpr const char* kNrSolvers = "m_iNrSolvers";
constexpr const char* kComponents = "m_aszComponents";
constexpr const char* kSortedModelComponents = "m_aszSortedModelComponents";
constexpr const char* kNrPcaSurfaces = "m_iNrPCASurfaces";
constexpr const char* kPcaSurfaceNames = "m_aszPCASurfaceNames";
constexpr const char* kContent = "m_szContent";

// Parameter types and names with a meaning of their own.
constexpr const char* kOptionType = "CAPE_OPTION";
constexpr const char* kRealType = "CAPE_REAL";
constexpr const char* kIntType = "CAPE_INT";
constexpr const char* kFileSystemParameter = "file-system";
constexpr const char* kPublicSpeciesParameter = "public-species";

// parent + "/" + name, names inserted verbatim.
inline std::string child(const std::string& parent, const std::string& name) { return parent + "/" + name; }
// root/category, root/category/type, root/category/type/model.
std::string categoryPath(const std::string& root, const char* category);
std::string typePath(const std::string& root, const char* category, const char* type);
std::string modelPath(const std::string& root, const char* category, const char* type, const char* model);
// modelPath/Solvers/solverName.
std::string solverPath(const std::string& modelPath, const char* solverName);

// Writers: declare then set the properties of one folder, in the catalogue's
// order, on an object about to be created.
void writeModelProperties(CRepositoryObject& folder, const CVLTModel& model);
void writePortProperties(CRepositoryObject& folder, const CVLTPort& port);
void writeModelParameterProperties(CRepositoryObject& folder, const CVLTParameter& parameter);
void writeSolverParameterProperties(CRepositoryObject& folder, const CVLTParameter& parameter);
void writeSolverProperties(CRepositoryObject& folder, const CVLTModel& solver);

// Readers: fill an in-memory object from a folder's properties.
void readPort(const CRepositoryObject& folder, CVLTPort& port);
void readParameter(const CRepositoryObject& folder, CVLTParameter& parameter);
// Name, description and components of a model folder.
void readModelHeader(const CRepositoryObject& folder, CVLTModel& model);
// Name, description, command, components, sorted components and surfaces.
void readSolverHeader(const CRepositoryObject& folder, CVLTModel& solver);

bool isOptionType(const char* type);
bool hasBounds(const char* type);

}  // namespace layout
}  // namespace VLT_121
