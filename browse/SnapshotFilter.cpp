#include "browse/SnapshotFilter.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace VLT_121 {

namespace {

bool containsValue(const std::string& field, const char* value);
bool anyContainsValue(const std::vector<std::string>& names, const char* value);
template <typename KeepModel>
void pruneModels(SnapshotTree& tree, KeepModel keep);

}  // namespace

void filterSnapshot(SnapshotTree& tree, const char*** criteria) {
  if (criteria == nullptr) return;
  for (const char*** row = criteria; *row != nullptr; ++row) {
    std::optional<CriterionLabel> label = findCriterionLabel((*row)[0]);
    if (label) applyCriterion(tree, *label, *row);
  }
}

void applyCriterion(SnapshotTree& tree, CriterionLabel label, const char** row) {
  switch (label) {
    case CriterionLabel::kCategoryName:
      filterByCategoryName(tree, row);
      break;
    case CriterionLabel::kTypeName:
      filterByTypeName(tree, row);
      break;
    case CriterionLabel::kModelName:
      filterByModelName(tree, row);
      break;
    case CriterionLabel::kModelDescription:
      filterByModelDescription(tree, row);
      break;
    case CriterionLabel::kModelParameterName:
      filterByModelParameterName(tree, row);
      break;
    case CriterionLabel::kModelSpecieName:
      filterByModelSpecieName(tree, row);
      break;
    case CriterionLabel::kModelPortName:
      filterByModelPortName(tree, row);
      break;
  }
}

void filterByCategoryName(SnapshotTree& tree, const char** row) {
  if (!isEffectiveRow(row, CriterionLabel::kCategoryName)) return;
  const char* value = row[2];
  for (std::size_t c = tree.size(); c-- > 0;) {
    if (!containsValue(tree[c].m_strName, value)) tree.erase(tree.begin() + c);
  }
}

void filterByTypeName(SnapshotTree& tree, const char** row) {
  if (!isEffectiveRow(row, CriterionLabel::kTypeName)) return;
  const char* value = row[2];
  for (std::size_t c = tree.size(); c-- > 0;) {
    std::vector<CSnapshotType>& types = tree[c].m_vecTypes;
    for (std::size_t t = types.size(); t-- > 0;) {
      if (!containsValue(types[t].m_strName, value)) types.erase(types.begin() + t);
    }
    if (types.empty()) tree.erase(tree.begin() + c);
  }
}

void filterByModelName(SnapshotTree& tree, const char** row) {
  if (!isEffectiveRow(row, CriterionLabel::kModelName)) return;
  const char* value = row[2];
  pruneModels(tree, [value](const CSnapshotModel& model) { return containsValue(model.m_strName, value); });
}

void filterByModelDescription(SnapshotTree& tree, const char** row) {
  if (!isEffectiveRow(row, CriterionLabel::kModelDescription)) return;
  const char* value = row[2];
  pruneModels(tree,
              [value](const CSnapshotModel& model) { return containsValue(model.m_strDescription, value); });
}

void filterByModelParameterName(SnapshotTree& tree, const char** row) {
  if (!isEffectiveRow(row, CriterionLabel::kModelParameterName)) return;
  const char* value = row[2];
  pruneModels(
      tree, [value](const CSnapshotModel& model) { return anyContainsValue(model.m_vecParameters, value); });
}

void filterByModelSpecieName(SnapshotTree& tree, const char** row) {
  if (!isEffectiveRow(row, CriterionLabel::kModelSpecieName)) return;
  const char* value = row[2];
  pruneModels(tree,
              [value](const CSnapshotModel& model) { return anyContainsValue(model.m_vecSpecies, value); });
}

void filterByModelPortName(SnapshotTree& tree, const char** row) {
  if (!isEffectiveRow(row, CriterionLabel::kModelPortName)) return;
  const char* value = row[2];
  pruneModels(tree,
              [value](const CSnapshotModel& model) { return anyContainsValue(model.m_vecPorts, value); });
}

namespace {

// Values are never empty (isEffectiveRow), so an empty field matches nothing.
bool containsValue(const std::string& field, const char* value) {
  return field.find(value) != std::string::npos;
}

bool anyContainsValue(const std::vector<std::string>& names, const char* value) {
  return std::any_of(names.begin(), names.end(),
                     [value](const std::string& name) { return containsValue(name, value); });
}

// Walks every level from the last entry to the first, so erasing an entry
// never shifts one that is still to be visited.
template <typename KeepModel>
void pruneModels(SnapshotTree& tree, KeepModel keep) {
  for (std::size_t c = tree.size(); c-- > 0;) {
    std::vector<CSnapshotType>& types = tree[c].m_vecTypes;
    for (std::size_t t = types.size(); t-- > 0;) {
      std::vector<CSnapshotModel>& models = types[t].m_vecModels;
      for (std::size_t m = models.size(); m-- > 0;) {
        if (!keep(models[m])) models.erase(models.begin() + m);
      }
      if (models.empty()) types.erase(types.begin() + t);
    }
    if (types.empty()) tree.erase(tree.begin() + c);
  }
}

}  // namespace

}  // namespace VLT_121
