// CBrowseState: the handle's in-memory picture of the catalogue (the snapshot
// tree) and the six name lists that the listing operations fill from it.
// Plain data, owned by the handle: the functions in browse/ read and change it.
#pragma once

#include <string>
#include <vector>

namespace VLT_121 {

// One solver of a model with the names of its saved instances.
class CSnapshotSolver {
 public:
  std::string m_strName;
  std::vector<std::string> m_vecInstances;
};

// One model. The species, port and parameter names are read only when the
// snapshot was taken with details; otherwise they stay empty.
class CSnapshotModel {
 public:
  std::string m_strName;
  std::string m_strDescription;
  std::vector<std::string> m_vecSpecies;
  std::vector<std::string> m_vecPorts;
  std::vector<std::string> m_vecParameters;
  std::vector<CSnapshotSolver> m_vecSolvers;
};

class CSnapshotType {
 public:
  std::string m_strName;
  std::vector<CSnapshotModel> m_vecModels;
};

class CSnapshotCategory {
 public:
  std::string m_strName;
  std::vector<CSnapshotType> m_vecTypes;
};

// The whole tree; every level keeps the order in which the server listed it.
using SnapshotTree = std::vector<CSnapshotCategory>;

class CBrowseState {
 public:
  SnapshotTree m_vecSnapshot;

  // Each list changes only when its own listing runs; snapshots and filters
  // leave them alone.
  std::vector<std::string> m_vecCategoryNames;
  std::vector<std::string> m_vecTypeNames;
  std::vector<std::string> m_vecModelNames;
  std::vector<std::string> m_vecSolverNames;
  std::vector<std::string> m_vecInstanceNames;
  // Shared by the model-leaf and the solver-leaf listing.
  std::vector<std::string> m_vecLeafNames;
  // A surface's report numbers, read from the server (downloadReportNumbers).
  std::vector<int> m_vecReportNumbers;
};

}  // namespace VLT_121
