// What a solver holds of surface reports and PCA modes, read in one go: the
// library has no listing of a folder, so the solver's "Reports" folder is
// backed up into a private temporary directory (every report is downloaded
// once) and read there.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Command.h"

namespace talixdb_cli {

struct StoredReport {
  int number = 0;
  unsigned long long bytes = 0;
};

struct SurfaceReports {
  std::vector<StoredReport> reports;  // by number
  bool hasModes = false;
  std::string modes;  // the PCA modes file, when there is one
};

// Surfaces by name; with the logged-in session of `context`. 0, or the
// failure with a message. A solver without reports gives an empty map.
int readStoredReports(Context& context, const std::string& solverPath, std::map<std::string, SurfaceReports>& out);

}  // namespace talixdb_cli
