// The browsing members of CVLTDatabase: snapshot, filters and name listings
// over the handle's CBrowseState.
#include <optional>
#include <string>
#include <vector>

#include "browse/Criteria.h"
#include "browse/NameListings.h"
#include "browse/RepositoryFolderReader.h"
#include "browse/Snapshot.h"
#include "browse/SnapshotFilter.h"
#include "handle/BrowseState.h"
#include "handle/SimulationServerRegistry.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

template <typename Fill>
bool fillListing(std::vector<std::string>& list, Fill fill);
int countOf(const std::vector<std::string>& list);

}  // namespace

// ---- snapshot -----------------------------------------------------------------

void CVLTDatabase::takeVLTSnapshot(const char*** criteria) try {
  logMessage(TALIX::LogTypeError, "Taking Model Database snapshot...");
  SnapshotTree tree;
  try {
    const bool withDetails = criteriaNeedModelDetails(criteria);
    // A handle never opened, or closed, has no client: the tree stays empty.
    CRepositoryClient* repository = m_pServerRegistry ? m_pServerRegistry->m_pRepository : nullptr;
    if (repository != nullptr) {
      CRepositoryFolderReader reader(*repository);
      tree = readSnapshot(reader, m_pServerRegistry->m_strRootPath, withDetails);
    }
  } catch (...) {
    // Out of memory halfway: keep nothing rather than a partial catalogue.
    tree.clear();
  }
  m_pBrowseState->m_vecSnapshot.swap(tree);
  m_bSnapshotTaken = true;
  logMessage(TALIX::LogTypeError, "Done");
} catch (...) { }

void CVLTDatabase::ensureSnapshot() {
  if (!m_bSnapshotTaken) takeVLTSnapshot(nullptr);
}

// ---- filters --------------------------------------------------------------------

void CVLTDatabase::filterVLTSnapshot(const char*** criteria) try {
  if (criteria == nullptr) return;
  for (const char*** row = criteria; *row != nullptr; ++row) {
    std::optional<CriterionLabel> label = findCriterionLabel((*row)[0]);
    if (!label) continue;
    switch (*label) {
      case CriterionLabel::kCategoryName:
        filterVLTSnapshotByCategoryName(*row);
        break;
      case CriterionLabel::kTypeName:
        filterVLTSnapshotByTypeName(*row);
        break;
      case CriterionLabel::kModelName:
        filterVLTSnapshotByModelName(*row);
        break;
      case CriterionLabel::kModelDescription:
        filterVLTSnapshotByModelDescription(*row);
        break;
      case CriterionLabel::kModelParameterName:
        filterVLTSnapshotByModelParameterName(*row);
        break;
      case CriterionLabel::kModelSpecieName:
        filterVLTSnapshotByModelSpecieName(*row);
        break;
      case CriterionLabel::kModelPortName:
        filterVLTSnapshotByModelPortName(*row);
        break;
    }
  }
} catch (...) { }

void CVLTDatabase::filterVLTSnapshotByCategoryName(const char** row) {
  filterByCategoryName(m_pBrowseState->m_vecSnapshot, row);
}

void CVLTDatabase::filterVLTSnapshotByTypeName(const char** row) {
  filterByTypeName(m_pBrowseState->m_vecSnapshot, row);
}

void CVLTDatabase::filterVLTSnapshotByModelName(const char** row) {
  filterByModelName(m_pBrowseState->m_vecSnapshot, row);
}

void CVLTDatabase::filterVLTSnapshotByModelDescription(const char** row) {
  filterByModelDescription(m_pBrowseState->m_vecSnapshot, row);
}

void CVLTDatabase::filterVLTSnapshotByModelParameterName(const char** row) {
  filterByModelParameterName(m_pBrowseState->m_vecSnapshot, row);
}

void CVLTDatabase::filterVLTSnapshotByModelSpecieName(const char** row) {
  filterByModelSpecieName(m_pBrowseState->m_vecSnapshot, row);
}

void CVLTDatabase::filterVLTSnapshotByModelPortName(const char** row) {
  filterByModelPortName(m_pBrowseState->m_vecSnapshot, row);
}

// ---- listings -------------------------------------------------------------------

bool CVLTDatabase::downloadCategoryNames() try {
  ensureSnapshot();
  CBrowseState& state = *m_pBrowseState;
  return fillListing(state.m_vecCategoryNames, [&] { return listCategoryNames(state); });
} catch (...) { return false; }

int CVLTDatabase::getNrDownloadedCategoryNames() { return countOf(m_pBrowseState->m_vecCategoryNames); }

const char* CVLTDatabase::getDownloadedCategoryName(int index) try {
  return nameAt(m_pBrowseState->m_vecCategoryNames, index);
} catch (...) { return nullptr; }

bool CVLTDatabase::downloadTypeNames(const char* category) try {
  ensureSnapshot();
  CBrowseState& state = *m_pBrowseState;
  return fillListing(state.m_vecTypeNames, [&] { return listTypeNames(state, category); });
} catch (...) { return false; }

int CVLTDatabase::getNrDownloadedTypeNames() { return countOf(m_pBrowseState->m_vecTypeNames); }

const char* CVLTDatabase::getDownloadedTypeName(int index) try {
  return nameAt(m_pBrowseState->m_vecTypeNames, index);
} catch (...) { return nullptr; }

bool CVLTDatabase::downloadModelNames(const char* category, const char* type) try {
  ensureSnapshot();
  CBrowseState& state = *m_pBrowseState;
  return fillListing(state.m_vecModelNames, [&] { return listModelNames(state, category, type); });
} catch (...) { return false; }

int CVLTDatabase::getNrDownloadedModelNames() { return countOf(m_pBrowseState->m_vecModelNames); }

const char* CVLTDatabase::getDownloadedModelName(int index) try {
  return nameAt(m_pBrowseState->m_vecModelNames, index);
} catch (...) { return nullptr; }

bool CVLTDatabase::downloadSolverNames(const char* category, const char* type, const char* model) try {
  ensureSnapshot();
  CBrowseState& state = *m_pBrowseState;
  return fillListing(state.m_vecSolverNames, [&] { return listSolverNames(state, category, type, model); });
} catch (...) { return false; }

int CVLTDatabase::getNrDownloadedSolverNames() { return countOf(m_pBrowseState->m_vecSolverNames); }

const char* CVLTDatabase::getDownloadedSolverName(int index) try {
  return nameAt(m_pBrowseState->m_vecSolverNames, index);
} catch (...) { return nullptr; }

bool CVLTDatabase::downloadInstanceNames(const char* category, const char* type, const char* model,
                                         const char* solver) try {
  ensureSnapshot();
  CBrowseState& state = *m_pBrowseState;
  return fillListing(state.m_vecInstanceNames,
                     [&] { return listInstanceNames(state, category, type, model, solver); });
} catch (...) { return false; }

int CVLTDatabase::getNrDownloadedInstanceNames() { return countOf(m_pBrowseState->m_vecInstanceNames); }

const char* CVLTDatabase::getDownloadedInstanceName(int index) try {
  return nameAt(m_pBrowseState->m_vecInstanceNames, index);
} catch (...) { return nullptr; }

bool CVLTDatabase::downloadModelLeafNames() try {
  ensureSnapshot();
  CBrowseState& state = *m_pBrowseState;
  return fillListing(state.m_vecLeafNames, [&] { return listModelLeafNames(state); });
} catch (...) { return false; }

bool CVLTDatabase::downloadSolverLeafNames() try {
  ensureSnapshot();
  CBrowseState& state = *m_pBrowseState;
  return fillListing(state.m_vecLeafNames, [&] { return listSolverLeafNames(state); });
} catch (...) { return false; }

int CVLTDatabase::getNrDownloadedLeafNames() { return countOf(m_pBrowseState->m_vecLeafNames); }

const char* CVLTDatabase::getDownloadedLeafName(int index) try {
  return nameAt(m_pBrowseState->m_vecLeafNames, index);
} catch (...) { return nullptr; }

namespace {

// Runs one listing; should it fail (out of memory), its list ends empty.
template <typename Fill>
bool fillListing(std::vector<std::string>& list, Fill fill) {
  try {
    return fill();
  } catch (...) {
    list.clear();
    return false;
  }
}

int countOf(const std::vector<std::string>& list) { return static_cast<int>(list.size()); }

}  // namespace

}  // namespace VLT_121
