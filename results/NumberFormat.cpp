#include "results/NumberFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "results/TextScan.h"

namespace VLT_121 {

namespace {

constexpr int kFieldWidth = 20;
constexpr int kSignificantDigits = 15;

bool appendFromDigits(std::string& out, double value);
void appendWithSnprintf(std::string& out, double value);

}  // namespace

void appendInt10(std::string& out, int value) {
  std::array<char, 16> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  const auto length = static_cast<std::size_t>(result.ptr - digits.data());
  if (length < 10) out.append(10 - length, ' ');
  out.append(digits.data(), length);
}

CSignedG15Writer::CSignedG15Writer() : m_bPointDecimal(hasPointDecimal()) {}

void CSignedG15Writer::append(std::string& out, double value) const {
  if (m_bPointDecimal && std::isfinite(value) && appendFromDigits(out, value)) return;
  appendWithSnprintf(out, value);
}

namespace {

// %g picks its style from the exponent X of the value rounded to 15 digits:
// fixed notation when -4 <= X < 15, exponent notation otherwise; then drops
// trailing zeros and a bare decimal point. to_chars' scientific form with 14
// decimals gives exactly those 15 rounded digits and X.
bool appendFromDigits(std::string& out, double value) {
  std::array<char, 32> scientific{};
  const auto converted = std::to_chars(scientific.data(), scientific.data() + scientific.size(),
                                       std::fabs(value), std::chars_format::scientific, kSignificantDigits - 1);
  // Expected shape: d.dddddddddddddde[+-]XX[X]
  const char* end = converted.ptr;
  if (converted.ec != std::errc() || end - scientific.data() < 20 || scientific[16] != 'e') return false;

  std::array<char, kSignificantDigits> digits{};
  digits[0] = scientific[0];
  for (int i = 1; i < kSignificantDigits; ++i) digits[i] = scientific[static_cast<std::size_t>(i) + 1];
  int lastSignificant = kSignificantDigits - 1;
  while (lastSignificant > 0 && digits[lastSignificant] == '0') --lastSignificant;

  const char* exponentText = scientific.data() + 17;  // sign, then at least two digits
  int exponent = 0;
  for (const char* p = exponentText + 1; p < end; ++p) exponent = exponent * 10 + (*p - '0');
  if (*exponentText == '-') exponent = -exponent;

  // The longest body is "0.0000" and 15 digits (21 characters).
  std::array<char, 32> body{};
  std::size_t length = 0;
  auto put = [&](char c) { body[length++] = c; };
  if (exponent < -4 || exponent >= kSignificantDigits) {
    put(digits[0]);
    if (lastSignificant > 0) put('.');
    for (int i = 1; i <= lastSignificant; ++i) put(digits[i]);
    for (const char* p = exponentText - 1; p < end; ++p) put(*p);
  } else if (exponent >= 0) {
    for (int i = 0; i <= exponent; ++i) put(digits[i]);
    if (lastSignificant > exponent) put('.');
    for (int i = exponent + 1; i <= lastSignificant; ++i) put(digits[i]);
  } else {
    put('0');
    put('.');
    for (int i = -1; i > exponent; --i) put('0');
    for (int i = 0; i <= lastSignificant; ++i) put(digits[i]);
  }

  const std::size_t width = length + 1;
  if (width < kFieldWidth) out.append(kFieldWidth - width, ' ');
  out.push_back(std::signbit(value) ? '-' : '+');
  out.append(body.data(), length);
  return true;
}

void appendWithSnprintf(std::string& out, double value) {
  std::array<char, 64> text{};
  const int length = std::snprintf(text.data(), text.size(), "%+20.15lg", value);
  if (length < 0) return;
  if (static_cast<std::size_t>(length) < text.size()) {
    out.append(text.data(), static_cast<std::size_t>(length));
    return;
  }
  std::string longer(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(longer.data(), longer.size(), "%+20.15lg", value);
  longer.resize(static_cast<std::size_t>(length));
  out += longer;
}

}  // namespace

}  // namespace VLT_121
