// The local files a solver brings along: checked before anything is stored,
// so that an import does not stop half-way at a missing file.
#include <sys/stat.h>

#include "ModelSpec.h"

namespace talixdb_cli {

namespace {

const char kFileSystemParameter[] = "file-system";

bool isRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Options name files relative to the local directory with "/" or "\".
std::string localPath(const std::string& localDir, const std::string& option) {
  std::string relative = option;
  for (char& c : relative)
    if (c == '\\') c = '/';
  return localDir + "/" + relative;
}

}  // namespace

std::string missingSolverFile(const ModelSpec& solver, const std::string& localDir) {
  for (const ParameterSpec& parameter : solver.parameters) {
    if (parameter.name != kFileSystemParameter) continue;
    // Only the first "file-system" parameter counts, as in the import.
    if (parameter.type != "CAPE_OPTION") return "";
    for (const std::string& option : parameter.options) {
      std::string path = localPath(localDir, option);
      if (!isRegularFile(path))
        return "solver " + solver.name + " lists \"" + option + "\" in its file-system parameter, but " + path +
               " is not a file";
    }
    return "";
  }
  return "";
}

}  // namespace talixdb_cli
