// The name listings read from a hand-built snapshot tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/NameListings.h"

namespace VLT_121 {
namespace {

CSnapshotModel model(std::string name, std::vector<CSnapshotSolver> solvers = {}) {
  CSnapshotModel result;
  result.m_strName = std::move(name);
  result.m_vecSolvers = std::move(solvers);
  return result;
}

using Names = std::vector<std::string>;

// Category A is empty; B/T holds M1 (solver S with two instances) and M2.
CBrowseState sampleState() {
  CBrowseState state;
  state.m_vecSnapshot = {
      CSnapshotCategory{"A", {}},
      CSnapshotCategory{
          "B",
          {CSnapshotType{
              "T", {model("M1", {CSnapshotSolver{"S", {"000000002-9", "000000001-3"}}}), model("M2")}}}},
  };
  return state;
}

TEST(NameListings, LevelsAreListedInSnapshotOrder) {
  CBrowseState state = sampleState();
  EXPECT_TRUE(listCategoryNames(state));
  EXPECT_EQ(state.m_vecCategoryNames, (Names{"A", "B"}));
  EXPECT_TRUE(listTypeNames(state, "B"));
  EXPECT_EQ(state.m_vecTypeNames, (Names{"T"}));
  EXPECT_TRUE(listModelNames(state, "B", "T"));
  EXPECT_EQ(state.m_vecModelNames, (Names{"M1", "M2"}));
  EXPECT_TRUE(listSolverNames(state, "B", "T", "M1"));
  EXPECT_EQ(state.m_vecSolverNames, (Names{"S"}));
  EXPECT_TRUE(listInstanceNames(state, "B", "T", "M1", "S"));
  EXPECT_EQ(state.m_vecInstanceNames, (Names{"000000002-9", "000000001-3"}));
}

TEST(NameListings, EmptyLevelListsNothingAndReturnsFalse) {
  CBrowseState state = sampleState();
  EXPECT_FALSE(listTypeNames(state, "A"));
  EXPECT_FALSE(listSolverNames(state, "B", "T", "M2"));
  EXPECT_TRUE(state.m_vecSolverNames.empty());
}

TEST(NameListings, NameThatMatchesNothingEmptiesAListThatHeldNames) {
  CBrowseState state = sampleState();
  ASSERT_TRUE(listTypeNames(state, "B"));
  EXPECT_FALSE(listTypeNames(state, "b"));  // case-sensitive
  EXPECT_TRUE(state.m_vecTypeNames.empty());
  ASSERT_TRUE(listModelNames(state, "B", "T"));
  EXPECT_FALSE(listModelNames(state, "B", "T "));  // whole name only
  EXPECT_TRUE(state.m_vecModelNames.empty());
}

TEST(NameListings, MissingLinkAtAnyLevelOrNullNameListsNothing) {
  CBrowseState state = sampleState();
  EXPECT_FALSE(listInstanceNames(state, "X", "T", "M1", "S"));
  EXPECT_FALSE(listInstanceNames(state, "B", "X", "M1", "S"));
  EXPECT_FALSE(listInstanceNames(state, "B", "T", "X", "S"));
  EXPECT_FALSE(listInstanceNames(state, "B", "T", "M1", "X"));
  EXPECT_FALSE(listInstanceNames(state, "B", "T", "M1", nullptr));
  EXPECT_FALSE(listTypeNames(state, nullptr));
}

TEST(NameListings, FirstOfTwoEqualNamesIsUsedAndDuplicatesAreKept) {
  CBrowseState state;
  state.m_vecSnapshot = {CSnapshotCategory{"C", {CSnapshotType{"First", {}}}},
                         CSnapshotCategory{"C", {CSnapshotType{"Second", {}}}}};
  EXPECT_TRUE(listCategoryNames(state));
  EXPECT_EQ(state.m_vecCategoryNames, (Names{"C", "C"}));
  EXPECT_TRUE(listTypeNames(state, "C"));
  EXPECT_EQ(state.m_vecTypeNames, (Names{"First"}));
}

TEST(NameListings, ModelLeavesNameEveryModelAndEveryEmptyCategoryOrType) {
  CBrowseState state = sampleState();
  state.m_vecSnapshot.push_back(CSnapshotCategory{"C", {CSnapshotType{"Empty", {}}}});
  EXPECT_TRUE(listModelLeafNames(state));
  EXPECT_EQ(state.m_vecLeafNames, (Names{"A", "B/T/M1", "B/T/M2", "C/Empty"}));
}

TEST(NameListings, SolverLeavesNameEverySolverAndEveryModelWithoutSolvers) {
  CBrowseState state = sampleState();
  EXPECT_TRUE(listSolverLeafNames(state));
  EXPECT_EQ(state.m_vecLeafNames, (Names{"A", "B/T/M1/S", "B/T/M2"}));
}

TEST(NameListings, LaterLeafListingReplacesTheEarlierOne) {
  CBrowseState state = sampleState();
  state.m_vecSnapshot[1].m_vecTypes[0].m_vecModels[1].m_vecSolvers = {CSnapshotSolver{"S2", {}},
                                                                      CSnapshotSolver{"S3", {}}};
  ASSERT_TRUE(listModelLeafNames(state));
  ASSERT_TRUE(listSolverLeafNames(state));
  EXPECT_EQ(state.m_vecLeafNames, (Names{"A", "B/T/M1/S", "B/T/M2/S2", "B/T/M2/S3"}));
}

TEST(NameListings, FillingOneListLeavesTheOthersAndTheirTextsAlone) {
  CBrowseState state = sampleState();
  ASSERT_TRUE(listTypeNames(state, "B"));
  const char* typeName = nameAt(state.m_vecTypeNames, 0);
  listCategoryNames(state);
  listModelNames(state, "B", "T");
  listSolverLeafNames(state);
  EXPECT_STREQ(typeName, "T");
  EXPECT_EQ(typeName, nameAt(state.m_vecTypeNames, 0));
}

TEST(NameListings, ListsOutliveTheSnapshotTheyWereReadFrom) {
  CBrowseState state = sampleState();
  ASSERT_TRUE(listModelNames(state, "B", "T"));
  state.m_vecSnapshot.clear();
  EXPECT_EQ(state.m_vecModelNames, (Names{"M1", "M2"}));
  EXPECT_FALSE(listCategoryNames(state));
  EXPECT_FALSE(listModelLeafNames(state));
}

TEST(NameListings, IndexOutsideTheListGivesNull) {
  const Names names = {"x", "y"};
  EXPECT_STREQ(nameAt(names, 1), "y");
  EXPECT_EQ(nameAt(names, 2), nullptr);
  EXPECT_EQ(nameAt(names, -1), nullptr);
  EXPECT_EQ(nameAt(Names{}, 0), nullptr);
}

}  // namespace
}  // namespace VLT_121
