#include "browse/Criteria.h"

#include <cstring>

namespace VLT_121 {

namespace {

constexpr const char* kOperatorContains = "contains";

struct LabelEntry {
  CriterionLabel label;
  const char* text;
};

constexpr LabelEntry kLabels[] = {
    {CriterionLabel::kCategoryName, "Category name"},
    {CriterionLabel::kTypeName, "Type name"},
    {CriterionLabel::kModelName, "Model name"},
    {CriterionLabel::kModelDescription, "Model description"},
    {CriterionLabel::kModelParameterName, "A model parameter name"},
    {CriterionLabel::kModelSpecieName, "A model specie name"},
    {CriterionLabel::kModelPortName, "A model port name"},
};

}  // namespace

const char* criterionLabelText(CriterionLabel label) {
  for (const LabelEntry& entry : kLabels) {
    if (entry.label == label) return entry.text;
  }
  return "";
}

std::optional<CriterionLabel> findCriterionLabel(const char* text) {
  if (text == nullptr) return std::nullopt;
  for (const LabelEntry& entry : kLabels) {
    if (std::strcmp(entry.text, text) == 0) return entry.label;
  }
  return std::nullopt;
}

bool isEffectiveRow(const char** row, CriterionLabel label) {
  // Slots are read in order and only while the earlier ones hold, so a row
  // cut short by a null label or operator is not read past its end.
  if (row == nullptr || row[0] == nullptr) return false;
  if (std::strcmp(row[0], criterionLabelText(label)) != 0) return false;
  if (row[1] == nullptr || std::strcmp(row[1], kOperatorContains) != 0) return false;
  if (row[2] == nullptr || row[2][0] == '\0') return false;
  return row[3] == nullptr;
}

bool isModelDetailLabel(CriterionLabel label) {
  return label == CriterionLabel::kModelParameterName || label == CriterionLabel::kModelSpecieName ||
         label == CriterionLabel::kModelPortName;
}

}  // namespace VLT_121
