#include "ReportListing.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "ExitCodes.h"
#include "LocalFiles.h"
#include "admin/BackupPropertiesFile.h"
#include "talixdbapi/ResultCodes.h"

namespace talixdb_cli {

namespace {

namespace fs = std::filesystem;

// A directory of its own below TMPDIR (or /tmp), removed with what it holds.
class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/talixdb-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    if (!m_path.empty()) fs::remove_all(m_path, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// A report folder's name: its number printed with "%09d".
bool reportNumber(const std::string& name, int& number) {
  if (name.empty() || name.find_first_not_of("-0123456789") != std::string::npos) return false;
  number = std::atoi(name.c_str());
  return true;
}

}  // namespace

int readStoredReports(Context& context, const std::string& solverPath, std::map<std::string, SurfaceReports>& out) {
  TemporaryDirectory scratch;
  if (scratch.path().empty())
    return context.fail(VLT_121::ResultCode::kLocalNotMade, "cannot make a temporary directory");
  const std::string copy = scratch.path() + "/Reports";
  int result = VLT_121::ResultCode::kSuccess;
  {
    ConsoleLogger::OutcomesAsProgress quiet(context.logger);
    result = context.db().backupTALIXFolder((solverPath + "/Reports").c_str(), copy.c_str());
  }
  if (result == VLT_121::ResultCode::kNotFound) return exit_code::kSuccess;  // nothing stored yet
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "cannot read the reports of " + solverPath);
  const std::string properties = VLT_121::backupPropertiesFileName();
  std::error_code error;
  for (const fs::directory_entry& folder : fs::directory_iterator(copy, error)) {
    if (!folder.is_directory()) continue;
    const std::string name = folder.path().filename().string();
    const bool modes = name == "PcaModes";
    int number = 0;
    if (!modes && !reportNumber(name, number)) continue;
    for (const fs::directory_entry& file : fs::directory_iterator(folder.path(), error)) {
      const std::string surface = file.path().filename().string();
      if (!file.is_regular_file() || surface == properties) continue;
      SurfaceReports& entry = out[surface];
      if (modes) {
        std::string ignored;
        entry.hasModes = readLocalFile(file.path().string(), entry.modes, ignored);
      } else {
        entry.reports.push_back({number, static_cast<unsigned long long>(file.file_size(error))});
      }
    }
  }
  for (auto& [surface, entry] : out)
    std::sort(entry.reports.begin(), entry.reports.end(),
              [](const StoredReport& a, const StoredReport& b) { return a.number < b.number; });
  return exit_code::kSuccess;
}

}  // namespace talixdb_cli
