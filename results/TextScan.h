// Reading the results text formats the way the C library reads them: strtok
// splitting, atoi/atol integers and atof doubles, over views of the text, so
// nothing is copied and a token never runs past its end.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace VLT_121 {

// The two separator sets of the report and modes formats.
inline constexpr std::string_view kLineEndSeparators = "\n\r";
inline constexpr std::string_view kWhitespaceSeparators = "\n\r\t ";

class CDoubleReader;

// Splits a text as strtok does: a run of separators counts as one, leading
// separators are skipped, a token is a maximal run of other characters. The
// text must outlive the tokenizer; tokens are views into it.
class CTokenizer {
 public:
  CTokenizer(std::string_view text, std::string_view separators);

  // Sets `token` to the next token and returns true; false at the end.
  bool next(std::string_view& token);

  // next(token), then `value` = read(token): the same double, but a plain
  // decimal token is read in the same pass that finds its end.
  bool nextDouble(const CDoubleReader& read, double& value);

 private:
  std::string_view m_strText;
  std::size_t m_iPos = 0;
  std::array<bool, 256> m_abSeparator{};
};

// The text up to its first zero byte, as a C string holding it would end.
std::string_view untilZeroByte(std::string_view text);

// strtol(text, 10) confined to `text`: leading isspace characters, an
// optional sign, decimal digits; stops at the first other character, reads 0
// without digits and saturates at LONG_MIN/LONG_MAX. This is atol.
long parseLong(std::string_view text);

// atoi: parseLong narrowed to int as the C library does (the low 32 bits).
// sscanf's "%d" reads the start of a text the same way.
int parseInt(std::string_view text);

// Reads doubles exactly as atof/strtod read them, confined to a view. The
// common decimal forms take a fast path that gives the same double; anything
// else (hexadecimal, inf, nan, out of range, a locale whose decimal point is
// not '.') goes through strtod on a copy. The locale is looked at once, when
// the reader is made: make one per text, not one for the whole program.
class CDoubleReader {
 public:
  CDoubleReader();
  double operator()(std::string_view text) const;
  // True when plain decimals may be read without strtod (a '.' locale).
  bool readsPlainDecimals() const { return m_bPointDecimal; }

 private:
  bool m_bPointDecimal;
};

// True when the current C locale writes and reads decimals with a '.'.
bool hasPointDecimal();

}  // namespace VLT_121
