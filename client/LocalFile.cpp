#include "client/LocalFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace VLT_121 {
namespace localfile {

namespace {

constexpr size_t kChunk = 1 << 16;

bool isRegular(const struct stat& info) { return S_ISREG(info.st_mode); }

// Appends everything left in `fd` to `bytes`.
bool readAll(int fd, std::string& bytes) {
  std::vector<char> chunk(kChunk);
  for (;;) {
    ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.append(chunk.data(), static_cast<size_t>(got));
  }
}

}  // namespace

int openRegularFile(const std::string& path, std::uint64_t& size) noexcept {
  // Anything but a regular file is refused before it is opened (opening a
  // device can have effects of its own), and again after, on what was opened.
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !isRegular(info)) return -1;
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &info) != 0 || !isRegular(info)) {
    ::close(fd);
    return -1;
  }
  size = static_cast<std::uint64_t>(info.st_size);
  return fd;
}

bool readRegularFile(const std::string& path, std::string& bytes) noexcept {
  bytes.clear();
  std::uint64_t size = 0;
  int fd = openRegularFile(path, size);
  if (fd < 0) return false;
  bool ok = false;
  try {
    bytes.reserve(static_cast<size_t>(size));
    ok = readAll(fd, bytes);
  } catch (...) {
    ok = false;  // out of memory for a file this large
  }
  ::close(fd);
  if (!ok) std::string().swap(bytes);
  return ok;
}

int createBeside(const std::string& target, std::string& temporaryPath) noexcept {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  try {
    for (int attempt = 0; attempt < 100; ++attempt) {
      unsigned char random[8];
      if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
      std::string path = target + ".part-";
      for (unsigned char byte : random) path.push_back(kLetters[byte % (sizeof kLetters - 1)]);
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        temporaryPath = std::move(path);
        return fd;
      }
      if (errno != EEXIST) return -1;
    }
  } catch (...) {
    // Out of memory for the name.
  }
  return -1;
}

}  // namespace localfile
}  // namespace VLT_121
