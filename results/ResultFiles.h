// Fetching a result file (grid, report, PCA modes): either as a buffer
// registered for the host, or as a text the operation uses itself.
#pragma once

#include <optional>
#include <string>

namespace VLT_121 {

class CRepositoryClient;
class CMemoryRegistry;

namespace resultfiles {

// The file at `path` in a new buffer registered in `registry` (its bytes and a
// zero byte); its size, or 0 with `data` null when there is no such file or
// the download failed.
long fetchRegistered(CRepositoryClient* repository, CMemoryRegistry* registry, const std::string& path,
                     char*& data);

// The file at `path` as text, when there is one and it could be read.
std::optional<std::string> fetchText(CRepositoryClient* repository, const std::string& path);

// What became of reading a file that may not exist.
enum class FileRead {
  kRead,        // `text` holds the file
  kAbsent,      // the server says there is no object at the path
  kUnreadable,  // the object is there but its contents did not arrive, or
                // the lookup itself failed on the way (no answer)
};

// The file at `path` as text, telling a missing file from one that is there
// but could not be downloaded, or that could not be looked up.
FileRead readText(CRepositoryClient* repository, const std::string& path, std::string& text);

}  // namespace resultfiles
}  // namespace VLT_121
