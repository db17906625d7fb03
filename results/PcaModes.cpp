// The PCA modes of a solver's surfaces: storing reports with the mode update,
// reading the modes back, and the modal amplitudes of a report.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/RepositoryClient.h"
#include "handle/MemoryRegistry.h"
#include "results/ModeUpdate.h"
#include "results/PcaModesFile.h"
#include "results/ReportFormat.h"
#include "results/ResultFiles.h"
#include "results/ResultPaths.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

int CVLTDatabase::uploadPcaModes(const char* modelPath, const char* solverName, const char* surfaceName,
                                 const char* text) {
  if (m_pRepository == nullptr || text == nullptr) return ResultCode::kFileNotUploaded;
  std::string stored =
      m_pRepository->uploadBytes(resultpaths::pcaModesFile(modelPath, solverName, surfaceName), text, std::strlen(text));
  return stored.empty() ? ResultCode::kFileNotUploaded : ResultCode::kSuccess;
}

int CVLTDatabase::clearPcaModes(const char* modelPath, const char* solverName) try {
  if (m_pRepository != nullptr)
    m_pRepository->deleteObject(resultpaths::pcaModesFolder(modelPath, solverName).c_str());
  return 0;
} catch (...) { return 0; }

int CVLTDatabase::uploadSurface(const char* modelPath, const char* solverName, const char* surfaceName,
                                int reportNumber, const char* data, long length) try {
  if (m_pRepository == nullptr || data == nullptr) return ResultCode::kFileNotUploaded;
  const size_t size = length > 0 ? static_cast<size_t>(length) : std::strlen(data);
  const std::string path = resultpaths::surfaceReport(modelPath, solverName, reportNumber, surfaceName);
  // A report that was not stored is not analysed either.
  if (m_pRepository->uploadBytes(path, data, size).empty()) return ResultCode::kFileNotUploaded;

  const std::string_view report(data, size);
  if (!hasReportMagic(report)) return ResultCode::kSuccess;
  // Only a surface the server says has no modes file starts afresh: modes
  // that are there but did not arrive, or a lookup that was not answered,
  // leave the modes as they are, and the report stays stored.
  std::string current;
  resultfiles::FileRead modes =
      resultfiles::readText(m_pRepository, resultpaths::pcaModesFile(modelPath, solverName, surfaceName), current);
  if (modes == resultfiles::FileRead::kUnreadable) return ResultCode::kFileNotDownloaded;
  ModeUpdate update = updatePcaModes(
      report, modes == resultfiles::FileRead::kRead ? std::optional<std::string_view>(current) : std::nullopt);
  if (update.outcome == ModeUpdateOutcome::kFirstMode || update.outcome == ModeUpdateOutcome::kMerged)
    return uploadPcaModes(modelPath, solverName, surfaceName, update.text.c_str());
  return ResultCode::kSuccess;
} catch (...) { return ResultCode::kFileNotUploaded; }

int CVLTDatabase::downloadPcaModes(const char* modelPath, const char* solverName, const char* surfaceName,
                                   char*& data, long& size) try {
  size = resultfiles::fetchRegistered(m_pRepository, m_pMemoryRegistry,
                                      resultpaths::pcaModesFile(modelPath, solverName, surfaceName), data);
  return 0;
} catch (...) { return 0; }

int CVLTDatabase::getNrPcaModes(const char* modelPath, const char* solverName, const char* surfaceName) try {
  std::optional<std::string> text =
      resultfiles::fetchText(m_pRepository, resultpaths::pcaModesFile(modelPath, solverName, surfaceName));
  return text ? readPcaModeCount(*text) : 0;
} catch (...) { return 0; }

int CVLTDatabase::downloadPcaModeValues(const char* modelPath, const char* solverName, const char* surfaceName,
                                        int modeIndex, double*& values) try {
  values = nullptr;
  std::optional<std::string> text =
      resultfiles::fetchText(m_pRepository, resultpaths::pcaModesFile(modelPath, solverName, surfaceName));
  if (!text) return 0;
  std::vector<double> components;
  int modes = readPcaModeValues(*text, modeIndex, components);
  if (modes == 0) return 0;
  values = m_pMemoryRegistry->allocDoubles(static_cast<int>(components.size()));
  std::copy(components.begin(), components.end(), values);
  return modes;
} catch (...) { return 0; }

int CVLTDatabase::getModalAmplitudes(const char* modelPath, const char* solverName, const char* surfaceName,
                                     int reportNumber, double*& amplitudes) try {
  amplitudes = nullptr;
  double* x = nullptr;
  int n = downloadSurfaceValues(modelPath, solverName, surfaceName, reportNumber, x);
  if (x == nullptr || n == 0) {
    if (x != nullptr) m_pMemoryRegistry->release(x);
    return 0;
  }
  std::optional<std::string> text =
      resultfiles::fetchText(m_pRepository, resultpaths::pcaModesFile(modelPath, solverName, surfaceName));
  std::vector<double> projected;
  bool ok = text && computeModalAmplitudes(x, n, *text, projected);
  m_pMemoryRegistry->release(x);
  if (!ok) return 0;
  amplitudes = m_pMemoryRegistry->allocDoubles(static_cast<int>(projected.size()));
  std::copy(projected.begin(), projected.end(), amplitudes);
  return static_cast<int>(projected.size());
} catch (...) { return 0; }

}  // namespace VLT_121
