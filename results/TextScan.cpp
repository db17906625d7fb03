#include "results/TextScan.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <string>
#include <system_error>

namespace VLT_121 {

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view skipSpaces(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  return text.substr(i);
}

bool parseDecimalQuickly(std::string_view text, double& value);
double parseWithStrtod(std::string_view text);

}  // namespace

CTokenizer::CTokenizer(std::string_view text, std::string_view separators) : m_strText(text) {
  for (char c : separators) m_abSeparator[static_cast<unsigned char>(c)] = true;
}

bool CTokenizer::next(std::string_view& token) {
  const std::size_t size = m_strText.size();
  while (m_iPos < size && m_abSeparator[static_cast<unsigned char>(m_strText[m_iPos])]) ++m_iPos;
  if (m_iPos >= size) return false;
  const std::size_t start = m_iPos;
  while (m_iPos < size && !m_abSeparator[static_cast<unsigned char>(m_strText[m_iPos])]) ++m_iPos;
  token = m_strText.substr(start, m_iPos - start);
  return true;
}

std::string_view untilZeroByte(std::string_view text) {
  const std::size_t end = text.find('\0');
  return end == std::string_view::npos ? text : text.substr(0, end);
}

long parseLong(std::string_view text) {
  text = skipSpaces(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude unsigned; the limit allows LONG_MIN's magnitude.
  const unsigned long limit =
      negative ? static_cast<unsigned long>(LONG_MAX) + 1UL : static_cast<unsigned long>(LONG_MAX);
  unsigned long magnitude = 0;
  bool overflow = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    const unsigned long digit = static_cast<unsigned long>(text[i] - '0');
    if (overflow || magnitude > (limit - digit) / 10UL) {
      overflow = true;
      continue;
    }
    magnitude = magnitude * 10UL + digit;
  }
  if (overflow) return negative ? LONG_MIN : LONG_MAX;
  if (!negative) return static_cast<long>(magnitude);
  return magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
}

int parseInt(std::string_view text) {
  // The C library's atoi is (int) strtol: keep the low 32 bits.
  return static_cast<int>(parseLong(text));
}

CDoubleReader::CDoubleReader() : m_bPointDecimal(hasPointDecimal()) {}

double CDoubleReader::operator()(std::string_view text) const {
  text = skipSpaces(text);
  double value = 0.0;
  if (m_bPointDecimal && parseDecimalQuickly(text, value)) return value;
  return parseWithStrtod(text);
}

bool hasPointDecimal() {
  const char* point = std::localeconv()->decimal_point;
  return point != nullptr && point[0] == '.' && point[1] == '\0';
}

namespace {

// from_chars reads the same digits as strtod and rounds the same way, but
// takes no '+', no hexadecimal and reports range errors instead of giving
// HUGE_VAL or a denormal; those cases are left to strtod.
bool parseDecimalQuickly(std::string_view text, double& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size()) return false;
  const char first = text[i];
  if (!isDigit(first) && first != '.') return false;
  if (first == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) return false;
  double magnitude = 0.0;
  const auto result =
      std::from_chars(text.data() + i, text.data() + text.size(), magnitude, std::chars_format::general);
  if (result.ec != std::errc()) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

double parseWithStrtod(std::string_view text) {
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

}  // namespace VLT_121
