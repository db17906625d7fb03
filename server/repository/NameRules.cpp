#include "repository/NameRules.h"

#include "base/ClientText.h"
#include "storage/RepositoryTypes.h"

namespace talixdb::server {

std::string nameProblem(const std::string& name) {
  if (name.empty()) return "empty";
  if (name == "." || name == "..") return "\".\" and \"..\" name no object";
  if (!isValidUtf8(name)) return "not valid UTF-8";
  if (name.size() > kMaxNameBytes) return "longer than " + std::to_string(kMaxNameBytes) + " bytes";
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte == '/') return "holds \"/\"";
    if (byte < 0x20 || byte == 0x7F) return "holds the control character " + codePointName(byte);
    // Valid UTF-8 here: C2 followed by 80 to 9F is U+0080 to U+009F.
    const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) return "holds the control character " + codePointName(next);
  }
  return std::string();
}

void requireValidName(const std::string& name, const char* kind) {
  std::string problem = nameProblem(name);
  if (!problem.empty()) throw Refusal(std::string("invalid ") + kind + " name: '" + echo(name) + "' (" + problem + ")");
}

}  // namespace talixdb::server
