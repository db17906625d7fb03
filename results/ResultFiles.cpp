#include "results/ResultFiles.h"

#include <memory>

#include "client/RepositoryClient.h"
#include "handle/MemoryRegistry.h"

namespace VLT_121 {
namespace resultfiles {

namespace {

// Looks the file up first, then downloads it: a missing file costs one
// request and is not an error. A lookup the server did not answer tells
// nothing about the file.
FileRead download(CRepositoryClient* repository, const std::string& path, char*& bytes, long& size) {
  if (repository == nullptr) return FileRead::kUnreadable;
  std::unique_ptr<CRepositoryObject> found(repository->findByPath(path));
  if (!found) return repository->lastCallAnswered() ? FileRead::kAbsent : FileRead::kUnreadable;
  found->release();
  return repository->downloadFileToMemory(path, &bytes, &size).empty() ? FileRead::kUnreadable : FileRead::kRead;
}

}  // namespace

long fetchRegistered(CRepositoryClient* repository, CMemoryRegistry* registry, const std::string& path,
                     char*& data) {
  data = nullptr;
  char* bytes = nullptr;
  long size = 0;
  if (download(repository, path, bytes, size) != FileRead::kRead) return 0;
  registry->addBuffer(bytes);
  data = bytes;
  return size;
}

FileRead readText(CRepositoryClient* repository, const std::string& path, std::string& text) {
  text.clear();
  char* bytes = nullptr;
  long size = 0;
  FileRead outcome = download(repository, path, bytes, size);
  if (outcome != FileRead::kRead) return outcome;
  std::unique_ptr<char[]> own(bytes);
  text.assign(bytes, static_cast<size_t>(size));
  return outcome;
}

std::optional<std::string> fetchText(CRepositoryClient* repository, const std::string& path) {
  std::string text;
  if (readText(repository, path, text) != FileRead::kRead) return std::nullopt;
  return text;
}

}  // namespace resultfiles
}  // namespace VLT_121
