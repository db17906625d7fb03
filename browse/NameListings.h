// Name listings: each fills one name list of CBrowseState from the snapshot
// tree, replacing what the list held, and returns whether the list is now
// non-empty. Names are matched whole, byte for byte; the first entry of a
// name is the one used; a null name matches nothing. Order is snapshot order.
#pragma once

#include <string>
#include <vector>

#include "handle/BrowseState.h"

namespace VLT_121 {

// m_vecCategoryNames: every category.
bool listCategoryNames(CBrowseState& state);
// m_vecTypeNames: the types of `category`.
bool listTypeNames(CBrowseState& state, const char* category);
// m_vecModelNames: the models of `type` in `category`.
bool listModelNames(CBrowseState& state, const char* category, const char* type);
// m_vecSolverNames: the solvers of one model.
bool listSolverNames(CBrowseState& state, const char* category, const char* type, const char* model);
// m_vecInstanceNames: the instances of one solver.
bool listInstanceNames(CBrowseState& state, const char* category, const char* type, const char* model,
                       const char* solver);

// m_vecLeafNames: "category/type/model" per model, plus "category" per
// category without types and "category/type" per type without models.
bool listModelLeafNames(CBrowseState& state);
// m_vecLeafNames: as above one level deeper: "category/type/model/solver" per
// solver, and "category/type/model" per model without solvers.
bool listSolverLeafNames(CBrowseState& state);

// The text of names[index], or null when index is outside 0..size-1. It stays
// valid until the list is changed.
const char* nameAt(const std::vector<std::string>& names, int index);

}  // namespace VLT_121
