// The catalogue snapshot: a walk over the catalogue folders below the
// database root that builds the snapshot tree, one folder read at a time.
#pragma once

#include <string>
#include <vector>

#include "handle/BrowseState.h"

namespace VLT_121 {

// One read of a repository folder. Each call is one request to the server;
// a folder that cannot be found reads as an empty list or an empty text.
class CFolderReader {
 public:
  virtual ~CFolderReader() = default;
  // Names of the folder's children, in the server's order.
  virtual std::vector<std::string> readChildNames(const std::string& path) = 0;
  // A single-valued property of the folder.
  virtual std::string readProperty(const std::string& path, const std::string& name) = 0;
  // A list property of the folder.
  virtual std::vector<std::string> readListProperty(const std::string& path, const std::string& name) = 0;
};

// True when a row of `criteria` (null-terminated; null allowed) is labelled
// "A model parameter name", "A model specie name" or "A model port name".
// Only the labels are looked at: a row the filter will reject still counts.
bool criteriaNeedModelDetails(const char*** criteria);

// Reads the catalogue below `rootPath` into a new tree. Requests: 1 for the
// root, 1 per category, 1 per type, 2 per model (description, solvers) and 3
// more per model with details (species, parameters, ports), 1 per solver.
SnapshotTree readSnapshot(CFolderReader& reader, const std::string& rootPath, bool withDetails);

}  // namespace VLT_121
