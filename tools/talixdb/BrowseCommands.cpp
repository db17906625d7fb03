// talixdb browse: the catalogue as a tree, or as leaf paths, optionally
// narrowed by "contains" filters; names sorted at every level.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Command.h"
#include "ExitCodes.h"
#include "JsonOutput.h"

namespace talixdb_cli {

namespace {

int browse(Context& context, const ParsedArgs& args);

struct Filter {
  const char* option;
  const char* label;  // the criteria label the library knows it by
  const char* help;
};

const Filter kFilters[] = {
    {"category-name", "Category name", "keep categories whose name contains VALUE"},
    {"type-name", "Type name", "keep types whose name contains VALUE"},
    {"model-name", "Model name", "keep models whose name contains VALUE"},
    {"model-description", "Model description", "keep models whose description contains VALUE"},
    {"parameter-name", "A model parameter name", "keep models with a parameter whose name contains VALUE"},
    {"specie-name", "A model specie name", "keep models with a species whose name contains VALUE"},
    {"port-name", "A model port name", "keep models with a port whose name contains VALUE"},
};

std::vector<OptionSpec> browseOptions() {
  std::vector<OptionSpec> options = {
      {"models", 0, "", "print one line per model: CATEGORY/TYPE/MODEL"},
      {"solvers", 0, "", "print one line per solver: CATEGORY/TYPE/MODEL/SOLVER"},
      {"instances", 0, "", "show each solver's instances in the tree"},
      kJsonOption,
  };
  for (const Filter& filter : kFilters) options.push_back({filter.option, 0, "VALUE", filter.help, true});
  return options;
}

}  // namespace

Family browseFamily() {
  return Family{"browse",
                "Show the catalogue as a tree or as leaf paths, optionally filtered",
                {{"", "", "Show the catalogue: categories, types, models and solvers", 0, 0, browseOptions(), browse,
                  "Filters match when the text contains VALUE (case-sensitive); several filters must all\n"
                  "match. Categories and types left empty by a model filter are not shown. Names are\n"
                  "sorted.\n"
                  "With --json, the tree is\n"
                  "  {\"categories\": [{\"name\": NAME, \"types\": [{\"name\": NAME, \"models\": [{\"name\": NAME,\n"
                  "    \"solvers\": [{\"name\": NAME, \"instances\": [FOLDER, ...]}]}]}]}]}\n"
                  "(\"instances\" only with --instances); with --models or --solvers it is\n"
                  "  {\"paths\": [PATH, ...]}\n"
                  "with model paths only, or solver paths only. Every command takes the paths printed:\n"
                  "CATEGORY/TYPE/MODEL where MODELPATH or CATEGORY TYPE MODEL is asked for,\n"
                  "CATEGORY/TYPE/MODEL/SOLVER where MODELPATH SOLVER or SOLVERPATH is.\n"}}};
}

namespace {

// Rows {label, "contains", value, null}, ended by a null row, as the library
// takes them; the texts stay owned by `args`.
class Criteria {
 public:
  explicit Criteria(const ParsedArgs& args) {
    for (const Filter& filter : kFilters)
      for (const std::string& value : args.values(filter.option)) m_values.emplace_back(filter.label, value);
    m_rows.reserve(m_values.size());
    for (const auto& value : m_values) m_rows.push_back({value.first, "contains", value.second.c_str(), nullptr});
    for (auto& row : m_rows) m_pointers.push_back(row.data());
    m_pointers.push_back(nullptr);
  }
  bool empty() const { return m_values.empty(); }
  const char*** rows() { return m_pointers.data(); }

 private:
  std::vector<std::pair<const char*, std::string>> m_values;
  std::vector<std::array<const char*, 4>> m_rows;
  std::vector<const char**> m_pointers;
};

using NameList = std::vector<std::string>;

// Copies a listing out of the library and sorts it: each listing replaces
// its own list only, so a level is copied before the next is read.
NameList sortedNames(VLT_121::CVLTDatabase& db, int (VLT_121::CVLTDatabase::*count)(),
                     const char* (VLT_121::CVLTDatabase::*name)(int)) {
  NameList names;
  for (int i = 0; i < (db.*count)(); ++i) names.emplace_back((db.*name)(i));
  std::sort(names.begin(), names.end());
  return names;
}

// One level of the tree: a name and what lies below it.
struct Node {
  std::string name;
  std::vector<Node> children;
};

std::vector<Node> nodes(const NameList& names) {
  std::vector<Node> list;
  for (const std::string& name : names) list.push_back({name, {}});
  return list;
}

// Categories, types, models, solvers and (with `instances`) instances.
std::vector<Node> readTree(VLT_121::CVLTDatabase& db, bool instances) {
  using Db = VLT_121::CVLTDatabase;
  db.downloadCategoryNames();
  std::vector<Node> categories =
      nodes(sortedNames(db, &Db::getNrDownloadedCategoryNames, &Db::getDownloadedCategoryName));
  for (Node& category : categories) {
    db.downloadTypeNames(category.name.c_str());
    category.children = nodes(sortedNames(db, &Db::getNrDownloadedTypeNames, &Db::getDownloadedTypeName));
    for (Node& type : category.children) {
      db.downloadModelNames(category.name.c_str(), type.name.c_str());
      type.children = nodes(sortedNames(db, &Db::getNrDownloadedModelNames, &Db::getDownloadedModelName));
      for (Node& model : type.children) {
        db.downloadSolverNames(category.name.c_str(), type.name.c_str(), model.name.c_str());
        model.children = nodes(sortedNames(db, &Db::getNrDownloadedSolverNames, &Db::getDownloadedSolverName));
        if (!instances) continue;
        for (Node& solver : model.children) {
          db.downloadInstanceNames(category.name.c_str(), type.name.c_str(), model.name.c_str(),
                                   solver.name.c_str());
          solver.children =
              nodes(sortedNames(db, &Db::getNrDownloadedInstanceNames, &Db::getDownloadedInstanceName));
        }
      }
    }
  }
  return categories;
}

// What stands before a name at each depth of the printed tree.
const char* const kTreePrefixes[] = {"", "  ", "    ", "      solver ", "        instance "};
// The key of each depth's list in the JSON tree.
const char* const kTreeKeys[] = {"categories", "types", "models", "solvers", "instances"};

void printTree(const std::vector<Node>& level, std::size_t depth) {
  for (const Node& node : level) {
    std::printf("%s%s\n", kTreePrefixes[depth], node.name.c_str());
    printTree(node.children, depth + 1);
  }
}

nlohmann::json treeJson(const std::vector<Node>& level, std::size_t depth, bool instances) {
  nlohmann::json list = nlohmann::json::array();
  for (const Node& node : level) {
    if (depth == 4) {
      list.push_back(node.name);
      continue;
    }
    nlohmann::json entry = {{"name", node.name}};
    if (depth < 3 || instances) entry[kTreeKeys[depth + 1]] = treeJson(node.children, depth + 1, instances);
    list.push_back(entry);
  }
  return list;
}

int browse(Context& context, const ParsedArgs& args) {
  if (args.has("models") && args.has("solvers"))
    return context.fail(exit_code::kUsage, "give --models or --solvers, not both");
  for (const Filter& filter : kFilters)
    for (const std::string& value : args.values(filter.option))
      if (value.empty()) return context.fail(exit_code::kUsage, std::string("--") + filter.option + " needs a value");
  Criteria criteria(args);
  if (int loggedIn = context.session.login()) return loggedIn;
  VLT_121::CVLTDatabase& db = context.db();
  {
    ConsoleLogger::OutcomesAsProgress quiet(context.logger);
    // The same rows tell the snapshot which model details the filters need.
    db.takeVLTSnapshot(criteria.empty() ? nullptr : criteria.rows());
    if (!criteria.empty()) db.filterVLTSnapshot(criteria.rows());
  }
  const bool json = args.has("json");
  if (args.has("models") || args.has("solvers")) {
    if (args.has("models"))
      db.downloadModelLeafNames();
    else
      db.downloadSolverLeafNames();
    // The library's leaves also end at empty categories, types and (for
    // solvers) models: those paths name nothing of the kind asked for.
    const std::size_t slashes = args.has("models") ? 2 : 3;
    NameList paths;
    for (const std::string& leaf : sortedNames(db, &VLT_121::CVLTDatabase::getNrDownloadedLeafNames,
                                               &VLT_121::CVLTDatabase::getDownloadedLeafName))
      if (static_cast<std::size_t>(std::count(leaf.begin(), leaf.end(), '/')) == slashes) paths.push_back(leaf);
    if (json) {
      printJson({{"paths", paths}});
    } else {
      for (const std::string& path : paths) std::printf("%s\n", path.c_str());
    }
    return exit_code::kSuccess;
  }
  const bool instances = args.has("instances");
  const std::vector<Node> tree = readTree(db, instances);
  if (json)
    printJson({{kTreeKeys[0], treeJson(tree, 0, instances)}});
  else
    printTree(tree, 0);
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
