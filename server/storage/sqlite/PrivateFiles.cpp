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
  makeParentDirectories(directory);
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
    throw StorageFailure("cannot create a directory", directory + ": " + std::strerror(errno));
  if (::chmod(directory.c_str(), 0700) != 0)
    throw StorageFailure("cannot protect a directory", directory + ": " + std::strerror(errno));
}

void makeParentDirectories(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::filesystem::path made;
  for (const std::filesystem::path& part : parent) {
    made /= part;
    ::mkdir(made.c_str(), 0755);  // an existing one stays as it is
  }
}

void makePrivateFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) throw StorageFailure("cannot create a file", path + ": " + std::strerror(errno));
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
  if (error) throw StorageFailure("cannot read a directory", root + ": " + error.message());
  return changed;
}

namespace {

bool tighten(const std::string& path, mode_t mode) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  if ((info.st_mode & 07777 & ~mode) == 0) return false;
  if (::chmod(path.c_str(), info.st_mode & mode) != 0)
    throw StorageFailure("cannot protect a file", path + ": " + std::strerror(errno));
  return true;
}

}  // namespace

}  // namespace talixdb::server
