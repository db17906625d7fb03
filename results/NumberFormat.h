// Writing the numbers of the PCA modes file byte for byte as printf writes
// them with "%10d" and "%+20.15lg", without going through printf for every
// number.
#pragma once

#include <cstddef>
#include <string>

namespace VLT_121 {

// Writes `value` as "%10d" (right-aligned in 10 columns, longer ones whole)
// at `out`, which has room for kInt10Room bytes; returns the length.
constexpr std::size_t kInt10Room = 16;
std::size_t writeInt10(char* out, int value);
// The same appended to `out`.
void appendInt10(std::string& out, int value);

// Appends doubles as "%+20.15lg": the shorter of fixed and exponent notation
// with 15 significant digits, trailing zeros dropped, always signed,
// right-aligned in 20 columns. Finite values in a locale with a '.' decimal
// point are written from the correctly rounded digits of std::to_chars, which
// are the digits printf chooses; everything else is handed to snprintf. The
// locale is looked at when the writer is made: make one per text.
class CSignedG15Writer {
 public:
  // Room that always holds a value written in a '.' locale (the writing
  // works in whole blocks beyond the text's end).
  static constexpr std::size_t kRoom = 48;

  CSignedG15Writer();
  void append(std::string& out, double value) const;
  // Writes the text of `value` at `out` when it fits in `room` bytes and
  // returns its length; a length above `room` means nothing was written.
  std::size_t write(char* out, std::size_t room, double value) const;

 private:
  bool m_bPointDecimal;
};

}  // namespace VLT_121
