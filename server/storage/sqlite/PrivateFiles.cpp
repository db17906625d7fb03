#include "storage/sqlite/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "storage/StorageFailure.h"

namespace talixdb::server {

namespace {

// Narrows one entry to `mode` when it allows more; true when it did.
bool tighten(const std::string& path, mode_t mode);

}  // namespace

void makePrivateDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::path path(directory);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
    throw StorageFailure("cannot create " + directory + ": " + std::strerror(errno));
  if (::chmod(directory.c_str(), 0700) != 0)
    throw StorageFailure("cannot protect " + directory + ": " + std::strerror(errno));
}

void makePrivateFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) throw StorageFailure("cannot create " + path + ": " + std::strerror(errno));
  ::close(fd);
}

void syncDirectory(const std::string& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::vector<std::string> tightenPermissions(const std::string& root) {
  std::vector<std::string> changed;
  if (tighten(root, 0700)) changed.push_back(root);
  std::error_code error;
  for (auto entry = std::filesystem::recursive_directory_iterator(root, error);
       !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
    if (entry->is_symlink(error)) continue;
    std::string path = entry->path().string();
    if (tighten(path, entry->is_directory(error) ? 0700 : 0600)) changed.push_back(path);
  }
  if (error) throw StorageFailure("cannot read " + root + ": " + error.message());
  return changed;
}

namespace {

bool tighten(const std::string& path, mode_t mode) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  if ((info.st_mode & 07777 & ~mode) == 0) return false;
  if (::chmod(path.c_str(), info.st_mode & mode) != 0)
    throw StorageFailure("cannot protect " + path + ": " + std::strerror(errno));
  return true;
}

}  // namespace

}  // namespace talixdb::server
