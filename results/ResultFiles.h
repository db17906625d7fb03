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

// The file at `path` as text, when there is one.
std::optional<std::string> fetchText(CRepositoryClient* repository, const std::string& path);

}  // namespace resultfiles
}  // namespace VLT_121
