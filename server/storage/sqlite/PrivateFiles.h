// Files only their owner may read: directories 0700 and files 0600, made so
// explicitly rather than through the umask, which may be anything.
#pragma once

#include <string>
#include <vector>

namespace talixdb::server {

// Creates `directory` when missing (with makeParentDirectories) and gives
// it mode 0700. Throws StorageFailure.
void makePrivateDirectory(const std::string& directory);

// Creates the missing directories above `path` with mode 0755, narrowed by
// the umask: others may pass through them but never write in them, whatever
// the umask (000 included). Best effort: a failure shows when `path` is made.
void makeParentDirectories(const std::string& path);

// Creates the empty file `path` with mode 0600 when missing.
void makePrivateFile(const std::string& path);

// Makes the entries made or renamed in `directory` durable (best effort).
void syncDirectory(const std::string& directory);

// Gives `root` and every directory below it mode 0700 and every other file
// 0600 where they allowed more; returns those it changed. Symbolic links are
// not followed.
std::vector<std::string> tightenPermissions(const std::string& root);

}  // namespace talixdb::server
