// Browsing without a server: criteria rows and the snapshot filters on
// hand-built trees, and the name listings. What the snapshot walk reads from
// the server (each folder once, details only when a criterion needs them) is
// shown through the handle in api/BrowseTest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/Criteria.h"
#include "browse/NameListings.h"
#include "browse/Snapshot.h"
#include "browse/SnapshotFilter.h"

namespace VLT_121 {
namespace {

using Names = std::vector<std::string>;

CSnapshotModel model(std::string name, std::vector<CSnapshotSolver> solvers = {}) {
  return {std::move(name), "", {}, {}, {}, std::move(solvers)};
}

// Every entry as "category", "category/type" or "category/type/model", in tree order.
Names shape(const SnapshotTree& tree) {
  Names entries;
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

// A criteria array as a host builds it: rows of four slots, null-ended.
struct Criteria {
  explicit Criteria(std::vector<std::vector<const char*>> texts) : rows(std::move(texts)) {}
  const char*** get() {
    pointers.clear();
    for (auto& row : rows) pointers.push_back(row.data());
    pointers.push_back(nullptr);
    return pointers.data();
  }
  std::vector<std::vector<const char*>> rows;
  std::vector<const char**> pointers;
};

// Pumps/Centrifugal holds CentrifugalPump (a solver with an instance), pump,
// Valve, PumpA; Pumps/Empty has no models; Mixers has no types;
// Heat/Exchangers holds Shell. (The filters on a model's description and
// details: api/BrowseTest, on the server's snapshot.)
SnapshotTree sampleTree() {
  return {{"Pumps",
           {{"Centrifugal",
             {model("CentrifugalPump", {{"S", {"000000001-5"}}}), model("pump"), model("Valve"), model("PumpA")}},
            {"Empty", {}}}},
          {"Mixers", {}},
          {"Heat", {{"Exchangers", {model("Shell")}}}}};
}

TEST(Criteria, RowsTakeEffectOnlyWellFormedAndForTheirLabel) {
  const char* good[] = {"Model name", "contains", "Pump", nullptr};
  EXPECT_TRUE(isEffectiveRow(good, CriterionLabel::kModelName));
  EXPECT_FALSE(isEffectiveRow(good, CriterionLabel::kCategoryName));
  // (A capitalised operator, an empty value, a fifth slot: the filter's malformed rows.)
  const char* equals[] = {"Model name", "equals", "Pump", nullptr};
  const char* nullValue[] = {"Model name", "contains", nullptr, nullptr};
  // Sized exactly, so that the sanitizers report a read beyond them.
  const char* noLabel[] = {nullptr};
  const char* noOperator[] = {"Model name", nullptr};
  for (const char** row : {equals, nullValue, noLabel, noOperator})
    EXPECT_FALSE(isEffectiveRow(row, CriterionLabel::kModelName)) << row[0];
  EXPECT_FALSE(isEffectiveRow(nullptr, CriterionLabel::kModelName));
  EXPECT_EQ(findCriterionLabel("A model specie name"), CriterionLabel::kModelSpecieName);
  for (const char* text : {"model name", "Model name ", static_cast<const char*>(nullptr)})
    EXPECT_FALSE(findCriterionLabel(text));

  // Details are read for any detail label, even in a row the filter rejects,
  // and rows after the null end are not looked at.
  EXPECT_FALSE(criteriaNeedModelDetails(nullptr));
  Criteria names({{"Model name", "contains", "P", nullptr}, {"Category name", "contains", "C", nullptr}});
  EXPECT_FALSE(criteriaNeedModelDetails(names.get()));
  for (const char* label : {"A model parameter name", "A model specie name", "A model port name"}) {
    Criteria details({{"Model name", "contains", "P", nullptr}, {label, "equals", "", "not null"}});
    EXPECT_TRUE(criteriaNeedModelDetails(details.get())) << label;
  }
  const char* name[] = {"Model name", "contains", "P", nullptr};
  const char* port[] = {"A model port name", "contains", "in", nullptr};
  const char** afterEnd[] = {name, nullptr, port};
  EXPECT_FALSE(criteriaNeedModelDetails(afterEnd));
}

TEST(SnapshotFilter, KeepsMatchesAndPrunesEmptiedLevels) {
  const Names all = shape(sampleTree());
  const std::pair<std::vector<std::vector<const char*>>, Names> rows[] = {  // criteria, the tree's shape after
      // A value matches anywhere in the name; "pump" differs in case; Pumps/Empty and Mixers were empty already.
      {{{"Model name", "contains", "Pump", nullptr}},
       {"Pumps", "Pumps/Centrifugal", "Pumps/Centrifugal/CentrifugalPump", "Pumps/Centrifugal/PumpA"}},
      {{{"Category name", "contains", "ers", nullptr}}, {"Mixers"}},
      {{{"Category name", "contains", "Pumps", nullptr}},  // types and models of a kept category stay
       {"Pumps", "Pumps/Centrifugal", "Pumps/Centrifugal/CentrifugalPump", "Pumps/Centrifugal/pump",
        "Pumps/Centrifugal/Valve", "Pumps/Centrifugal/PumpA", "Pumps/Empty"}},
      {{{"Type name", "contains", "Empty", nullptr}}, {"Pumps", "Pumps/Empty"}},
      // Rows combine as a conjunction, also two of one label.
      {{{"Category name", "contains", "Pumps", nullptr}, {"Model name", "contains", "e", nullptr},
        {"Model name", "contains", "V", nullptr}},
       {"Pumps", "Pumps/Centrifugal", "Pumps/Centrifugal/Valve"}},
      // Malformed and unknown rows change nothing.
      {{{"Model name", "Contains", "Pump", nullptr}, {"Model name", "contains", "", nullptr},
        {"Model name", "contains", "Pump", "Pump"}, {"Vendor name", "contains", "Pump", nullptr}},
       all},
  };
  for (const auto& [texts, expected] : rows) {
    SnapshotTree tree = sampleTree();
    Criteria criteria(texts);
    filterSnapshot(tree, criteria.get());
    EXPECT_EQ(shape(tree), expected) << texts[0][0] << " " << texts[0][2];
  }
  SnapshotTree tree = sampleTree();
  filterSnapshot(tree, nullptr);
  const char* other[] = {"Category name", "contains", "zzz", nullptr};
  filterByModelName(tree, other);
  filterByTypeName(tree, other);
  filterByModelPortName(tree, other);
  EXPECT_EQ(shape(tree), all);
  Criteria pump({{"Model name", "contains", "Pump", nullptr}});  // kept entries keep their subtrees
  filterSnapshot(tree, pump.get());
  EXPECT_EQ(tree[0].m_vecTypes[0].m_vecModels.at(0).m_vecSolvers.at(0).m_vecInstances, (Names{"000000001-5"}));
}

// Each level in snapshot order; whole names only, case-sensitive; nothing
// matched empties the list; lists outlive their snapshot and keep their
// texts in place while other lists fill.
TEST(NameListings, ListEachLevelInSnapshotOrder) {
  CBrowseState state;  // A is empty; B/T holds M1 (solver S with two instances) and M2
  state.m_vecSnapshot = {
      {"A", {}}, {"B", {{"T", {model("M1", {{"S", {"000000002-9", "000000001-3"}}}), model("M2")}}}}};
  EXPECT_TRUE(listCategoryNames(state));
  EXPECT_EQ(state.m_vecCategoryNames, (Names{"A", "B"}));
  EXPECT_TRUE(listTypeNames(state, "B"));
  const char* typeName = nameAt(state.m_vecTypeNames, 0);
  EXPECT_TRUE(listModelNames(state, "B", "T"));
  EXPECT_EQ(state.m_vecModelNames, (Names{"M1", "M2"}));
  EXPECT_TRUE(listSolverNames(state, "B", "T", "M1"));
  EXPECT_EQ(state.m_vecSolverNames, (Names{"S"}));
  EXPECT_TRUE(listInstanceNames(state, "B", "T", "M1", "S"));
  EXPECT_EQ(state.m_vecInstanceNames, (Names{"000000002-9", "000000001-3"}));
  EXPECT_TRUE(listSolverLeafNames(state));
  EXPECT_EQ(state.m_vecLeafNames, (Names{"A", "B/T/M1/S", "B/T/M2"}));
  EXPECT_EQ(typeName, nameAt(state.m_vecTypeNames, 0));
  EXPECT_STREQ(typeName, "T");
  state.m_vecSnapshot.push_back({"C", {{"Empty", {}}}});
  EXPECT_TRUE(listModelLeafNames(state));  // replaces the earlier leaves
  EXPECT_EQ(state.m_vecLeafNames, (Names{"A", "B/T/M1", "B/T/M2", "C/Empty"}));
  EXPECT_STREQ(nameAt(state.m_vecLeafNames, 3), "C/Empty");
  EXPECT_TRUE(nameAt(state.m_vecLeafNames, 4) == nullptr && nameAt(state.m_vecLeafNames, -1) == nullptr);
  EXPECT_FALSE(listTypeNames(state, "A") || listSolverNames(state, "B", "T", "M2"));
  EXPECT_FALSE(listModelNames(state, "B", "T "));
  EXPECT_TRUE(state.m_vecModelNames.empty());
  EXPECT_FALSE(listTypeNames(state, "b") || listTypeNames(state, nullptr));
  EXPECT_TRUE(state.m_vecTypeNames.empty());
  const std::vector<std::vector<const char*>> paths = {
      {"X", "T", "M1", "S"}, {"B", "X", "M1", "S"}, {"B", "T", "X", "S"}, {"B", "T", "M1", "X"}, {"B", "T", "M1", nullptr}};
  for (const auto& p : paths) EXPECT_FALSE(listInstanceNames(state, p[0], p[1], p[2], p[3])) << p[0] << p[1] << p[2];
  state.m_vecSnapshot.clear();
  EXPECT_EQ(state.m_vecLeafNames.size(), 4u);
  EXPECT_FALSE(listCategoryNames(state) || listModelLeafNames(state));
  // The first of two equal names is used; duplicates are listed.
  state.m_vecSnapshot = {{"C", {{"First", {}}}}, {"C", {{"Second", {}}}}};
  EXPECT_TRUE(listCategoryNames(state) && listTypeNames(state, "C"));
  EXPECT_EQ(state.m_vecCategoryNames, (Names{"C", "C"}));
  EXPECT_EQ(state.m_vecTypeNames, (Names{"First"}));
}

}  // namespace
}  // namespace VLT_121
