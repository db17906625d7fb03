// CRepositoryFolderReader: the snapshot's folder reads, each one findByPath
// through the handle's repository client.
#pragma once

#include <string>
#include <vector>

#include "browse/Snapshot.h"

namespace VLT_121 {

class CRepositoryClient;

class CRepositoryFolderReader : public CFolderReader {
 public:
  // `repository` is not owned and must outlive the reader.
  explicit CRepositoryFolderReader(CRepositoryClient& repository) : m_repository(repository) {}

  std::vector<std::string> readChildNames(const std::string& path) override;
  std::string readProperty(const std::string& path, const std::string& name) override;
  std::vector<std::string> readListProperty(const std::string& path, const std::string& name) override;

 private:
  CRepositoryClient& m_repository;
};

}  // namespace VLT_121
