// Grid files and surface reports of a solver.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/RepositoryClient.h"
#include "handle/MemoryRegistry.h"
#include "handle/BrowseState.h"
#include "results/NumberedNames.h"
#include "results/ReportFormat.h"
#include "results/ResultFiles.h"
#include "results/ResultPaths.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

// Stores a grid text (without its zero byte); 20 when it was not stored.
int uploadGridText(CRepositoryClient* repository, const std::string& path, const char* text) {
  if (repository == nullptr) return ResultCode::kFileNotUploaded;
  std::string stored = repository->uploadBytes(path, text != nullptr ? text : "", text != nullptr ? std::strlen(text) : 0);
  return stored.empty() ? ResultCode::kFileNotUploaded : ResultCode::kSuccess;
}

}  // namespace

int CVLTDatabase::uploadNodePositions(const char* modelPath, const char* solverName, const char* text,
                                      const char* surfaceName) {
  return uploadGridText(m_pRepository,
                        resultpaths::gridFile(modelPath, solverName, resultpaths::kNodePositions, surfaceName), text);
}

int CVLTDatabase::uploadGridConnectivity(const char* modelPath, const char* solverName, const char* text,
                                         const char* surfaceName) {
  return uploadGridText(m_pRepository,
                        resultpaths::gridFile(modelPath, solverName, resultpaths::kGridConnectivity, surfaceName),
                        text);
}

int CVLTDatabase::downloadSurfaceNodePositions(const char* modelPath, const char* solverName, char*& data,
                                               long& size, const char* surfaceName) try {
  size = resultfiles::fetchRegistered(m_pRepository, m_pMemoryRegistry,
                         resultpaths::gridFile(modelPath, solverName, resultpaths::kNodePositions, surfaceName), data);
  return 0;
} catch (...) { return 0; }

int CVLTDatabase::downloadSurfaceGridConnectivity(const char* modelPath, const char* solverName, char*& data,
                                                  long& size, const char* surfaceName) try {
  size = resultfiles::fetchRegistered(m_pRepository, m_pMemoryRegistry,
                         resultpaths::gridFile(modelPath, solverName, resultpaths::kGridConnectivity, surfaceName),
                         data);
  return 0;
} catch (...) { return 0; }

bool CVLTDatabase::isSurfaceUploaded(const char* modelPath, const char* solverName, int reportNumber,
                                     const char* surfaceName) try {
  return checkModelObject(resultpaths::surfaceReport(modelPath, solverName, reportNumber, surfaceName).c_str());
} catch (...) { return false; }

// The numbered folders below "Reports" that hold a file of the surface's name.
bool CVLTDatabase::downloadReportNumbers(const char* modelPath, const char* solverName, const char* surfaceName) try {
  std::vector<int> numbers;
  if (m_pRepository != nullptr && surfaceName != nullptr) {
    const std::string reports = resultpaths::reportsFolder(modelPath, solverName);
    for (const CRepositoryClient::Child& folder : m_pRepository->findChildren(reports)) {
      std::optional<int> number = reportNumberOfFolder(folder.name);
      const auto& names = folder.childNames;
      if (number && std::find(names.begin(), names.end(), surfaceName) != names.end()) numbers.push_back(*number);
    }
  }
  std::sort(numbers.begin(), numbers.end());
  m_pBrowseState->m_vecReportNumbers.swap(numbers);
  return !m_pBrowseState->m_vecReportNumbers.empty();
} catch (...) {
  m_pBrowseState->m_vecReportNumbers.clear();
  return false;
}

int CVLTDatabase::getNrDownloadedReportNumbers() { return static_cast<int>(m_pBrowseState->m_vecReportNumbers.size()); }

int CVLTDatabase::getDownloadedReportNumber(int index) {
  const std::vector<int>& numbers = m_pBrowseState->m_vecReportNumbers;
  return index >= 0 && static_cast<size_t>(index) < numbers.size() ? numbers[static_cast<size_t>(index)] : -1;
}

long CVLTDatabase::downloadSurface(const char* modelPath, const char* solverName, int reportNumber,
                                   const char* surfaceName, char*& data) try {
  return resultfiles::fetchRegistered(m_pRepository, m_pMemoryRegistry,
                         resultpaths::surfaceReport(modelPath, solverName, reportNumber, surfaceName), data);
} catch (...) { return 0; }

int CVLTDatabase::downloadSurfaceValues(const char* modelPath, const char* solverName, const char* surfaceName,
                                        int reportNumber, double*& values) try {
  values = nullptr;
  char* raw = nullptr;
  long size = downloadSurface(modelPath, solverName, reportNumber, surfaceName, raw);
  // The raw report is this operation's own, an empty one too: it leaves the
  // registry however the operation ends.
  auto release = [this](char* buffer) { m_pMemoryRegistry->release(buffer); };
  std::unique_ptr<char, decltype(release)> own(raw, release);
  std::vector<double> parsed;
  if (raw == nullptr || size <= 0 || !readSurfaceValues(std::string_view(raw, static_cast<size_t>(size)), parsed))
    return 0;
  values = m_pMemoryRegistry->allocDoubles(static_cast<int>(parsed.size()));
  std::copy(parsed.begin(), parsed.end(), values);
  return static_cast<int>(parsed.size());
} catch (...) { return 0; }

}  // namespace VLT_121
