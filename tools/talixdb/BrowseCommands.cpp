// talixdb browse: the catalogue as a tree, or as leaf paths, optionally
// narrowed by "contains" filters.
#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Command.h"
#include "ExitCodes.h"

namespace talixdb_cli {

namespace {

int browse(Context& context, const ParsedArgs& args);

// Each filter option and the criteria label the library knows it by.
const std::pair<const char*, const char*> kFilters[] = {
    {"category-name", "Category name"},
    {"type-name", "Type name"},
    {"model-name", "Model name"},
    {"model-description", "Model description"},
    {"parameter-name", "A model parameter name"},
    {"specie-name", "A model specie name"},
    {"port-name", "A model port name"},
};

std::vector<OptionSpec> browseOptions() {
  std::vector<OptionSpec> options = {
      {"models", 0, "", "print one line per model (CATEGORY/TYPE/MODEL), and per empty category or type"},
      {"solvers", 0, "", "print one line per solver (CATEGORY/TYPE/MODEL/SOLVER), and per model without one"},
      {"instances", 0, "", "show each solver's instances in the tree"},
  };
  for (const auto& filter : kFilters)
    options.push_back({filter.first, 0, "VALUE", std::string("keep what has a ") + filter.second + " containing VALUE",
                       true});
  return options;
}

}  // namespace

Family browseFamily() {
  return Family{"browse",
                "Show the catalogue as a tree or as leaf paths, optionally filtered",
                {{"", "", "Show the catalogue: categories, types, models and solvers", 0, 0, browseOptions(), browse,
                  "Filters match when the text contains VALUE (case-sensitive); several filters must all\n"
                  "match. Categories and types left empty by a model filter are not shown.\n"}}};
}

namespace {

// Rows {label, "contains", value, null}, ended by a null row, as the library
// takes them; the texts stay owned by `args`.
class Criteria {
 public:
  explicit Criteria(const ParsedArgs& args) {
    for (const auto& filter : kFilters)
      for (const std::string& value : args.values(filter.first)) m_values.emplace_back(filter.second, value);
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

void printLeaves(VLT_121::CVLTDatabase& db) {
  for (int i = 0; i < db.getNrDownloadedLeafNames(); ++i) std::printf("%s\n", db.getDownloadedLeafName(i));
}

void printTree(VLT_121::CVLTDatabase& db, bool instances) {
  // Each listing replaces its own list only: copy a level before descending.
  db.downloadCategoryNames();
  std::vector<std::string> categories;
  for (int c = 0; c < db.getNrDownloadedCategoryNames(); ++c) categories.emplace_back(db.getDownloadedCategoryName(c));
  for (const std::string& category : categories) {
    std::printf("%s\n", category.c_str());
    db.downloadTypeNames(category.c_str());
    std::vector<std::string> types;
    for (int t = 0; t < db.getNrDownloadedTypeNames(); ++t) types.emplace_back(db.getDownloadedTypeName(t));
    for (const std::string& type : types) {
      std::printf("  %s\n", type.c_str());
      db.downloadModelNames(category.c_str(), type.c_str());
      std::vector<std::string> models;
      for (int m = 0; m < db.getNrDownloadedModelNames(); ++m) models.emplace_back(db.getDownloadedModelName(m));
      for (const std::string& model : models) {
        std::printf("    %s\n", model.c_str());
        db.downloadSolverNames(category.c_str(), type.c_str(), model.c_str());
        std::vector<std::string> solvers;
        for (int s = 0; s < db.getNrDownloadedSolverNames(); ++s) solvers.emplace_back(db.getDownloadedSolverName(s));
        for (const std::string& solver : solvers) {
          std::printf("      solver %s\n", solver.c_str());
          if (!instances) continue;
          db.downloadInstanceNames(category.c_str(), type.c_str(), model.c_str(), solver.c_str());
          for (int i = 0; i < db.getNrDownloadedInstanceNames(); ++i)
            std::printf("        instance %s\n", db.getDownloadedInstanceName(i));
        }
      }
    }
  }
}

int browse(Context& context, const ParsedArgs& args) {
  if (args.has("models") && args.has("solvers"))
    return context.fail(exit_code::kUsage, "give --models or --solvers, not both");
  for (const auto& filter : kFilters)
    for (const std::string& value : args.values(filter.first))
      if (value.empty()) return context.fail(exit_code::kUsage, std::string("--") + filter.first + " needs a value");
  Criteria criteria(args);
  if (int loggedIn = context.session.login()) return loggedIn;
  VLT_121::CVLTDatabase& db = context.db();
  {
    ConsoleLogger::OutcomesAsProgress quiet(context.logger);
    // The same rows tell the snapshot which model details the filters need.
    db.takeVLTSnapshot(criteria.empty() ? nullptr : criteria.rows());
    if (!criteria.empty()) db.filterVLTSnapshot(criteria.rows());
  }
  if (args.has("models")) {
    db.downloadModelLeafNames();
    printLeaves(db);
  } else if (args.has("solvers")) {
    db.downloadSolverLeafNames();
    printLeaves(db);
  } else {
    printTree(db, args.has("instances"));
  }
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
