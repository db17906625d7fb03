// Writing the numbers of the PCA modes file byte for byte as printf writes
// them with "%10d" and "%+20.15lg", without going through printf for every
// number.
#pragma once

#include <string>

namespace VLT_121 {

// Appends `value` as "%10d": right-aligned in 10 columns, longer ones whole.
void appendInt10(std::string& out, int value);

// Appends doubles as "%+20.15lg": the shorter of fixed and exponent notation
// with 15 significant digits, trailing zeros dropped, always signed,
// right-aligned in 20 columns. Finite values in a locale with a '.' decimal
// point are written from the correctly rounded digits of std::to_chars, which
// are the digits printf chooses; everything else is handed to snprintf. The
// locale is looked at when the writer is made: make one per text.
class CSignedG15Writer {
 public:
  CSignedG15Writer();
  void append(std::string& out, double value) const;

 private:
  bool m_bPointDecimal;
};

}  // namespace VLT_121
