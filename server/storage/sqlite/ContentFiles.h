// File contents as blob files in one directory: incoming bytes go to a
// "*.part" file, are flushed to disk, and are then renamed to their final
// name before the database row that points to them is committed. A crash at
// any point leaves either no trace or an unreferenced file that
// removeUnreferenced() deletes at the next start.
//
// A stored blob never changes. An online backup copies the blobs its copy
// of the database refers to while it holds the backup lock (shared); a blob
// whose row a commit deleted is removed only while nobody holds that lock,
// so that a backup never misses a blob of its copy.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "storage/Storage.h"
#include "storage/sqlite/FileLock.h"

namespace talixdb::server {

class ContentFiles {
 public:
  // Uses (and creates, owner-only) the directory `directory`; backups hold
  // the lock on the file `backupLockFile`.
  ContentFiles(std::string directory, std::string backupLockFile);
  ~ContentFiles();

  std::unique_ptr<StagedContent> stage();
  // Moves finished staged bytes to a new blob file and returns its name.
  std::string place(StagedContent& staged);
  std::unique_ptr<ContentSource> open(const std::string& blob) const;
  // Bytes the directory's file system still has for an unprivileged writer.
  std::uint64_t freeSpace() const;
  // Removes a placed blob that no committed row ever named.
  void remove(const std::string& blob) const;
  // Removes blobs whose rows were deleted, now or, while a backup runs,
  // at a later call.
  void discard(const std::vector<std::string>& blobs);
  // Deletes leftovers of interrupted uploads and blobs not in `referenced`;
  // does nothing and returns false while a backup runs.
  bool removeUnreferenced(const std::set<std::string>& referenced);

 private:
  std::string m_directory;
  FileLock m_backupLock;
  std::vector<std::string> m_discarded;  // waiting for a backup to end
};

}  // namespace talixdb::server
