// An advisory lock (flock) on a file. The lock belongs to the open file:
// it ends when the object goes, and with the process, however it dies.
#pragma once

#include <string>

namespace talixdb::server {

class FileLock {
 public:
  // Opens the file `path`, creating it readable by its owner only. Throws
  // StorageFailure when that fails.
  explicit FileLock(std::string path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock alone without waiting; false while anyone else holds it.
  bool tryExclusive();
  // Takes the lock shared with other shared holders, waiting for an exclusive one.
  void lockShared();
  void unlock();

  // Replaces the file's content with this process's id.
  void writeProcessId();
  // The process id the file holds, or 0 when it holds none.
  long processId() const;

 private:
  std::string m_path;
  int m_fd = -1;
};

}  // namespace talixdb::server
