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

namespace {

// The names of a catalogue path below the database root, given relative or
// in full; false for another absolute path or an empty name.
bool catalogueNames(const std::string& text, std::vector<std::string>& names) {
  const std::string rootPrefix = std::string(kDatabaseRoot) + "/";
  std::string relative = text;
  if (relative.compare(0, rootPrefix.size(), rootPrefix) == 0)
    relative.erase(0, rootPrefix.size());
  else if (!relative.empty() && relative[0] == '/')
    return false;
  names = splitAtSlashes(relative);
  for (const std::string& name : names)
    if (name.empty()) return false;
  return true;
}

}  // namespace

bool parseModelPath(const std::string& text, ModelPath& path) {
  std::vector<std::string> names;
  if (!catalogueNames(text, names) || names.size() != 3) return false;
  path = ModelPath{names[0], names[1], names[2]};
  return true;
}

bool parseSolverPath(const std::string& text, ModelPath& model, std::string& solver) {
  std::vector<std::string> names;
  if (!catalogueNames(text, names)) return false;
  if (names.size() == 5 && names[3] == "Solvers") names.erase(names.begin() + 3);
  if (names.size() != 4) return false;
  model = ModelPath{names[0], names[1], names[2]};
  solver = names[3];
  return true;
}

void expandCataloguePaths(const std::string& synopsis, std::vector<std::string>& arguments) {
  if (arguments.empty()) return;
  ModelPath model;
  std::string solver;
  if (synopsis.compare(0, 16, "MODELPATH SOLVER") == 0 && parseSolverPath(arguments[0], model, solver)) {
    arguments[0] = model.shown();
    arguments.insert(arguments.begin() + 1, solver);
  } else if (synopsis.compare(0, 19, "CATEGORY TYPE MODEL") == 0 && arguments[0].find('/') != std::string::npos &&
             parseModelPath(arguments[0], model)) {
    arguments[0] = model.category;
    arguments.insert(arguments.begin() + 1, {model.type, model.model});
  }
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
