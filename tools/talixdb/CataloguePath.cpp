#include "CataloguePath.h"

#include <vector>

namespace talixdb_cli {

const char kDatabaseRoot[] = "/Repository/talixdb";

namespace {

std::vector<std::string> splitAtSlashes(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == '/')
      parts.emplace_back();
    else
      parts.back().push_back(c);
  }
  return parts;
}

}  // namespace

std::string ModelPath::full() const { return std::string(kDatabaseRoot) + "/" + shown(); }

std::string ModelPath::shown() const { return category + "/" + type + "/" + model; }

bool parseModelPath(const std::string& text, ModelPath& path) {
  const std::string rootPrefix = std::string(kDatabaseRoot) + "/";
  std::string relative = text;
  if (relative.compare(0, rootPrefix.size(), rootPrefix) == 0)
    relative.erase(0, rootPrefix.size());
  else if (!relative.empty() && relative[0] == '/')
    return false;
  std::vector<std::string> parts = splitAtSlashes(relative);
  if (parts.size() != 3) return false;
  for (const std::string& part : parts)
    if (part.empty()) return false;
  path.category = parts[0];
  path.type = parts[1];
  path.model = parts[2];
  return true;
}

std::string repositoryPath(const std::string& text) {
  std::string path = text;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) return kDatabaseRoot;
  if (path[0] == '/') return path;
  return std::string(kDatabaseRoot) + "/" + path;
}

bool isPlainName(const std::string& name) { return !name.empty() && name.find('/') == std::string::npos; }

}  // namespace talixdb_cli
