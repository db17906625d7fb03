// Names of report folders, instances and precomputed-result entries, and the
// number chosen for a new entry.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "results/NumberedNames.h"

using namespace VLT_121;

TEST(ReportFolderName, PadsToNineCharactersIncludingTheSign) {
  EXPECT_EQ(reportFolderName(7), "000000007");
  EXPECT_EQ(reportFolderName(-1), "-00000001");
  EXPECT_EQ(reportFolderName(0), "000000000");
  EXPECT_EQ(reportFolderName(123456789), "123456789");
  EXPECT_EQ(reportFolderName(1234567890), "1234567890");
  EXPECT_EQ(reportFolderName(INT_MIN), "-2147483648");
}

TEST(NumberedEntryName, AppendsTheTimeAsA64BitNumber) {
  EXPECT_EQ(numberedEntryName(3, 1700000000LL), "000000003-1700000000");
  EXPECT_EQ(numberedEntryName(12, 4102444800LL), "000000012-4102444800");  // 2100-01-01
}

TEST(NumberedEntryNumber, ReadsTheFirstNineCharacters) {
  EXPECT_EQ(numberedEntryNumber("000000012-1700000000"), 12);
  EXPECT_EQ(numberedEntryNumber("-00000001-1700000000"), -1);
  EXPECT_EQ(numberedEntryNumber("1234567890-5"), 123456789);
  EXPECT_EQ(numberedEntryNumber("7"), 7);
  EXPECT_EQ(numberedEntryNumber("Instances"), 0);
  EXPECT_EQ(numberedEntryNumber(""), 0);
}

TEST(ChooseEntryNumber, StartsAtOneInAnEmptyFolder) { EXPECT_EQ(chooseEntryNumber({}), 1); }

TEST(ChooseEntryNumber, FillsTheFirstGap) {
  EXPECT_EQ(chooseEntryNumber({"000000004-1", "000000001-1", "000000002-1"}), 3);
}

TEST(ChooseEntryNumber, CountsFromTheSmallestNumberInUse) {
  EXPECT_EQ(chooseEntryNumber({"000000002-1", "000000003-1"}), 4);
  EXPECT_EQ(chooseEntryNumber({"000000002-1", "000000002-9", "000000003-1"}), 4);
}

TEST(ChooseEntryNumber, ReadsNamesWithoutDigitsAsZero) {
  EXPECT_EQ(chooseEntryNumber({"notes", "other"}), 1);
  EXPECT_EQ(chooseEntryNumber({"notes", "000000001-1"}), 2);
}
