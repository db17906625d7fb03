// Filters over the snapshot tree. Each one removes the entries whose field
// does not contain a row's value (byte for byte, case-sensitive, anywhere in
// the field) and prunes what that leaves empty. A row that does not take
// effect (see isEffectiveRow) changes nothing. No server is asked.
#pragma once

#include "browse/Criteria.h"
#include "handle/BrowseState.h"

namespace VLT_121 {

// Applies every row of `criteria` (null-terminated array; null changes
// nothing) in order, so what remains passes all rows that take effect. Rows
// with an unknown label are skipped.
void filterSnapshot(SnapshotTree& tree, const char*** criteria);

// Applies one row with the filter of `label`; the filter checks the row.
void applyCriterion(SnapshotTree& tree, CriterionLabel label, const char** row);

// Removes categories whose name fails; keeps a matching category even when it
// has no types.
void filterByCategoryName(SnapshotTree& tree, const char** row);
// Removes types whose name fails, then every category without types.
void filterByTypeName(SnapshotTree& tree, const char** row);

// The model-level filters remove each model that fails, then every type left
// without models and every category left without types (also those that were
// empty before the filter).
void filterByModelName(SnapshotTree& tree, const char** row);
void filterByModelDescription(SnapshotTree& tree, const char** row);
// A model is kept when at least one name of the list contains the value; a
// model with an empty list (a snapshot without details) is removed.
void filterByModelParameterName(SnapshotTree& tree, const char** row);
void filterByModelSpecieName(SnapshotTree& tree, const char** row);
void filterByModelPortName(SnapshotTree& tree, const char** row);

}  // namespace VLT_121
