// Where a solver's results live below its folder: grid files, surface reports
// and PCA modes files.
#pragma once

#include <string>

namespace VLT_121 {
namespace resultpaths {

// modelPath + "/Solvers/" + solverName.
std::string solverFolder(const char* modelPath, const char* solverName);
// ".../Grid/<base>_<surface>.txt", or ".../Grid/<base>.txt" for a null surface.
std::string gridFile(const char* modelPath, const char* solverName, const char* base, const char* surfaceName);
// ".../Reports", the folder of the numbered report folders (and of PcaModes).
std::string reportsFolder(const char* modelPath, const char* solverName);
// ".../Reports/<%09d of reportNumber>/<surface>".
std::string surfaceReport(const char* modelPath, const char* solverName, int reportNumber, const char* surfaceName);
// ".../Reports/PcaModes" and ".../Reports/PcaModes/<surface>".
std::string pcaModesFolder(const char* modelPath, const char* solverName);
std::string pcaModesFile(const char* modelPath, const char* solverName, const char* surfaceName);

constexpr const char* kNodePositions = "NodePositions";
constexpr const char* kGridConnectivity = "GridConnectivity";

}  // namespace resultpaths
}  // namespace VLT_121
