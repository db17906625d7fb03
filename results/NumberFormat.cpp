#include "results/NumberFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "results/TextScan.h"

namespace VLT_121 {

namespace {

constexpr int kFieldWidth = 20;
constexpr int kSignificantDigits = 15;

#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 Wide;  // GCC and Clang on 64-bit targets

// 10^0 .. 10^22 (10^20 and up need more than 64 bits).
constexpr Wide tenTo(int power) { return power == 0 ? 1 : 10 * tenTo(power - 1); }
constexpr Wide kPowersOfTen[] = {
    tenTo(0),  tenTo(1),  tenTo(2),  tenTo(3),  tenTo(4),  tenTo(5),  tenTo(6),  tenTo(7),
    tenTo(8),  tenTo(9),  tenTo(10), tenTo(11), tenTo(12), tenTo(13), tenTo(14), tenTo(15),
    tenTo(16), tenTo(17), tenTo(18), tenTo(19), tenTo(20), tenTo(21), tenTo(22)};
#endif

std::size_t writeFromDigits(char* out, double value);
std::size_t writeWithSnprintf(char* out, std::size_t room, double value);

}  // namespace

std::size_t writeInt10(char* out, int value) {
  std::array<char, 16> digits;
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  const auto length = static_cast<std::size_t>(result.ptr - digits.data());
  const std::size_t padding = length < 10 ? 10 - length : 0;
  std::memset(out, ' ', padding);
  std::memcpy(out + padding, digits.data(), length);
  return padding + length;
}

void appendInt10(std::string& out, int value) {
  std::array<char, kInt10Room> text;
  out.append(text.data(), writeInt10(text.data(), value));
}

CSignedG15Writer::CSignedG15Writer() : m_bPointDecimal(hasPointDecimal()) {}

std::size_t CSignedG15Writer::write(char* out, std::size_t room, double value) const {
  if (m_bPointDecimal && std::isfinite(value) && room >= kRoom) {
    const std::size_t length = writeFromDigits(out, value);
    if (length > 0) return length;
  }
  return writeWithSnprintf(out, room, value);
}

void CSignedG15Writer::append(std::string& out, double value) const {
  std::array<char, kRoom> text;
  const std::size_t length = write(text.data(), text.size(), value);
  if (length <= text.size()) {
    out.append(text.data(), length);
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + length + 1);  // room for snprintf's terminating zero
  write(out.data() + start, length + 1, value);
  out.resize(start + length);
}

namespace {

// The 15 digits at [1, 16) (the array's first byte is working space, and
// blocks of 16 bytes may be copied from any digit on).
struct Digits {
  std::array<char, 2 * 16 + 1> text;
  char operator[](std::size_t i) const { return text[i + 1]; }
  char* data() { return text.data() + 1; }
  const char* data() const { return text.data() + 1; }
};

// The eight decimal digits of `value` (< 10^8) as ASCII, the first in the
// lowest byte: split into fours, then pairs, then digits, all lanes at once
// (x·10486 >> 20 is x / 100 below 10^4, x·103 >> 10 is x / 10 below 100).
[[maybe_unused]] std::uint64_t asciiOfEightDigits(std::uint32_t value) {
  std::uint64_t lanes = (value / 10000) | (static_cast<std::uint64_t>(value % 10000) << 32);
  const std::uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007F0000007FULL;
  lanes = hundreds | ((lanes - hundreds * 100) << 16);
  const std::uint64_t tens = ((lanes * 103) >> 10) & 0x000F000F000F000FULL;
  lanes = tens | ((lanes - tens * 10) << 8);
  return lanes + 0x3030303030303030ULL;
}

// "00" .. "99"
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";


// |value| rounded to 15 significant digits as printf rounds it (to nearest,
// ties to even, on the exact binary value): the digits and the decimal
// exponent X of the first one. The fast way covers 1e-8 <= |value| < 1e15,
// where value · 10^(14-X) is exact in 128 bits: 53 bits of mantissa times at
// most 10^22 (74 bits), then one rounding shift. False outside that range.
bool roundToFifteenDigits(double value, Digits& digits, int& exponent) {
#ifdef __SIZEOF_INT128__
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0 || biased == 0x7FF) return false;  // zero, subnormal, inf, nan
  const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int power2 = biased - 1075;  // |value| = mantissa · 2^power2
  // floor(log10 |value|) is this or one more (log10(2) ≈ 78913 / 2^18).
  int decimal = ((power2 + 52) * 78913) >> 18;
  for (int attempt = 0; attempt < 2; ++attempt, ++decimal) {
    const int scale = kSignificantDigits - 1 - decimal;
    if (scale < 0 || scale > 22 || power2 >= 0) return false;
    const int shift = -power2;
    const Wide product = static_cast<Wide>(mantissa) * kPowersOfTen[scale];
    if (shift >= 128) return false;
    std::uint64_t rounded = static_cast<std::uint64_t>(product >> shift);
    const Wide remainder = product & ((Wide{1} << shift) - 1);
    const Wide half = Wide{1} << (shift - 1);
    if (remainder > half || (remainder == half && (rounded & 1) != 0)) ++rounded;
    if (rounded >= kPowersOfTen[kSignificantDigits]) continue;  // X was one more
    // 15 digits: the first seven (after a leading zero), then eight.
    const std::uint64_t high = asciiOfEightDigits(static_cast<std::uint32_t>(rounded / 100000000));
    const std::uint64_t low = asciiOfEightDigits(static_cast<std::uint32_t>(rounded % 100000000));
    std::memcpy(digits.text.data(), &high, sizeof high);
    std::memcpy(digits.text.data() + 8, &low, sizeof low);
    exponent = decimal;
    return true;
  }
  return false;
#else
  (void)value;
  (void)digits;
  (void)exponent;
  return false;  // no 128-bit integers: to_chars gives the digits
#endif
}

// The same from to_chars' scientific form with 14 decimals,
// d.dddddddddddddde[+-]XX[X], which carries exactly those digits and X.
bool fifteenDigitsFromToChars(double magnitude, Digits& digits, int& exponent) {
  std::array<char, 32> scientific;
  const auto converted = std::to_chars(scientific.data(), scientific.data() + scientific.size(), magnitude,
                                       std::chars_format::scientific, kSignificantDigits - 1);
  const char* end = converted.ptr;
  if (converted.ec != std::errc() || end - scientific.data() < 20 || scientific[16] != 'e') return false;
  char* out = digits.data();
  out[0] = scientific[0];
  std::memcpy(out + 1, scientific.data() + 2, kSignificantDigits - 1);
  exponent = 0;
  for (const char* p = scientific.data() + 18; p < end; ++p) exponent = exponent * 10 + (*p - '0');
  if (scientific[17] == '-') exponent = -exponent;
  return true;
}

// %g picks its style from the exponent X of the value rounded to 15 digits:
// fixed notation when -4 <= X < 15, exponent notation (at least two exponent
// digits) otherwise; then drops trailing zeros and a bare decimal point.
// Returns the length, at most 23; 0 when the digits could not be had. Copies
// whole 16-byte blocks and writes up to kRoom bytes.
std::size_t writeFromDigits(char* out, double value) {
  Digits digits{};
  int exponent = 0;
  const double magnitude = std::fabs(value);
  if (!roundToFifteenDigits(magnitude, digits, exponent) && !fifteenDigitsFromToChars(magnitude, digits, exponent))
    return 0;
  std::size_t significant = kSignificantDigits;
  while (significant > 1 && digits[significant - 1] == '0') --significant;

  const bool scientific = exponent < -4 || exponent >= kSignificantDigits;
  const int shownExponent = exponent < 0 ? -exponent : exponent;
  const auto whole = static_cast<std::size_t>(exponent + 1);       // fixed, X >= 0: digits before the point
  const auto leadingZeros = static_cast<std::size_t>(-exponent);  // fixed, X < 0: "0." and X-1 zeros
  std::size_t length = 0;                                         // of the body, after the sign
  if (scientific)
    length = (significant > 1 ? significant + 1 : 1) + (shownExponent >= 100 ? 5 : 4);
  else if (exponent >= 0)
    length = significant > whole ? significant + 1 : whole;
  else
    length = 1 + leadingZeros + significant;
  const std::size_t padding = length + 1 < kFieldWidth ? kFieldWidth - (length + 1) : 0;

  std::memset(out, ' ', kFieldWidth);
  out[padding] = std::signbit(value) ? '-' : '+';
  char* body = out + padding + 1;
  if (scientific) {
    body[0] = digits[0];
    body[1] = '.';
    std::memcpy(body + 2, digits.data() + 1, 16);
    char* tail = body + (significant > 1 ? significant + 1 : 1);
    tail[0] = 'e';
    tail[1] = exponent < 0 ? '-' : '+';
    char* exponentDigits = tail + 2;
    if (shownExponent >= 100) *exponentDigits++ = static_cast<char>('0' + shownExponent / 100);
    std::memcpy(exponentDigits, kDigitPairs + 2 * (shownExponent % 100), 2);
  } else if (exponent >= 0) {
    std::memcpy(body, digits.data(), 16);
    body[whole] = '.';
    std::memcpy(body + whole + 1, digits.data() + whole, 16);
  } else {
    std::memcpy(body, "0.000000", 8);
    std::memcpy(body + 1 + leadingZeros, digits.data(), 16);
  }
  return padding + 1 + length;
}

std::size_t writeWithSnprintf(char* out, std::size_t room, double value) {
  std::array<char, 64> text;
  const int length = std::snprintf(text.data(), text.size(), "%+20.15lg", value);
  if (length < 0) return 0;
  const auto size = static_cast<std::size_t>(length);
  if (size < text.size()) {
    if (size <= room) std::memcpy(out, text.data(), size);
    return size;
  }
  if (size < room) std::snprintf(out, room, "%+20.15lg", value);
  return size;
}

}  // namespace

}  // namespace VLT_121
