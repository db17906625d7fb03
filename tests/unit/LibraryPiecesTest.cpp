// The library's pieces below the handle, without a server. Property texts:
// decoding of values that other clients of the repository stored URL-encoded
// (the full table for single values, the lighter rules for the items of list
// values); the backup properties file, the bytes the backup writes and how the
// restore reads them back (a whole catalogue's round trip: client/BackupTest).
// How long one request may take. The model objects: null texts, lists sized
// before filling and read out of range as "", arrays adopted and freed once
// (the sanitizer build reports leaks and double frees), surfaces with their
// grid texts (copies and every field's round trip: the API tests).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "admin/BackupPropertiesFile.h"
#include "client/ClientContext.h"
#include "client/RepositoryObject.h"
#include "talixdbapi/VLTObjects.h"

namespace {

using namespace VLT_121;

using Case = std::pair<const char*, const char*>;  // encoded, decoded

// Every "%XY" of hex digits, in either case, decodes to its character when
// the table holds it and to nothing otherwise; so does every other pair after
// "%" that starts with something else than 0, 2 or 3.
TEST(PropertyValueDecoding, EverySequenceDecodesByTheTableOrVanishes) {
  const std::string table = "\t\n\r !\"#$%&'()*+,-./:;<=>?";  // %09, %0A, %0D, %20 to %2F, %3A to %3F
  const std::string digits = "0123456789ABCDEFabcdefGz%+ -";
  for (unsigned char high : digits) {
    for (unsigned char low : digits) {
      const std::string pair{static_cast<char>(high), static_cast<char>(low)};
      const bool hex = std::isxdigit(high) && std::isxdigit(low);
      const char named = hex ? static_cast<char>(std::stoi(pair, nullptr, 16)) : 0;  // the character it names
      const bool decodes = named != 0 && table.find(named) != std::string::npos;
      EXPECT_EQ(decodePropertyValue("[%" + pair + "]"), decodes ? std::string("[") + named + "]" : "[]") << pair;
    }
  }
}

TEST(PropertyValueDecoding, PlusIsABlankAndASequenceTakesTwoCharacters) {
  const Case cases[] = {  // (a value of each kind through the client: client/RepositoryClientTest)
      {"", ""}, {"caf\xC3\xA9 D\xC3\xBCse", "caf\xC3\xA9 D\xC3\xBCse"}, {"+++a++b+", "   a  b "},
      {"100%252F", "100%2F"},  // decoded once only
      {"%%%2F", "2F"}, {"abc%", "abc"}, {"abc%2", "abc"}, {"%", ""},
  };
  for (const auto& [encoded, decoded] : cases) EXPECT_EQ(decodePropertyValue(encoded), decoded) << encoded;
}

// List items decode only the quote, the slash (upper-case F) and the equals
// sign; other sequences after 2 or 3 vanish, and one after anything else
// takes only the "%" and its first character.
TEST(ListItemDecoding, OnlyQuoteSlashAndEqualsAreDecoded) {
  const Case cases[] = {  // ("x%2Fy%20z" and "k%3Dv": client/RepositoryClientTest)
      {"ethyl+acetate+", "ethyl acetate "}, {"D\xC3\xBCse", "D\xC3\xBCse"}, {"%22a%22", "\"a\""}, {"k%3dv", "k=v"},
      {"%23D", "="}, {"%23Ax", "x"}, {"%41", "1"}, {"%00a", "0a"}, {"%%2F", "2F"}, {"abc%", "abc"},
      {"abc%2", "abc"}, {"abc%3", "abc"}, {"abc%23", "abc"},
  };
  for (const auto& [encoded, decoded] : cases) EXPECT_EQ(decodeListItem(encoded), decoded) << encoded;
  for (char c : std::string("01456789ABCDEabcdef")) EXPECT_EQ(decodeListItem(std::string("<%2") + c + ">"), "<>") << c;
  for (char c : std::string("0123456789ABCEFabcef")) EXPECT_EQ(decodeListItem(std::string("<%3") + c + ">"), "<>") << c;
}

// The configured seconds plus one second per MiB moved, so that the limit
// grows with a transfer; zero means no limit.
TEST(ExchangeAllowance, GrowsBySecondPerMiBMovedAndZeroMeansNoLimit) {
  const std::uint64_t kMiB = std::uint64_t(1) << 20;
  const std::tuple<int, std::uint64_t, std::int64_t> cases[] = {  // seconds, bytes moved, microseconds
      {0, 1024 * kMiB, 0},
      {600, kMiB, 601000000},
      {2, kMiB / 2, 2500000},
      {1, 1024 * kMiB, 1025000000},  // 1 GiB: more than 17 minutes
      {1, UINT64_MAX, INT64_MAX},
  };
  for (const auto& [seconds, bytes, micros] : cases)
    EXPECT_EQ(exchangeAllowance(seconds, bytes), micros) << seconds << " s, " << bytes << " bytes";
}

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

using ModelPtr = std::unique_ptr<CVLTModel, decltype(&CVLTModel::deleteObject)>;

// Null texts read as ""; list writes out of range are dropped, reads give "".
// (The sorted components and the options share the list code: their round
// trips are in the API tests.)
TEST(VLTObjects, ListsAreSizedThenFilledByIndex) {
  ModelPtr model(CVLTModel::newObject(), CVLTModel::deleteObject);
  model->setName(nullptr);
  EXPECT_STREQ(model->getName(), "");
  model->setNrComponents(3);
  for (int i : {0, 1, 3, -1}) model->setComponent(i, ("c" + std::to_string(i)).c_str());
  EXPECT_EQ(model->getNrComponents(), 3);
  for (int i : {0, 1, 2, 3, -1}) EXPECT_STREQ(model->getComponent(i), i == 0 ? "c0" : i == 1 ? "c1" : "") << i;
  model->setNrComponents(1);  // resizing keeps the first entries; new ones are empty
  model->setNrComponents(2);
  EXPECT_EQ(std::string(model->getComponent(0)) + "|" + model->getComponent(1), "c0|");
  model->setNrComponents(-4);
  EXPECT_EQ(model->getNrComponents(), 0);
}

TEST(VLTObjects, ArraysAreAdoptedReplacedAndFreedOnce) {
  CVLTPort::deleteArray(CVLTPort::newArray(0));
  CVLTParameter::deleteArray(CVLTParameter::newArray(-1));
  CVLTPort::deleteArray(nullptr);
  ModelPtr model(CVLTModel::newObject(), CVLTModel::deleteObject);
  CVLTPort* ports = CVLTPort::newArray(3);
  ports[2].setName("kept");
  model->setPorts(2, CVLTPort::newArray(2));
  model->setPorts(3, ports);  // frees the first array
  model->setPorts(2, model->getPorts());  // the held array again: kept, recounted
  EXPECT_EQ(model->getNrPorts(), 2);
  EXPECT_STREQ(model->getPorts()[2].getName(), "kept");
  model->setPorts(-1, CVLTPort::newArray(1));
  EXPECT_EQ(model->getNrPorts(), 0);
  model->setParameters(1, CVLTParameter::newArray(1));
  model->setParameters(3, CVLTParameter::newArray(3));
  EXPECT_EQ(model->getNrParameters(), 3);
  CVLTModel* solvers = CVLTModel::newArray(2);
  solvers[0].setPorts(1, CVLTPort::newArray(1));
  solvers[1].setSolvers(1, CVLTModel::newArray(1));  // freed with their own arrays
  model->setSolvers(2, solvers);
  EXPECT_EQ(model->getNrSolvers(), 2);
  model->setSolvers(4, nullptr);
  EXPECT_TRUE(model->getSolvers() == nullptr && model->getNrSolvers() == 0);
}

TEST(VLTObjects, SurfacesKeepTheirNamesAndGridTexts) {
  ModelPtr model(CVLTModel::newObject(), CVLTModel::deleteObject);
  model->setNodePositions(0, "no surface yet");
  for (const char* name : {"inlet", static_cast<const char*>(nullptr), "outlet"}) model->addSurface(name);
  model->setNodePositions("whole nodes");
  model->setGridConnectivity("whole cells");
  model->setNodePositions(2, "outlet nodes");
  model->setGridConnectivity(0, "inlet cells");
  model->setGridConnectivity(-2, "never");
  ASSERT_EQ(model->getNrSurfaces(), 3);
  // Index -1 is the whole solver's text; out of range reads as "".
  const char* expected[][3] = {{"whole nodes", "whole cells", ""}, {"", "inlet cells", "inlet"}, {"", "", ""},
                               {"outlet nodes", "", "outlet"},     {"", "", ""}};
  for (int i = -1; i <= 3; ++i) {
    EXPECT_STREQ(i < 0 ? model->getNodePositions() : model->getNodePositions(i), expected[i + 1][0]) << i;
    EXPECT_STREQ(i < 0 ? model->getGridConnectivity() : model->getGridConnectivity(i), expected[i + 1][1]) << i;
    EXPECT_STREQ(model->getSurfaceName(i), expected[i + 1][2]) << i;
  }
  EXPECT_STREQ(model->getGridConnectivity(-2), "");
}

}  // namespace
