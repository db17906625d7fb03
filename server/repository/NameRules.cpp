#include "repository/NameRules.h"

#include <cstdint>

#include "base/ClientText.h"

namespace talixdb::server {

namespace {

// The code point that begins at `text[i]` in valid UTF-8, and its length.
std::uint32_t decode(const std::string& text, std::size_t i, std::size_t& length);

}  // namespace

std::string textProblem(const std::string& text) {
  if (!isValidUtf8(text)) return "not valid UTF-8";
  for (std::size_t i = 0, length = 1; i < text.size(); i += length) {
    const std::uint32_t point = decode(text, i, length);
    if (point < 0x20 && point != '\t' && point != '\n' && point != '\r')
      return "holds the control character " + codePointName(point);
    if (point == 0xFFFE || point == 0xFFFF) return "holds " + codePointName(point) + ", which is no character";
  }
  return std::string();
}

std::string nameProblem(const std::string& name) {
  if (name.empty()) return "empty";
  if (name == "." || name == "..") return "\".\" and \"..\" name no object";
  std::string problem = textProblem(name);
  if (!problem.empty()) return problem;
  if (name.size() > kMaxNameBytes) return "longer than " + std::to_string(kMaxNameBytes) + " bytes";
  for (std::size_t i = 0, length = 1; i < name.size(); i += length) {
    const std::uint32_t point = decode(name, i, length);
    if (point == '/') return "holds \"/\"";
    if (point < 0x20 || (point >= 0x7F && point <= 0x9F)) return "holds the control character " + codePointName(point);
  }
  return std::string();
}

void requireValidName(const std::string& name, const char* kind) {
  std::string problem = nameProblem(name);
  if (!problem.empty()) throw Refusal(std::string("invalid ") + kind + " name: '" + echo(name) + "' (" + problem + ")");
}

void requireValidText(const std::string& text, const char* what) {
  std::string problem = textProblem(text);
  if (!problem.empty()) throw Refusal(std::string("invalid ") + what + ": '" + echo(text) + "' (" + problem + ")");
}

void requireValidProperties(const PropertyList& properties) {
  for (const PropertyEntry& entry : properties) {
    if (entry.key) requireValidText(*entry.key, "property name");
    if (!entry.value) continue;
    for (const std::string& item : entry.value->items) {
      std::string problem = textProblem(item);
      if (!problem.empty())
        throw Refusal("invalid value of property '" + echo(entry.key.value_or("")) + "': '" + echo(item) + "' (" +
                      problem + ")");
    }
  }
}

namespace {

std::uint32_t decode(const std::string& text, std::size_t i, std::size_t& length) {
  const auto byte = static_cast<unsigned char>(text[i]);
  length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
  std::uint32_t point = length == 1 ? byte : byte & (0x7F >> length);
  for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
    point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return point;
}

}  // namespace

}  // namespace talixdb::server
