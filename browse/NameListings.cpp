#include "browse/NameListings.h"

#include <cstddef>
#include <utility>

namespace VLT_121 {

namespace {

template <typename Entry>
const Entry* findNamed(const std::vector<Entry>& entries, const char* name);
const CSnapshotModel* findModel(const SnapshotTree& tree, const char* category, const char* type,
                                const char* model);
template <typename Entry>
void appendNames(const std::vector<Entry>& entries, std::vector<std::string>& names);
bool replaceList(std::vector<std::string>& list, std::vector<std::string> names);

}  // namespace

bool listCategoryNames(CBrowseState& state) {
  std::vector<std::string> names;
  appendNames(state.m_vecSnapshot, names);
  return replaceList(state.m_vecCategoryNames, std::move(names));
}

bool listTypeNames(CBrowseState& state, const char* category) {
  std::vector<std::string> names;
  if (const CSnapshotCategory* found = findNamed(state.m_vecSnapshot, category)) {
    appendNames(found->m_vecTypes, names);
  }
  return replaceList(state.m_vecTypeNames, std::move(names));
}

bool listModelNames(CBrowseState& state, const char* category, const char* type) {
  std::vector<std::string> names;
  if (const CSnapshotCategory* foundCategory = findNamed(state.m_vecSnapshot, category)) {
    if (const CSnapshotType* foundType = findNamed(foundCategory->m_vecTypes, type)) {
      appendNames(foundType->m_vecModels, names);
    }
  }
  return replaceList(state.m_vecModelNames, std::move(names));
}

bool listSolverNames(CBrowseState& state, const char* category, const char* type, const char* model) {
  std::vector<std::string> names;
  if (const CSnapshotModel* found = findModel(state.m_vecSnapshot, category, type, model)) {
    appendNames(found->m_vecSolvers, names);
  }
  return replaceList(state.m_vecSolverNames, std::move(names));
}

bool listInstanceNames(CBrowseState& state, const char* category, const char* type, const char* model,
                       const char* solver) {
  std::vector<std::string> names;
  if (const CSnapshotModel* foundModel = findModel(state.m_vecSnapshot, category, type, model)) {
    if (const CSnapshotSolver* foundSolver = findNamed(foundModel->m_vecSolvers, solver)) {
      names = foundSolver->m_vecInstances;
    }
  }
  return replaceList(state.m_vecInstanceNames, std::move(names));
}

bool listModelLeafNames(CBrowseState& state) {
  std::vector<std::string> leaves;
  for (const CSnapshotCategory& category : state.m_vecSnapshot) {
    if (category.m_vecTypes.empty()) leaves.push_back(category.m_strName);
    for (const CSnapshotType& type : category.m_vecTypes) {
      const std::string typePath = category.m_strName + "/" + type.m_strName;
      if (type.m_vecModels.empty()) leaves.push_back(typePath);
      for (const CSnapshotModel& model : type.m_vecModels) leaves.push_back(typePath + "/" + model.m_strName);
    }
  }
  return replaceList(state.m_vecLeafNames, std::move(leaves));
}

bool listSolverLeafNames(CBrowseState& state) {
  std::vector<std::string> leaves;
  for (const CSnapshotCategory& category : state.m_vecSnapshot) {
    if (category.m_vecTypes.empty()) leaves.push_back(category.m_strName);
    for (const CSnapshotType& type : category.m_vecTypes) {
      const std::string typePath = category.m_strName + "/" + type.m_strName;
      if (type.m_vecModels.empty()) leaves.push_back(typePath);
      for (const CSnapshotModel& model : type.m_vecModels) {
        const std::string modelPath = typePath + "/" + model.m_strName;
        if (model.m_vecSolvers.empty()) leaves.push_back(modelPath);
        for (const CSnapshotSolver& solver : model.m_vecSolvers) {
          leaves.push_back(modelPath + "/" + solver.m_strName);
        }
      }
    }
  }
  return replaceList(state.m_vecLeafNames, std::move(leaves));
}

const char* nameAt(const std::vector<std::string>& names, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= names.size()) return nullptr;
  return names[static_cast<std::size_t>(index)].c_str();
}

namespace {

// The first entry whose name equals `name`, or null (also for a null name).
template <typename Entry>
const Entry* findNamed(const std::vector<Entry>& entries, const char* name) {
  if (name == nullptr) return nullptr;
  for (const Entry& entry : entries) {
    if (entry.m_strName == name) return &entry;
  }
  return nullptr;
}

const CSnapshotModel* findModel(const SnapshotTree& tree, const char* category, const char* type,
                                const char* model) {
  const CSnapshotCategory* foundCategory = findNamed(tree, category);
  if (foundCategory == nullptr) return nullptr;
  const CSnapshotType* foundType = findNamed(foundCategory->m_vecTypes, type);
  if (foundType == nullptr) return nullptr;
  return findNamed(foundType->m_vecModels, model);
}

template <typename Entry>
void appendNames(const std::vector<Entry>& entries, std::vector<std::string>& names) {
  names.reserve(names.size() + entries.size());
  for (const Entry& entry : entries) names.push_back(entry.m_strName);
}

// The new names are built aside and swapped in, so a list is never left half
// filled.
bool replaceList(std::vector<std::string>& list, std::vector<std::string> names) {
  list.swap(names);
  return !list.empty();
}

}  // namespace

}  // namespace VLT_121
