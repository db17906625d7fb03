#include "browse/Snapshot.h"

#include <optional>
#include <utility>

#include "browse/Criteria.h"
#include "catalogue/CatalogueLayout.h"

namespace VLT_121 {

namespace {

CSnapshotType readType(CFolderReader& reader, const std::string& typePath, const std::string& name,
                       bool withDetails);
CSnapshotModel readModel(CFolderReader& reader, const std::string& modelPath, const std::string& name,
                         bool withDetails);
std::string childPath(const std::string& parent, const std::string& name);

}  // namespace

bool criteriaNeedModelDetails(const char*** criteria) {
  if (criteria == nullptr) return false;
  for (const char*** row = criteria; *row != nullptr; ++row) {
    std::optional<CriterionLabel> label = findCriterionLabel((*row)[0]);
    if (label && isModelDetailLabel(*label)) return true;
  }
  return false;
}

SnapshotTree readSnapshot(CFolderReader& reader, const std::string& rootPath, bool withDetails) {
  SnapshotTree tree;
  for (std::string& categoryName : reader.readChildNames(rootPath)) {
    CSnapshotCategory category;
    const std::string categoryPath = childPath(rootPath, categoryName);
    category.m_strName = std::move(categoryName);
    for (const std::string& typeName : reader.readChildNames(categoryPath)) {
      category.m_vecTypes.push_back(
          readType(reader, childPath(categoryPath, typeName), typeName, withDetails));
    }
    tree.push_back(std::move(category));
  }
  return tree;
}

namespace {

CSnapshotType readType(CFolderReader& reader, const std::string& typePath, const std::string& name,
                       bool withDetails) {
  CSnapshotType type;
  type.m_strName = name;
  for (const std::string& modelName : reader.readChildNames(typePath)) {
    type.m_vecModels.push_back(readModel(reader, childPath(typePath, modelName), modelName, withDetails));
  }
  return type;
}

// The model folder is read once for the description and, with details, once
// more for the species: one request per value, as the request budget counts.
CSnapshotModel readModel(CFolderReader& reader, const std::string& modelPath, const std::string& name,
                         bool withDetails) {
  CSnapshotModel model;
  model.m_strName = name;
  model.m_strDescription = reader.readProperty(modelPath, layout::kDescription);
  if (withDetails) {
    model.m_vecSpecies = reader.readListProperty(modelPath, layout::kComponents);
    model.m_vecParameters = reader.readChildNames(childPath(modelPath, layout::kParameters));
    model.m_vecPorts = reader.readChildNames(childPath(modelPath, layout::kPorts));
  }
  const std::string solversPath = childPath(modelPath, layout::kSolvers);
  for (std::string& solverName : reader.readChildNames(solversPath)) {
    CSnapshotSolver solver;
    solver.m_vecInstances =
        reader.readChildNames(childPath(childPath(solversPath, solverName), layout::kInstances));
    solver.m_strName = std::move(solverName);
    model.m_vecSolvers.push_back(std::move(solver));
  }
  return model;
}

// The catalogue's path rule (parent "/" name, names verbatim), kept here
// rather than calling layout::child so that the walk links without the
// client layer and unit tests can drive it over an in-memory reader.
std::string childPath(const std::string& parent, const std::string& name) { return parent + "/" + name; }

}  // namespace

}  // namespace VLT_121
