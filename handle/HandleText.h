// Heap copies of texts kept by the handle (new[] / delete[]).
#pragma once

#include <cstring>

namespace VLT_121 {

inline char* copyText(const char* text) {
  if (text == nullptr) return nullptr;
  size_t length = std::strlen(text);
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length + 1);
  return copy;
}

inline void freeText(char*& text) {
  delete[] text;
  text = nullptr;
}

}  // namespace VLT_121
