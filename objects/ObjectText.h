// Text storage shared by the model objects: setters copy (null stores empty
// text), indexed reads outside a list give empty text, indexed writes outside
// it are dropped.
#pragma once

#include <string>
#include <vector>

namespace VLT_121 {
namespace object_text {

inline std::string copy(const char* text) { return text ? std::string(text) : std::string(); }

inline bool inRange(const std::vector<std::string>& list, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < list.size();
}

inline const char* at(const std::vector<std::string>& list, int index) {
  return inRange(list, index) ? list[static_cast<std::size_t>(index)].c_str() : "";
}

inline void set(std::vector<std::string>& list, int index, const char* text) {
  if (inRange(list, index)) list[static_cast<std::size_t>(index)] = copy(text);
}

// Keeps the first n entries; new entries are empty. n <= 0 empties the list.
inline void resize(std::vector<std::string>& list, int n) {
  list.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
}

inline int count(const std::vector<std::string>& list) { return static_cast<int>(list.size()); }

}  // namespace object_text
}  // namespace VLT_121
