#include "storage/sqlite/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "storage/StorageFailure.h"

namespace talixdb::server {

FileLock::FileLock(std::string path) : m_path(std::move(path)) {
  m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_fd < 0) throw StorageFailure("cannot open the lock file", m_path + ": " + std::strerror(errno));
  ::fchmod(m_fd, 0600);
}

FileLock::~FileLock() { ::close(m_fd); }

bool FileLock::tryExclusive() {
  for (;;) {
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return false;
    throw StorageFailure("cannot lock the lock file", m_path + ": " + std::strerror(errno));
  }
}

void FileLock::lockShared() {
  while (::flock(m_fd, LOCK_SH) != 0) {
    if (errno != EINTR) throw StorageFailure("cannot lock the lock file", m_path + ": " + std::strerror(errno));
  }
}

void FileLock::unlock() { ::flock(m_fd, LOCK_UN); }

void FileLock::writeProcessId() {
  std::string text = std::to_string(static_cast<long>(::getpid())) + "\n";
  if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
    throw StorageFailure("cannot write the lock file", m_path + ": " + std::strerror(errno));
}

long FileLock::processId() const {
  char text[32] = {};
  ssize_t got = ::pread(m_fd, text, sizeof text - 1, 0);
  if (got <= 0) return 0;
  return std::strtol(text, nullptr, 10);
}

}  // namespace talixdb::server
