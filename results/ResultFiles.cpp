#include "results/ResultFiles.h"

#include <memory>

#include "client/RepositoryClient.h"
#include "handle/MemoryRegistry.h"

namespace VLT_121 {
namespace resultfiles {

namespace {

// Looks the file up first, then downloads it: a missing file costs one
// request and is not an error.
bool download(CRepositoryClient* repository, const std::string& path, char*& bytes, long& size) {
  if (repository == nullptr) return false;
  std::unique_ptr<CRepositoryObject> found(repository->findByPath(path));
  if (!found) return false;
  found->release();
  return !repository->downloadFileToMemory(path, &bytes, &size).empty();
}

}  // namespace

long fetchRegistered(CRepositoryClient* repository, CMemoryRegistry* registry, const std::string& path,
                     char*& data) {
  data = nullptr;
  char* bytes = nullptr;
  long size = 0;
  if (!download(repository, path, bytes, size)) return 0;
  registry->addBuffer(bytes);
  data = bytes;
  return size;
}

std::optional<std::string> fetchText(CRepositoryClient* repository, const std::string& path) {
  char* bytes = nullptr;
  long size = 0;
  if (!download(repository, path, bytes, size)) return std::nullopt;
  std::string text(bytes, static_cast<size_t>(size));
  delete[] bytes;
  return text;
}

}  // namespace resultfiles
}  // namespace VLT_121
