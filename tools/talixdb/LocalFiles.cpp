#include "LocalFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace talixdb_cli {

bool readLocalFile(const std::string& path, std::string& content, std::string& error) {
  if (path == "-") {
    std::ostringstream buffer;
    buffer << std::cin.rdbuf();
    content = buffer.str();
    return true;
  }
  if (isDirectory(path)) {
    error = "cannot read " + path + ": it is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  // In blocks: a character at a time takes minutes for a large report.
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

bool writeLocalFile(const std::string& path, const std::string& content, std::string& error) {
  if (path == "-") {
    std::fwrite(content.data(), 1, content.size(), stdout);
    std::fflush(stdout);
    return true;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

std::string folderOf(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

TreeCount countTree(const std::string& directory, const std::string& skipped) {
  TreeCount count;
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return count;
  count.folders = 1;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == skipped) continue;
    const std::string path = directory + "/" + name;
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      TreeCount below = countTree(path, skipped);
      count.folders += below.folders;
      count.files += below.files;
      count.bytes += below.bytes;
    } else if (S_ISREG(info.st_mode)) {
      ++count.files;
      count.bytes += static_cast<unsigned long long>(info.st_size);
    }
  }
  ::closedir(listing);
  return count;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace talixdb_cli
