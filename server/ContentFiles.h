// File contents as blob files in one directory: incoming bytes go to a
// "*.part" file, are flushed to disk, and are then renamed to their final
// name before the database row that points to them is committed. A crash at
// any point leaves either no trace or an unreferenced file that
// removeUnreferenced() deletes at the next start.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "Storage.h"

namespace talixdb::server {

class ContentFiles {
 public:
  // Uses (and creates) the directory `directory`.
  explicit ContentFiles(std::string directory);

  std::unique_ptr<StagedContent> stage();
  // Moves finished staged bytes to a new blob file and returns its name.
  std::string place(StagedContent& staged);
  std::unique_ptr<ContentSource> open(const std::string& blob) const;
  void remove(const std::string& blob) const;
  // Deletes leftovers of interrupted uploads and blobs not in `referenced`.
  void removeUnreferenced(const std::set<std::string>& referenced) const;

 private:
  std::string m_directory;
};

}  // namespace talixdb::server
