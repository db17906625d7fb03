#include "results/ResultPaths.h"

#include "catalogue/CatalogueLayout.h"
#include "results/NumberedNames.h"

namespace VLT_121 {
namespace resultpaths {

namespace {
std::string text(const char* value) { return value != nullptr ? std::string(value) : std::string(); }
}  // namespace

std::string solverFolder(const char* modelPath, const char* solverName) {
  return layout::solverPath(text(modelPath), solverName);
}

std::string gridFile(const char* modelPath, const char* solverName, const char* base, const char* surfaceName) {
  std::string name = text(base);
  if (surfaceName != nullptr) name += std::string("_") + surfaceName;
  name += ".txt";
  return layout::child(layout::child(solverFolder(modelPath, solverName), layout::kGrid), name);
}

std::string reportsFolder(const char* modelPath, const char* solverName) {
  return layout::child(solverFolder(modelPath, solverName), layout::kReports);
}

std::string surfaceReport(const char* modelPath, const char* solverName, int reportNumber, const char* surfaceName) {
  std::string reports = reportsFolder(modelPath, solverName);
  return layout::child(layout::child(reports, reportFolderName(reportNumber)), text(surfaceName));
}

std::string pcaModesFolder(const char* modelPath, const char* solverName) {
  return layout::child(reportsFolder(modelPath, solverName), layout::kPcaModes);
}

std::string pcaModesFile(const char* modelPath, const char* solverName, const char* surfaceName) {
  return layout::child(pcaModesFolder(modelPath, solverName), text(surfaceName));
}

}  // namespace resultpaths
}  // namespace VLT_121
