// The backup properties file: the bytes the backup writes and how the restore
// reads them back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/BackupPropertiesFile.h"

namespace {

using VLT_121::BackupPropertiesFile;
using VLT_121::BackupProperty;
using VLT_121::BackupPropertyKind;

const std::string kMarker = "EF64F6C7-2C4F-4559-9ADF-61B0C85169CF";

// Joins tokens, each followed by one zero byte.
std::string tokens(const std::vector<std::string>& items) {
  std::string bytes;
  for (const std::string& item : items) {
    bytes += item;
    bytes += '\0';
  }
  return bytes;
}

BackupProperty stringProperty(const std::string& name, const std::string& text) {
  BackupProperty property;
  property.name = name;
  property.kind = BackupPropertyKind::String;
  property.text = text;
  return property;
}

BackupProperty integerProperty(const std::string& name, long number) {
  BackupProperty property;
  property.name = name;
  property.kind = BackupPropertyKind::Integer;
  property.number = number;
  return property;
}

BackupProperty listProperty(const std::string& name, const std::vector<std::string>& list) {
  BackupProperty property;
  property.name = name;
  property.kind = BackupPropertyKind::List;
  property.list = list;
  return property;
}

BackupPropertiesFile parse(const std::string& bytes) {
  BackupPropertiesFile file;
  EXPECT_TRUE(VLT_121::parseBackupProperties(bytes, file));
  return file;
}

// ---- names -------------------------------------------------------------------

TEST(BackupNames, FileNameAndDirectorySuffixCarryTheMarker) {
  EXPECT_EQ(std::string(VLT_121::kBackupFolderMarker), kMarker);
  EXPECT_EQ(VLT_121::backupPropertiesFileName(), "TALIX_BackedUp_Properties_" + kMarker);
  EXPECT_EQ(VLT_121::backupDirectorySuffix(), "_" + kMarker);
  EXPECT_EQ(VLT_121::backupDirectorySuffix().size(), 37u);
}

TEST(BackupNames, SuffixIsCutOnlyFromLongerNamesEndingWithIt) {
  const std::string suffix = "_" + kMarker;
  EXPECT_EQ(VLT_121::withoutBackupDirectorySuffix("/Repository/a:b" + suffix), "/Repository/a:b");
  EXPECT_EQ(VLT_121::withoutBackupDirectorySuffix(suffix), suffix);
  EXPECT_EQ(VLT_121::withoutBackupDirectorySuffix("/R/x" + suffix + "/y"), "/R/x" + suffix + "/y");
  EXPECT_EQ(VLT_121::withoutBackupDirectorySuffix("/R/plain"), "/R/plain");
}

TEST(BackupNames, KindFollowsTheNamePrefix) {
  EXPECT_EQ(VLT_121::backupPropertyKind("m_szName"), BackupPropertyKind::String);
  EXPECT_EQ(VLT_121::backupPropertyKind("m_iNrPorts"), BackupPropertyKind::Integer);
  EXPECT_EQ(VLT_121::backupPropertyKind("m_aszComponents"), BackupPropertyKind::List);
  EXPECT_EQ(VLT_121::backupPropertyKind("m_dValue"), BackupPropertyKind::Ignored);
  EXPECT_EQ(VLT_121::backupPropertyKind("m_"), BackupPropertyKind::Ignored);
  EXPECT_EQ(VLT_121::backupPropertyKind("szName"), BackupPropertyKind::Ignored);
  EXPECT_EQ(VLT_121::backupPropertyKind(""), BackupPropertyKind::Ignored);
}

TEST(BackupNames, DepthCountsSlashes) {
  EXPECT_EQ(VLT_121::slashDepth("/Repository/talixdb/Cat"), 3);
  EXPECT_EQ(VLT_121::slashDepth("/Repository/talixdb"), 2);
  EXPECT_EQ(VLT_121::slashDepth("nothing"), 0);
  EXPECT_EQ(VLT_121::slashDepth("a\\b"), 0);
}

// ---- writing -----------------------------------------------------------------

TEST(BackupWriter, WritesNameAndValueTokensEachWithOneZeroByte) {
  const std::string bytes = VLT_121::formatBackupProperties(
      3, {stringProperty("m_szName", "Pump"), integerProperty("m_iNrPorts", 2),
          listProperty("m_aszComponents", {"water", "air"})});
  const char kAfterMarker[] =
      "\0" "3\0" "m_szName\0" "Pump\0" "m_iNrPorts\0" "2\0" "m_aszComponents\0" "water\0" "air\0";
  const std::string expected = kMarker + std::string(kAfterMarker, sizeof kAfterMarker - 1);
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(bytes.size(), 36u + 56u);
}

TEST(BackupWriter, EmptyFolderHoldsMarkerAndDepthOnly) {
  EXPECT_EQ(VLT_121::formatBackupProperties(2, {}), tokens({kMarker, "2"}));
}

TEST(BackupWriter, EmptyValuesAndListsWriteNoElements) {
  EXPECT_EQ(VLT_121::formatBackupProperties(
                1, {stringProperty("m_szDescription", ""), listProperty("m_aszOptions", {}),
                    integerProperty("m_iNrOptions", 0), integerProperty("m_iDelta", -7)}),
            tokens({kMarker, "1", "m_szDescription", "", "m_aszOptions", "m_iNrOptions", "0",
                    "m_iDelta", "-7"}));
}

TEST(BackupWriter, LeavesOutNamesOfOtherKinds) {
  BackupProperty other = stringProperty("m_dWeight", "1.5");
  BackupProperty plain = stringProperty("Owner", "root");
  EXPECT_EQ(VLT_121::formatBackupProperties(4, {other, stringProperty("m_szName", "x"), plain}),
            tokens({kMarker, "4", "m_szName", "x"}));
}

TEST(BackupWriter, KindComesFromTheNameNotTheMember) {
  BackupProperty mislabelled = listProperty("m_szName", {"ignored"});
  mislabelled.text = "Pump";
  EXPECT_EQ(VLT_121::formatBackupProperties(0, {mislabelled}),
            tokens({kMarker, "0", "m_szName", "Pump"}));
}

// ---- reading -----------------------------------------------------------------

TEST(BackupReader, ReadsBackWhatTheWriterWrote) {
  const BackupPropertiesFile file = parse(VLT_121::formatBackupProperties(
      3, {stringProperty("m_szName", "Pump"), integerProperty("m_iNrPorts", 2),
          listProperty("m_aszComponents", {"water", "air"})}));
  EXPECT_EQ(file.marker, kMarker);
  EXPECT_EQ(file.depth, 3);
  ASSERT_EQ(file.properties.size(), 3u);
  EXPECT_EQ(file.properties[0].name, "m_szName");
  EXPECT_EQ(file.properties[0].kind, BackupPropertyKind::String);
  EXPECT_EQ(file.properties[0].text, "Pump");
  EXPECT_EQ(file.properties[1].name, "m_iNrPorts");
  EXPECT_EQ(file.properties[1].kind, BackupPropertyKind::Integer);
  EXPECT_EQ(file.properties[1].number, 2);
  EXPECT_EQ(file.properties[2].name, "m_aszComponents");
  EXPECT_EQ(file.properties[2].kind, BackupPropertyKind::List);
  EXPECT_EQ(file.properties[2].list, (std::vector<std::string>{"water", "air"}));
}

TEST(BackupReader, PropertiesWithoutValuesGetTheirDefaults) {
  const BackupPropertiesFile file = parse(VLT_121::formatBackupProperties(
      1, {stringProperty("m_szDescription", ""), listProperty("m_aszOptions", {}),
          integerProperty("m_iNrOptions", 5)}) + tokens({"m_iNrPorts"}));
  ASSERT_EQ(file.properties.size(), 4u);
  EXPECT_EQ(file.properties[0].text, "");
  EXPECT_TRUE(file.properties[1].list.empty());
  EXPECT_EQ(file.properties[2].number, 5);
  EXPECT_EQ(file.properties[3].name, "m_iNrPorts");
  EXPECT_EQ(file.properties[3].number, -1);
}

TEST(BackupReader, ListEndsWhereTheNextNameBegins) {
  const BackupPropertiesFile file =
      parse(tokens({kMarker, "2", "m_aszA", "1", "2", "m_aszB", "m_aszC", "3"}));
  ASSERT_EQ(file.properties.size(), 3u);
  EXPECT_EQ(file.properties[0].list, (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(file.properties[1].list.empty());
  EXPECT_EQ(file.properties[2].list, (std::vector<std::string>{"3"}));
}

TEST(BackupReader, EmptyTokensAreSkippedSoEmptyListItemsAreLost) {
  const BackupPropertiesFile file = parse(VLT_121::formatBackupProperties(
      1, {listProperty("m_aszComponents", {"water", "", "air"}), stringProperty("m_szName", "")}));
  ASSERT_EQ(file.properties.size(), 2u);
  EXPECT_EQ(file.properties[0].list, (std::vector<std::string>{"water", "air"}));
  EXPECT_EQ(file.properties[1].text, "");
}

TEST(BackupReader, LastValueWinsForStringsAndIntegers) {
  const BackupPropertiesFile file =
      parse(tokens({kMarker, "1", "m_szName", "a", "b", "m_iNr", "4", "x9", "12abc"}));
  ASSERT_EQ(file.properties.size(), 2u);
  EXPECT_EQ(file.properties[0].text, "b");
  EXPECT_EQ(file.properties[1].number, 12);
}

TEST(BackupReader, IntegerValuesReadLikeAtol) {
  const BackupPropertiesFile file = parse(
      tokens({kMarker, " 7", "m_iA", "-3", "m_iB", "word", "m_iC", "99999999999999999999999"}));
  EXPECT_EQ(file.depth, 7);
  ASSERT_EQ(file.properties.size(), 3u);
  EXPECT_EQ(file.properties[0].number, -3);
  EXPECT_EQ(file.properties[1].number, 0);
  EXPECT_GT(file.properties[2].number, 0);
}

TEST(BackupReader, OtherMPrefixedNamesAreDroppedWithTheirValues) {
  const BackupPropertiesFile file =
      parse(tokens({kMarker, "1", "m_dWeight", "1.5", "2.5", "m_szName", "Pump", "m_x", "y"}));
  ASSERT_EQ(file.properties.size(), 1u);
  EXPECT_EQ(file.properties[0].name, "m_szName");
  EXPECT_EQ(file.properties[0].text, "Pump");
}

TEST(BackupReader, ValueBeginningWithMUnderscoreReadsAsAName) {
  const BackupPropertiesFile file = parse(VLT_121::formatBackupProperties(
      1, {stringProperty("m_szName", "m_szOther"), stringProperty("m_szDescription", "d")}));
  ASSERT_EQ(file.properties.size(), 3u);
  EXPECT_EQ(file.properties[0].name, "m_szName");
  EXPECT_EQ(file.properties[0].text, "");
  EXPECT_EQ(file.properties[1].name, "m_szOther");
  EXPECT_EQ(file.properties[2].text, "d");
}

TEST(BackupReader, ValuesBeforeTheFirstNameAreIgnored) {
  const BackupPropertiesFile file =
      parse(tokens({kMarker, "1", "stray", "more", "m_aszA", "x"}));
  ASSERT_EQ(file.properties.size(), 1u);
  EXPECT_EQ(file.properties[0].list, (std::vector<std::string>{"x"}));
}

TEST(BackupReader, LastTokenWithoutZeroByteCounts) {
  std::string bytes = tokens({kMarker, "2", "m_szName", "Pump"});
  bytes.pop_back();
  const BackupPropertiesFile file = parse(bytes);
  ASSERT_EQ(file.properties.size(), 1u);
  EXPECT_EQ(file.properties[0].text, "Pump");

  std::string depthOnly = kMarker + std::string(1, '\0') + "5";
  EXPECT_EQ(parse(depthOnly).depth, 5);
}

TEST(BackupReader, EmptyTokensBetweenMarkerAndDepthAreSkipped) {
  const BackupPropertiesFile file = parse(std::string(2, '\0') + tokens({kMarker, "", "", "3"}));
  EXPECT_EQ(file.depth, 3);
  EXPECT_TRUE(file.properties.empty());
}

TEST(BackupReader, RefusesFilesWithoutMarkerAndDepth) {
  BackupPropertiesFile file;
  EXPECT_FALSE(VLT_121::parseBackupProperties("", file));
  EXPECT_FALSE(VLT_121::parseBackupProperties(tokens({kMarker}), file));
  EXPECT_FALSE(VLT_121::parseBackupProperties(tokens({kMarker, "", ""}), file));
  EXPECT_FALSE(VLT_121::parseBackupProperties(tokens({"EF64F6C7", "3"}), file));
  EXPECT_FALSE(VLT_121::parseBackupProperties(tokens({kMarker + "x", "3"}), file));
  EXPECT_FALSE(VLT_121::parseBackupProperties(tokens({"3", kMarker}), file));
}

TEST(BackupReader, DepthIsReportedNotChecked) {
  const std::string bytes = VLT_121::formatBackupProperties(
      VLT_121::slashDepth("/Repository/talixdb/Cat"), {});
  const BackupPropertiesFile file = parse(bytes);
  EXPECT_EQ(file.depth, VLT_121::slashDepth("/Repository/talixdb/Other"));
  EXPECT_NE(file.depth, VLT_121::slashDepth("/Repository/talixdb/Cat/Sub"));
}

TEST(BackupReader, ReparsingReplacesEarlierProperties) {
  BackupPropertiesFile file;
  ASSERT_TRUE(VLT_121::parseBackupProperties(tokens({kMarker, "1", "m_szA", "a"}), file));
  ASSERT_TRUE(VLT_121::parseBackupProperties(tokens({kMarker, "2"}), file));
  EXPECT_EQ(file.depth, 2);
  EXPECT_TRUE(file.properties.empty());
}

}  // namespace
