// The backup properties file: the bytes the backup writes and how the restore
// reads them back (a whole catalogue's round trip: client/BackupTest).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/BackupPropertiesFile.h"

namespace {

using namespace VLT_121;
using Tokens = std::vector<std::string>;

const std::string kMarker = "EF64F6C7-2C4F-4559-9ADF-61B0C85169CF";
const auto S = BackupPropertyKind::String, I = BackupPropertyKind::Integer, L = BackupPropertyKind::List,
           none = BackupPropertyKind::Ignored;

// Joins tokens, each followed by one zero byte.
std::string tokens(const Tokens& items) {
  std::string bytes;
  for (const std::string& item : items) bytes += item + std::string(1, '\0');
  return bytes;
}

BackupProperty property(const std::string& name, BackupPropertyKind kind, const std::string& text = "", long number = 0,
                        const Tokens& list = {}) {
  BackupProperty p;
  p.name = name, p.kind = kind, p.text = text, p.number = number, p.list = list;
  return p;
}

// "depth: name=value; name=[a,b]; ..." of a parsed file, or "refused".
std::string readBack(const std::string& bytes) {
  BackupPropertiesFile file;
  file.properties.push_back(property("m_szStale", S));  // replaced by the parse
  if (!parseBackupProperties(bytes, file)) return "refused";
  std::string out = std::to_string(file.depth) + ":";
  for (const BackupProperty& p : file.properties) {
    out += " " + p.name + "=";
    if (p.kind == BackupPropertyKind::String) out += p.text;
    if (p.kind == BackupPropertyKind::Integer) out += std::to_string(p.number);
    if (p.kind == BackupPropertyKind::List) {
      out += "[";
      for (const std::string& item : p.list) out += item + (&item == &p.list.back() ? "" : ",");
      out += "]";
    }
    out += ";";
  }
  return file.marker == kMarker ? out : "marker " + file.marker;
}

TEST(BackupProperties, NamesKindsDepthsAndTheBytesWritten) {
  // (The file's name: client/BackupTest, api/AdminTest.)
  EXPECT_EQ(backupDirectorySuffix(), "_" + kMarker);
  const std::string suffix = "_" + kMarker;
  EXPECT_EQ(withoutBackupDirectorySuffix("/Repository/a:b" + suffix), "/Repository/a:b");
  EXPECT_EQ(withoutBackupDirectorySuffix(suffix), suffix);
  EXPECT_EQ(withoutBackupDirectorySuffix("/R/x" + suffix + "/y"), "/R/x" + suffix + "/y");
  const std::pair<const char*, BackupPropertyKind> kinds[] = {{"m_szName", S}, {"m_iNrPorts", I}, {"m_aszC", L},
                                                              {"m_dValue", none}, {"m_", none}, {"szName", none}, {"", none}};
  for (const auto& [name, kind] : kinds) EXPECT_EQ(backupPropertyKind(name), kind) << name;
  EXPECT_EQ(slashDepth("/Repository/talixdb/Cat"), 3);
  EXPECT_EQ(slashDepth("a\\b"), 0);
  // The file: name and value tokens, each ended by a zero byte.
  EXPECT_EQ(formatBackupProperties(3, {property("m_szName", S, "Pump"), property("m_iNrPorts", I, "", 2),
                                       property("m_aszComponents", L, "", 0, {"water", "air"})}),
            tokens({kMarker, "3", "m_szName", "Pump", "m_iNrPorts", "2", "m_aszComponents", "water", "air"}));
  EXPECT_EQ(formatBackupProperties(2, {}), tokens({kMarker, "2"}));
  // Empty texts write an empty token, empty lists none; names of other kinds
  // are left out; the kind comes from the name, not from the member.
  EXPECT_EQ(formatBackupProperties(1, {property("m_szDescription", S), property("m_aszOptions", L),
                                       property("m_iDelta", I, "", -7), property("m_dWeight", S, "1.5"),
                                       property("Owner", S, "root"), property("m_szLabel", L, "text", 0, {"x"})}),
            tokens({kMarker, "1", "m_szDescription", "", "m_aszOptions", "m_iDelta", "-7", "m_szLabel", "text"}));
}

TEST(BackupProperties, ReadsTokensBackAsTheRestoreDoes) {
  struct Row {
    std::string bytes;
    const char* read;
  };
  std::string unterminated = tokens({kMarker, "2", "m_szName", "Pump"});
  unterminated.pop_back();
  const Row rows[] = {
      // Names without values get their defaults; a list ends where the next name begins.
      {tokens({kMarker, "1", "m_szD", "m_aszA", "1", "2", "m_aszB", "m_iN"}), "1: m_szD=; m_aszA=[1,2]; m_aszB=[]; m_iN=-1;"},
      // Empty tokens are skipped, so empty list items are lost.
      {formatBackupProperties(1, {property("m_aszC", L, "", 0, {"water", "", "air"})}), "1: m_aszC=[water,air];"},
      // The last value wins; integers read like atol.
      {tokens({kMarker, " 7", "m_szName", "a", "b", "m_iNr", "4", "x9", "12abc", "m_iB", "word"}),
       "7: m_szName=b; m_iNr=12; m_iB=0;"},
      // Other m_ names go with their values; values before the first name are ignored.
      {tokens({kMarker, "1", "stray", "m_dWeight", "1.5", "m_szName", "Pump", "m_x", "y"}), "1: m_szName=Pump;"},
      // A value that looks like a name reads as one.
      {tokens({kMarker, "1", "m_szName", "m_szOther", "d"}), "1: m_szName=; m_szOther=d;"},
      {unterminated, "2: m_szName=Pump;"},
      {kMarker + std::string(1, '\0') + "5", "5:"},
      {std::string(2, '\0') + tokens({kMarker, "", "", "3"}), "3:"},
      {"", "refused"},
      {tokens({kMarker}), "refused"},
      {tokens({kMarker, "", ""}), "refused"},
      {tokens({"EF64F6C7", "3"}), "refused"},
      {tokens({kMarker + "x", "3"}), "refused"},
      {tokens({"3", kMarker}), "refused"},
  };
  for (const Row& row : rows) EXPECT_EQ(readBack(row.bytes), row.read);
}

}  // namespace
