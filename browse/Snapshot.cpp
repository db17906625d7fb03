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
    const std::string categoryPath = layout::child(rootPath, categoryName);
    category.m_strName = std::move(categoryName);
    for (const std::string& typeName : reader.readChildNames(categoryPath)) {
      category.m_vecTypes.push_back(
          readType(reader, layout::child(categoryPath, typeName), typeName, withDetails));
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
    type.m_vecModels.push_back(readModel(reader, layout::child(typePath, modelName), modelName, withDetails));
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
    model.m_vecParameters = reader.readChildNames(layout::child(modelPath, layout::kParameters));
    model.m_vecPorts = reader.readChildNames(layout::child(modelPath, layout::kPorts));
  }
  const std::string solversPath = layout::child(modelPath, layout::kSolvers);
  for (std::string& solverName : reader.readChildNames(solversPath)) {
    CSnapshotSolver solver;
    solver.m_vecInstances =
        reader.readChildNames(layout::child(layout::child(solversPath, solverName), layout::kInstances));
    solver.m_strName = std::move(solverName);
    model.m_vecSolvers.push_back(std::move(solver));
  }
  return model;
}

}  // namespace

}  // namespace VLT_121
