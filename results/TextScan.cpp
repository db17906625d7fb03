#include "results/TextScan.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// 10^0 .. 10^22, all exact in a double.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;
constexpr std::uint64_t kLargestExactInteger = std::uint64_t{1} << 53;
constexpr int kMostDigits = 19;  // any 19 decimal digits fit in 64 bits

// 10^0 .. 10^8 as integers.
constexpr std::uint64_t kIntegerPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The decimal value of eight digit values (0..9, one per byte, the first in
// the lowest byte): pairs, then fours, then the two halves combined.
std::uint64_t valueOfDigitBytes(std::uint64_t digits) {
  digits = (digits * 10) + (digits >> 8);
  return (((digits & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
          (((digits >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
         32;
}

// Appends the run of digits from q on to `mantissa` (counting them in
// `digits`), eight bytes at a time where eight can be read; false past
// kMostDigits digits.
inline __attribute__((always_inline)) bool appendDigits(const char*& q, const char* end, std::uint64_t& mantissa,
                                                       int& digits) {
  while (end - q >= 8) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, q, sizeof chunk);
    // Digits become 0..9; a byte is no digit when its high nibble is set or
    // adding 6 carries into it (a carry from an earlier non-digit byte only
    // marks bytes after the first non-digit).
    const std::uint64_t values = chunk ^ 0x3030303030303030ULL;
    const std::uint64_t others = (values | (values + 0x0606060606060606ULL)) & 0xF0F0F0F0F0F0F0F0ULL;
    const int count = others == 0 ? 8 : __builtin_ctzll(others) / 8;
    if (count == 0) return true;
    digits += count;
    if (digits > kMostDigits) return false;
    // The run's digits to the top bytes, zeros (leading zero digits) below.
    mantissa = mantissa * kIntegerPowersOfTen[count] + valueOfDigitBytes(values << (8 * (8 - count)));
    q += count;
    if (count < 8) return true;
  }
  for (; q < end && isDigit(*q); ++q) {
    if (++digits > kMostDigits) return false;
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
  }
  return true;
}

// Skips the '0's from q on, eight bytes at a time where eight can be read.
inline __attribute__((always_inline)) void skipZeros(const char*& q, const char* end) {
  while (end - q >= 8) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, q, sizeof chunk);
    const std::uint64_t others = chunk ^ 0x3030303030303030ULL;  // '0' bytes become 0
    if (others != 0) {
      q += __builtin_ctzll(others) / 8;
      return;
    }
    q += 8;
  }
  while (q < end && *q == '0') ++q;
}

// Reads [+-]digits[.digits][(e|E)[+-]digits] from `p` when that ends at
// `end` or before a character for which `endsToken` holds, and its value is
// an integer of at most 2^53 times or divided by an exact power of ten: one
// correctly rounded operation then gives the correctly rounded value, the
// double strtod gives. Otherwise returns false and leaves `p` alone.
template <typename EndsToken>
bool readPlainDecimal(const char*& p, const char* end, EndsToken endsToken, double& value) {
  const char* q = p;
  bool negative = false;
  if (q < end && (*q == '+' || *q == '-')) {
    negative = *q == '-';
    ++q;
  }
  std::uint64_t mantissa = 0;
  int digits = 0;    // significant digits in `mantissa`
  int exponent = 0;  // of ten, applied to `mantissa`
  const char* digitsStart = q;
  if (end - q >= 2 && isDigit(q[0]) && q[1] == '.') {
    // One digit before the point, as "%g" writes most numbers.
    mantissa = static_cast<std::uint64_t>(q[0] - '0');
    digits = mantissa != 0 ? 1 : 0;
    ++q;
  } else {
    skipZeros(q, end);  // leading zeros add nothing
    if (!appendDigits(q, end, mantissa, digits)) return false;
  }
  bool anyDigit = q != digitsStart;
  if (q < end && *q == '.') {
    const char* fraction = ++q;
    if (mantissa == 0) skipZeros(q, end);
    if (!appendDigits(q, end, mantissa, digits)) return false;
    exponent -= static_cast<int>(q - fraction);
    anyDigit = anyDigit || q != fraction;
  }
  if (!anyDigit) return false;
  if (q < end && (*q == 'e' || *q == 'E')) {
    ++q;
    bool negativeExponent = false;
    if (q < end && (*q == '+' || *q == '-')) {
      negativeExponent = *q == '-';
      ++q;
    }
    if (q >= end || !isDigit(*q)) return false;
    int written = 0;
    for (; q < end && isDigit(*q); ++q) {
      written = written * 10 + (*q - '0');
      if (written > 1000) return false;
    }
    exponent += negativeExponent ? -written : written;
  }
  if (q < end && !endsToken(*q)) return false;
  if (mantissa > kLargestExactInteger) return false;
  double magnitude = static_cast<double>(mantissa);
  if (mantissa != 0 && exponent != 0) {
    if (exponent > kLargestExactPower || exponent < -kLargestExactPower) return false;
    magnitude = exponent > 0 ? magnitude * kExactPowersOfTen[exponent] : magnitude / kExactPowersOfTen[-exponent];
  }
  value = negative ? -magnitude : magnitude;
  p = q;
  return true;
}

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

bool CTokenizer::nextDouble(const CDoubleReader& read, double& value) {
  const std::size_t size = m_strText.size();
  while (m_iPos < size && m_abSeparator[static_cast<unsigned char>(m_strText[m_iPos])]) ++m_iPos;
  if (m_iPos >= size) return false;
  if (read.readsPlainDecimals()) {
    const char* start = m_strText.data() + m_iPos;
    const char* p = start;
    auto endsToken = [this](char c) { return m_abSeparator[static_cast<unsigned char>(c)]; };
    if (readPlainDecimal(p, m_strText.data() + size, endsToken, value)) {
      m_iPos += static_cast<std::size_t>(p - start);
      return true;
    }
  }
  std::string_view token;
  next(token);
  value = read(token);
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
  if (m_bPointDecimal) {
    const char* p = text.data();
    if (readPlainDecimal(p, text.data() + text.size(), [](char) { return false; }, value)) return value;
    if (parseDecimalQuickly(text, value)) return value;
  }
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
