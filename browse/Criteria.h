// Criteria rows of the catalogue search. The host passes a null-terminated
// array of rows; a row is {label, "contains", value, null}. Rows belong to
// the host and are only read.
#pragma once

#include <optional>

namespace VLT_121 {

// The seven labels a row may carry, in the order the filters try them.
enum class CriterionLabel {
  kCategoryName,
  kTypeName,
  kModelName,
  kModelDescription,
  kModelParameterName,
  kModelSpecieName,
  kModelPortName,
};

// The exact text rows carry for `label`.
const char* criterionLabelText(CriterionLabel label);

// The label whose text equals `text` byte for byte, or none (also for null).
std::optional<CriterionLabel> findCriterionLabel(const char* text);

// True when `row` takes effect as a criterion with `label`: slot 0 is that
// label, slot 1 is exactly "contains", slot 2 is a non-empty value and slot 3
// is the null end marker. A null row takes no effect.
bool isEffectiveRow(const char** row, CriterionLabel label);

// True for the labels that test a model's species, port or parameter names,
// which a snapshot holds only when it was taken with details.
bool isModelDetailLabel(CriterionLabel label);

}  // namespace VLT_121
