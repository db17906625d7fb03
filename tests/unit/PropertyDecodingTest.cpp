// Decoding of property values that other clients of the repository stored
// URL-encoded: the full table for single values, the lighter rules for the
// items of list values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/RepositoryObject.h"

using VLT_121::decodeListItem;
using VLT_121::decodePropertyValue;

namespace {

struct Entry {
  const char* digits;  // the two characters after "%", upper case
  char result;
};

// Every sequence the single-value decoding turns into a character.
const std::vector<Entry>& decodingTable() {
  static const std::vector<Entry> table = {
      {"09", '\t'}, {"0A", '\n'}, {"0D", '\r'}, {"20", ' '}, {"21", '!'}, {"22", '"'},
      {"23", '#'},  {"24", '$'},  {"25", '%'},  {"26", '&'}, {"27", '\''}, {"28", '('},
      {"29", ')'},  {"2A", '*'},  {"2B", '+'},  {"2C", ','}, {"2D", '-'},  {"2E", '.'},
      {"2F", '/'},  {"3A", ':'},  {"3B", ';'},  {"3C", '<'}, {"3D", '='},  {"3E", '>'},
      {"3F", '?'},
  };
  return table;
}

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool inTable(const std::string& digits) {
  for (const Entry& entry : decodingTable())
    if (lowerCase(entry.digits) == lowerCase(digits)) return true;
  return false;
}

// ---- single values ---------------------------------------------------------

TEST(PropertyValueDecoding, MixedValueDecodesPlusAndKnownSequencesAndDropsUnknownOne) {
  EXPECT_EQ("a b/c=", decodePropertyValue("a+b%2Fc%3d%41"));
}

TEST(PropertyValueDecoding, PlainTextIsCopiedUnchanged) {
  EXPECT_EQ("", decodePropertyValue(""));
  EXPECT_EQ("Pump_1 (model)", decodePropertyValue("Pump_1 (model)"));
  EXPECT_EQ("caf\xC3\xA9 D\xC3\xBCse", decodePropertyValue("caf\xC3\xA9 D\xC3\xBCse"));
}

TEST(PropertyValueDecoding, EveryPlusBecomesABlank) {
  EXPECT_EQ("   a  b ", decodePropertyValue("+++a++b+"));
}

TEST(PropertyValueDecoding, EveryTableEntryDecodesInUpperCase) {
  for (const Entry& entry : decodingTable()) {
    std::string encoded = std::string("<%") + entry.digits + ">";
    EXPECT_EQ(std::string("<") + entry.result + ">", decodePropertyValue(encoded)) << encoded;
  }
}

TEST(PropertyValueDecoding, EveryTableEntryDecodesInLowerCase) {
  for (const Entry& entry : decodingTable()) {
    std::string encoded = "<%" + lowerCase(entry.digits) + ">";
    EXPECT_EQ(std::string("<") + entry.result + ">", decodePropertyValue(encoded)) << encoded;
  }
}

TEST(PropertyValueDecoding, EncodedPlusStaysAPlusAndEncodedPercentIsNotDecodedAgain) {
  EXPECT_EQ("1+1", decodePropertyValue("1%2B1"));
  EXPECT_EQ("100%2F", decodePropertyValue("100%252F"));
}

TEST(PropertyValueDecoding, DigitSequencesOfTheThirtiesAreRemoved) {
  for (char d = '0'; d <= '9'; ++d) {
    std::string encoded = std::string("x%3") + d + "y";
    EXPECT_EQ("xy", decodePropertyValue(encoded)) << encoded;
  }
}

TEST(PropertyValueDecoding, ZeroSequencesOtherThanTabLineFeedAndReturnAreRemoved) {
  const std::string seconds = "012345678BCEFbcefGz%+";
  for (char c : seconds) {
    std::string encoded = std::string("x%0") + c + "y";
    EXPECT_EQ("xy", decodePropertyValue(encoded)) << encoded;
  }
}

TEST(PropertyValueDecoding, SequencesNotStartingWithZeroTwoOrThreeAreRemoved) {
  const std::string firsts = "1456789ABCDEFabcdefGz -";
  for (char first : firsts) {
    for (char second : std::string("0129ADF")) {
      std::string encoded = std::string("x%") + first + second + "y";
      EXPECT_EQ("xy", decodePropertyValue(encoded)) << encoded;
    }
  }
}

TEST(PropertyValueDecoding, NoSequenceOutsideTheTableProducesOutput) {
  const std::string digits = "0123456789ABCDEFabcdef";
  for (char high : digits) {
    for (char low : digits) {
      std::string pair{high, low};
      if (inTable(pair)) continue;
      EXPECT_EQ("[]", decodePropertyValue("[%" + pair + "]")) << pair;
    }
  }
}

TEST(PropertyValueDecoding, RemovedSequenceTakesExactlyTwoCharactersWhateverTheyAre) {
  EXPECT_EQ("1", decodePropertyValue("%%41"));
  EXPECT_EQ(" b", decodePropertyValue("%x++b"));
  EXPECT_EQ("2F", decodePropertyValue("%%%2F"));
}

TEST(PropertyValueDecoding, SequenceCutShortAtTheEndIsDropped) {
  EXPECT_EQ("abc", decodePropertyValue("abc%"));
  EXPECT_EQ("abc", decodePropertyValue("abc%2"));
  EXPECT_EQ("abc/", decodePropertyValue("abc%2F"));
  EXPECT_EQ("", decodePropertyValue("%"));
}

// ---- list items ------------------------------------------------------------

TEST(ListItemDecoding, SlashDecodesAndOtherTwentiesAreConsumedWithoutOutput) {
  EXPECT_EQ("x/yz", decodeListItem("x%2Fy%20z"));
}

TEST(ListItemDecoding, PlainTextIsCopiedAndPlusBecomesABlank) {
  EXPECT_EQ("water", decodeListItem("water"));
  EXPECT_EQ("ethyl acetate ", decodeListItem("ethyl+acetate+"));
  EXPECT_EQ("D\xC3\xBCse", decodeListItem("D\xC3\xBCse"));
}

TEST(ListItemDecoding, OnlyQuoteSlashAndEqualsAreDecoded) {
  EXPECT_EQ("\"a\"", decodeListItem("%22a%22"));
  EXPECT_EQ("a/b", decodeListItem("a%2Fb"));
  EXPECT_EQ("k=v", decodeListItem("k%3Dv"));
  EXPECT_EQ("k=v", decodeListItem("k%3dv"));
}

TEST(ListItemDecoding, SlashNeedsUpperCaseF) { EXPECT_EQ("ab", decodeListItem("a%2fb")); }

TEST(ListItemDecoding, OtherSequencesAfterTwoOrThreeAreConsumedWithoutOutput) {
  for (char c : std::string("01456789ABCDEabcdef")) {
    std::string encoded = std::string("<%2") + c + ">";
    EXPECT_EQ("<>", decodeListItem(encoded)) << encoded;
  }
  for (char c : std::string("0123456789ABCEFabcef")) {
    std::string encoded = std::string("<%3") + c + ">";
    EXPECT_EQ("<>", decodeListItem(encoded)) << encoded;
  }
}

TEST(ListItemDecoding, ThreeReadAsSecondCharacterOfATwentySequenceStartsAnEqualsSign) {
  EXPECT_EQ("=", decodeListItem("%23D"));
  EXPECT_EQ("x", decodeListItem("%23Ax"));
}

TEST(ListItemDecoding, SequenceNotStartingWithTwoOrThreeConsumesOnlyOneCharacter) {
  EXPECT_EQ("1", decodeListItem("%41"));
  EXPECT_EQ("0a", decodeListItem("%00a"));
  EXPECT_EQ("2F", decodeListItem("%%2F"));
}

TEST(ListItemDecoding, SequenceCutShortAtTheEndIsDropped) {
  EXPECT_EQ("abc", decodeListItem("abc%"));
  EXPECT_EQ("abc", decodeListItem("abc%2"));
  EXPECT_EQ("abc", decodeListItem("abc%3"));
  EXPECT_EQ("abc", decodeListItem("abc%23"));
}

}  // namespace
