// Criteria rows and the snapshot filters, on hand-built trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browse/Criteria.h"
#include "browse/Snapshot.h"
#include "browse/SnapshotFilter.h"

namespace VLT_121 {
namespace {

CSnapshotModel model(std::string name, std::string description = "", std::vector<std::string> species = {},
                     std::vector<std::string> ports = {}, std::vector<std::string> parameters = {}) {
  CSnapshotModel result;
  result.m_strName = std::move(name);
  result.m_strDescription = std::move(description);
  result.m_vecSpecies = std::move(species);
  result.m_vecPorts = std::move(ports);
  result.m_vecParameters = std::move(parameters);
  return result;
}

CSnapshotType type(std::string name, std::vector<CSnapshotModel> models = {}) {
  return CSnapshotType{std::move(name), std::move(models)};
}

CSnapshotCategory category(std::string name, std::vector<CSnapshotType> types = {}) {
  return CSnapshotCategory{std::move(name), std::move(types)};
}

// Every entry of the tree as "category", "category/type" or
// "category/type/model", parents first, in tree order.
std::vector<std::string> shape(const SnapshotTree& tree) {
  std::vector<std::string> entries;
  for (const CSnapshotCategory& c : tree) {
    entries.push_back(c.m_strName);
    for (const CSnapshotType& t : c.m_vecTypes) {
      entries.push_back(c.m_strName + "/" + t.m_strName);
      for (const CSnapshotModel& m : t.m_vecModels)
        entries.push_back(c.m_strName + "/" + t.m_strName + "/" + m.m_strName);
    }
  }
  return entries;
}

// A criteria array the way a host builds it: rows of four slots, null-ended.
class Criteria {
 public:
  Criteria& row(const char* label, const char* op, const char* value, const char* end = nullptr) {
    m_rows.push_back(std::vector<const char*>{label, op, value, end});
    return *this;
  }
  const char*** get() {
    m_pointers.clear();
    for (auto& r : m_rows) m_pointers.push_back(r.data());
    m_pointers.push_back(nullptr);
    return m_pointers.data();
  }

 private:
  std::vector<std::vector<const char*>> m_rows;
  std::vector<const char**> m_pointers;
};

// Pumps/Centrifugal holds CentrifugalPump, pump, Valve; Pumps/Empty has no
// models; Mixers has no types; Heat/Exchangers holds Shell.
SnapshotTree sampleTree() {
  return {category("Pumps", {type("Centrifugal",
                                  {model("CentrifugalPump", "moves liquid", {"H2O"}, {"inlet"}, {"speed"}),
                                   model("pump"), model("Valve", "throttles", {}, {"outlet"})}),
                             type("Empty")}),
          category("Mixers"),
          category("Heat", {type("Exchangers", {model("Shell", "Pump heat", {"N2", "H2O"}, {}, {"area"})})})};
}

// ---- rows ---------------------------------------------------------------------

TEST(CriteriaRow, WellFormedRowTakesEffectForItsOwnLabelOnly) {
  const char* row[] = {"Model name", "contains", "Pump", nullptr};
  EXPECT_TRUE(isEffectiveRow(row, CriterionLabel::kModelName));
  EXPECT_FALSE(isEffectiveRow(row, CriterionLabel::kCategoryName));
}

TEST(CriteriaRow, MalformedRowsTakeNoEffect) {
  const char* capitalised[] = {"Model name", "Contains", "Pump", nullptr};
  const char* equals[] = {"Model name", "equals", "Pump", nullptr};
  const char* emptyValue[] = {"Model name", "contains", "", nullptr};
  const char* nullValue[] = {"Model name", "contains", nullptr, nullptr};
  const char* noEndMarker[] = {"Model name", "contains", "Pump", "extra"};
  for (const char** row : {capitalised, equals, emptyValue, nullValue, noEndMarker}) {
    EXPECT_FALSE(isEffectiveRow(row, CriterionLabel::kModelName)) << row[1];
  }
}

TEST(CriteriaRow, RowCutShortByNullIsNotReadPastItsEnd) {
  // Arrays sized exactly, so AddressSanitizer reports any read beyond them.
  const char* noLabel[] = {nullptr};
  const char* noOperator[] = {"Model name", nullptr};
  EXPECT_FALSE(isEffectiveRow(noLabel, CriterionLabel::kModelName));
  EXPECT_FALSE(isEffectiveRow(noOperator, CriterionLabel::kModelName));
  EXPECT_FALSE(isEffectiveRow(nullptr, CriterionLabel::kModelName));
}

TEST(CriteriaRow, LabelsAreMatchedExactlyAndCaseSensitively) {
  EXPECT_EQ(findCriterionLabel("A model specie name"), CriterionLabel::kModelSpecieName);
  EXPECT_EQ(findCriterionLabel("Type name"), CriterionLabel::kTypeName);
  EXPECT_FALSE(findCriterionLabel("model name"));
  EXPECT_FALSE(findCriterionLabel("Model name "));
  EXPECT_FALSE(findCriterionLabel(nullptr));
}

// ---- which criteria make the snapshot read model details ------------------------

TEST(SnapshotDetails, NoCriteriaOrOnlyNameRowsReadNoDetails) {
  EXPECT_FALSE(criteriaNeedModelDetails(nullptr));
  Criteria names;
  names.row("Model name", "contains", "P").row("Category name", "contains", "C");
  EXPECT_FALSE(criteriaNeedModelDetails(names.get()));
}

TEST(SnapshotDetails, AnyDetailLabelReadsDetailsEvenInARowTheFilterRejects) {
  for (const char* label : {"A model parameter name", "A model specie name", "A model port name"}) {
    Criteria criteria;
    criteria.row("Model name", "contains", "P").row(label, "equals", "", "not null");
    EXPECT_TRUE(criteriaNeedModelDetails(criteria.get())) << label;
  }
}

TEST(SnapshotDetails, RowsAfterTheNullEndAreNotLookedAt) {
  const char* name[] = {"Model name", "contains", "P", nullptr};
  const char* port[] = {"A model port name", "contains", "in", nullptr};
  const char** rows[] = {name, nullptr, port};
  EXPECT_FALSE(criteriaNeedModelDetails(rows));
}

// ---- filters ------------------------------------------------------------------

TEST(SnapshotFilter, ModelNameKeepsContainingModelsAndPrunesEveryEmptiedOrEmptyLevel) {
  SnapshotTree tree = sampleTree();
  Criteria criteria;
  criteria.row("Model name", "contains", "Pump");
  filterSnapshot(tree, criteria.get());
  // "pump" differs in case; Pumps/Empty and Mixers were empty already.
  EXPECT_EQ(shape(tree),
            (std::vector<std::string>{"Pumps", "Pumps/Centrifugal", "Pumps/Centrifugal/CentrifugalPump"}));
}

TEST(SnapshotFilter, ValueMatchesAtAnyPositionAndAsTheWholeField) {
  SnapshotTree tree = {
      category("C", {type("T", {model("Pump"), model("PumpA"), model("APump"), model("Pum")})})};
  Criteria criteria;
  criteria.row("Model name", "contains", "Pump");
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree), (std::vector<std::string>{"C", "C/T", "C/T/Pump", "C/T/PumpA", "C/T/APump"}));
}

TEST(SnapshotFilter, CategoryNameKeepsAMatchingCategoryWithoutTypes) {
  SnapshotTree tree = sampleTree();
  Criteria criteria;
  criteria.row("Category name", "contains", "ers");
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree), (std::vector<std::string>{"Mixers"}));
}

TEST(SnapshotFilter, CategoryNameLeavesTypesAndModelsOfKeptCategories) {
  SnapshotTree tree = sampleTree();
  Criteria criteria;
  criteria.row("Category name", "contains", "Pumps");
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree),
            (std::vector<std::string>{"Pumps", "Pumps/Centrifugal", "Pumps/Centrifugal/CentrifugalPump",
                                      "Pumps/Centrifugal/pump", "Pumps/Centrifugal/Valve", "Pumps/Empty"}));
}

TEST(SnapshotFilter, TypeNameRemovesFailingTypesAndCategoriesLeftWithoutTypes) {
  SnapshotTree tree = sampleTree();
  Criteria criteria;
  criteria.row("Type name", "contains", "Empty");
  filterSnapshot(tree, criteria.get());
  // A kept type keeps its models, even none; Mixers had no types and goes.
  EXPECT_EQ(shape(tree), (std::vector<std::string>{"Pumps", "Pumps/Empty"}));
}

TEST(SnapshotFilter, ModelDescriptionTestsTheDescriptionNotTheName) {
  SnapshotTree tree = sampleTree();
  Criteria criteria;
  criteria.row("Model description", "contains", "Pump");
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree), (std::vector<std::string>{"Heat", "Heat/Exchangers", "Heat/Exchangers/Shell"}));
}

TEST(SnapshotFilter, DetailFiltersKeepModelsWithAnyMatchingNameAndDropModelsWithoutNames) {
  struct Case {
    const char* label;
    const char* value;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"A model specie name", "H2", {"Pumps/Centrifugal/CentrifugalPump", "Heat/Exchangers/Shell"}},
      {"A model port name", "let", {"Pumps/Centrifugal/CentrifugalPump", "Pumps/Centrifugal/Valve"}},
      {"A model parameter name", "area", {"Heat/Exchangers/Shell"}},
  };
  for (const Case& c : cases) {
    SnapshotTree tree = sampleTree();
    Criteria criteria;
    criteria.row(c.label, "contains", c.value);
    filterSnapshot(tree, criteria.get());
    std::vector<std::string> models;
    for (const std::string& entry : shape(tree)) {
      if (std::count(entry.begin(), entry.end(), '/') == 2) models.push_back(entry);
    }
    EXPECT_EQ(models, c.kept) << c.label;
  }
}

TEST(SnapshotFilter, DetailFilterOnATreeWithoutDetailsEmptiesIt) {
  SnapshotTree tree = {category("C", {type("T", {model("Pump", "has no details read")})})};
  Criteria criteria;
  criteria.row("A model port name", "contains", "in");
  filterSnapshot(tree, criteria.get());
  EXPECT_TRUE(tree.empty());
}

TEST(SnapshotFilter, MalformedAndUnknownRowsChangeNothing) {
  Criteria criteria;
  criteria.row("Model name", "Contains", "Pump")
      .row("Model name", "equals", "Pump")
      .row("Model name", "contains", "")
      .row("Model name", "contains", "Pump", "Pump")
      .row("Vendor name", "contains", "Pump");
  SnapshotTree tree = sampleTree();
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree), shape(sampleTree()));
}

TEST(SnapshotFilter, RowsCombineAsAConjunction) {
  SnapshotTree tree = {category("Alpha", {type("T", {model("Beta"), model("Gamma")})}),
                       category("Other", {type("T", {model("Beta")})})};
  Criteria criteria;
  criteria.row("Category name", "contains", "A").row("Model name", "contains", "B");
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree), (std::vector<std::string>{"Alpha", "Alpha/T", "Alpha/T/Beta"}));
}

TEST(SnapshotFilter, TwoRowsWithOneLabelBothApply) {
  SnapshotTree tree = {category("C", {type("T", {model("AB"), model("A"), model("B")})})};
  Criteria criteria;
  criteria.row("Model name", "contains", "A").row("Model name", "contains", "B");
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree), (std::vector<std::string>{"C", "C/T", "C/T/AB"}));
}

TEST(SnapshotFilter, RemainingEntriesKeepTheirOrderAndSubtrees) {
  CSnapshotModel withSolver = model("P2");
  withSolver.m_vecSolvers.push_back(CSnapshotSolver{"S", {"000000001-5"}});
  SnapshotTree tree = {category("C", {type("T", {model("P3"), model("x"), withSolver, model("P1")})})};
  Criteria criteria;
  criteria.row("Model name", "contains", "P");
  filterSnapshot(tree, criteria.get());
  EXPECT_EQ(shape(tree), (std::vector<std::string>{"C", "C/T", "C/T/P3", "C/T/P2", "C/T/P1"}));
  ASSERT_EQ(tree[0].m_vecTypes[0].m_vecModels[1].m_vecSolvers.size(), 1u);
  EXPECT_EQ(tree[0].m_vecTypes[0].m_vecModels[1].m_vecSolvers[0].m_vecInstances[0], "000000001-5");
}

TEST(SnapshotFilter, EachFilterIgnoresRowsOfAnotherLabel) {
  const char* row[] = {"Category name", "contains", "zzz", nullptr};
  SnapshotTree tree = sampleTree();
  filterByModelName(tree, row);
  filterByTypeName(tree, row);
  filterByModelPortName(tree, row);
  EXPECT_EQ(shape(tree), shape(sampleTree()));
}

TEST(SnapshotFilter, NullCriteriaChangeNothing) {
  SnapshotTree tree = sampleTree();
  filterSnapshot(tree, nullptr);
  EXPECT_EQ(shape(tree), shape(sampleTree()));
}

}  // namespace
}  // namespace VLT_121
