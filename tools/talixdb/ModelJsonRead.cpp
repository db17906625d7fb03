// Reading model and solver files: JSON checked key by key, every problem
// reported with its place in the file.
#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <stdexcept>

#include "ModelSpec.h"

namespace talixdb_cli {

namespace {

using nlohmann::json;

// A problem in the file; caught at the entry point and turned into text.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string place(const std::string& where, const std::string& key) {
  return where.empty() ? key : where + "." + key;
}

std::string joined(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

void requireObject(const json& value, const std::string& where, const std::string& what,
                   const std::set<std::string>& known) {
  if (!value.is_object())
    throw InputError((where.empty() ? std::string("the top level") : where) + " must be an object ({...}) describing " +
                     what);
  for (const auto& item : value.items())
    if (known.count(item.key()) == 0)
      throw InputError(place(where, item.key()) + " is not a known key (known: " + joined(known) + ")");
}

// A text value; with `scalars`, numbers and true/false are taken as their text.
std::string text(const json& object, const std::string& key, const std::string& where, bool scalars = false) {
  auto found = object.find(key);
  if (found == object.end() || found->is_null()) return "";
  if (found->is_string()) return found->get<std::string>();
  if (scalars && (found->is_number() || found->is_boolean())) return found->dump();
  throw InputError(place(where, key) + (scalars ? " must be a text or a number" : " must be a text"));
}

std::string name(const json& object, const std::string& where) {
  std::string value = text(object, "name", where);
  if (value.empty()) throw InputError(place(where, "name") + " is missing or empty");
  if (value.find('/') != std::string::npos)
    throw InputError(place(where, "name") + " \"" + value + "\" must not contain \"/\"");
  return value;
}

std::vector<std::string> texts(const json& object, const std::string& key, const std::string& where) {
  std::vector<std::string> values;
  auto found = object.find(key);
  if (found == object.end() || found->is_null()) return values;
  if (!found->is_array()) throw InputError(place(where, key) + " must be a list of texts");
  for (const json& item : *found) {
    if (!item.is_string()) throw InputError(place(where, key) + " must be a list of texts");
    values.push_back(item.get<std::string>());
  }
  return values;
}

// The items of a list of objects, each with its place ("ports[1]").
std::vector<std::pair<const json*, std::string>> objects(const json& object, const std::string& key,
                                                        const std::string& where) {
  std::vector<std::pair<const json*, std::string>> items;
  auto found = object.find(key);
  if (found == object.end() || found->is_null()) return items;
  if (!found->is_array()) throw InputError(place(where, key) + " must be a list of objects");
  for (std::size_t i = 0; i < found->size(); ++i)
    items.emplace_back(&(*found)[i], place(where, key) + "[" + std::to_string(i) + "]");
  return items;
}

// Names become folder names: one per list.
void requireUnique(const std::string& value, const std::string& where, std::map<std::string, std::string>& seen) {
  auto earlier = seen.emplace(value, where);
  if (!earlier.second) throw InputError(where + " \"" + value + "\" repeats " + earlier.first->second);
}

PortSpec readPort(const json& value, const std::string& where) {
  requireObject(value, where, "a port", {"name", "description", "type", "direction"});
  return PortSpec{name(value, where), text(value, "description", where), text(value, "type", where),
                  text(value, "direction", where)};
}

ParameterSpec readParameter(const json& value, const std::string& where) {
  requireObject(value, where, "a parameter",
                {"name", "description", "type", "mode", "dimensionality", "defaultValue", "lowerBound",
                 "upperBound", "options", "restrictedToList"});
  ParameterSpec parameter;
  parameter.name = name(value, where);
  parameter.description = text(value, "description", where);
  parameter.type = text(value, "type", where);
  parameter.mode = text(value, "mode", where);
  parameter.dimensionality = text(value, "dimensionality", where, true);
  parameter.defaultValue = text(value, "defaultValue", where, true);
  parameter.lowerBound = text(value, "lowerBound", where, true);
  parameter.upperBound = text(value, "upperBound", where, true);
  parameter.restrictedToList = text(value, "restrictedToList", where, true);
  parameter.options = texts(value, "options", where);
  // The catalogue keeps options and bounds only for the types that use them.
  if (!parameter.options.empty() && parameter.type != "CAPE_OPTION")
    throw InputError(place(where, "options") + " are kept only for type CAPE_OPTION, not \"" + parameter.type +
                     "\"");
  bool numeric = parameter.type == "CAPE_REAL" || parameter.type == "CAPE_INT";
  if (!numeric && (!parameter.lowerBound.empty() || !parameter.upperBound.empty()))
    throw InputError(where + " has bounds, which are kept only for types CAPE_REAL and CAPE_INT, not \"" +
                     parameter.type + "\"");
  return parameter;
}

SurfaceSpec readSurface(const json& value, const std::string& where) {
  requireObject(value, where, "a surface", {"name", "nodePositions", "gridConnectivity"});
  return SurfaceSpec{name(value, where), text(value, "nodePositions", where), text(value, "gridConnectivity", where)};
}

ModelSpec readModel(const json& value, const std::string& where, bool solver) {
  std::set<std::string> known = {"name",    "description", "command",       "ports",
                                 "parameters", "species",  "sortedModelComponents", "surfaces",
                                 "nodePositions", "gridConnectivity"};
  if (!solver) known.insert({"category", "type", "solvers"});
  requireObject(value, where, solver ? "a solver" : "a model", known);
  ModelSpec entry;
  if (!solver) {
    entry.category = text(value, "category", where);
    entry.type = text(value, "type", where);
    for (const std::string* part : {&entry.category, &entry.type})
      if (part->find('/') != std::string::npos)
        throw InputError(place(where, part == &entry.category ? "category" : "type") + " \"" + *part +
                         "\" must not contain \"/\"");
  }
  entry.name = name(value, where);
  entry.description = text(value, "description", where);
  entry.command = text(value, "command", where);
  std::map<std::string, std::string> seen;
  for (const auto& item : objects(value, "ports", where)) {
    entry.ports.push_back(readPort(*item.first, item.second));
    requireUnique(entry.ports.back().name, item.second + ".name", seen);
  }
  seen.clear();
  for (const auto& item : objects(value, "parameters", where)) {
    entry.parameters.push_back(readParameter(*item.first, item.second));
    requireUnique(entry.parameters.back().name, item.second + ".name", seen);
  }
  entry.species = texts(value, "species", where);
  entry.sortedModelComponents = texts(value, "sortedModelComponents", where);
  seen.clear();
  for (const auto& item : objects(value, "surfaces", where)) {
    entry.surfaces.push_back(readSurface(*item.first, item.second));
    requireUnique(entry.surfaces.back().name, item.second + ".name", seen);
  }
  entry.nodePositions = text(value, "nodePositions", where);
  entry.gridConnectivity = text(value, "gridConnectivity", where);
  if (solver && !entry.surfaces.empty() && (!entry.nodePositions.empty() || !entry.gridConnectivity.empty()))
    throw InputError(place(where, entry.nodePositions.empty() ? "gridConnectivity" : "nodePositions") +
                     " is for a solver without surfaces; give each surface its own grid");
  if (!solver) {
    // A model folder keeps none of these: they would be lost without a word.
    if (!entry.command.empty()) throw InputError(place(where, "command") + " is kept for solvers only");
    if (!entry.sortedModelComponents.empty())
      throw InputError(place(where, "sortedModelComponents") + " is kept for solvers only");
    if (!entry.surfaces.empty()) throw InputError(place(where, "surfaces") + " are kept for solvers only");
    if (!entry.nodePositions.empty() || !entry.gridConnectivity.empty())
      throw InputError(place(where, entry.nodePositions.empty() ? "gridConnectivity" : "nodePositions") +
                       " is kept for solvers only");
    seen.clear();
    for (const auto& item : objects(value, "solvers", where)) {
      entry.solvers.push_back(readModel(*item.first, item.second, true));
      requireUnique(entry.solvers.back().name, item.second + ".name", seen);
    }
  }
  return entry;
}

}  // namespace

std::string modelFromJson(const std::string& text, bool solver, ModelSpec& entry) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::parse_error& error) {
    return std::string("not valid JSON: ") + error.what();
  }
  try {
    entry = readModel(document, "", solver);
  } catch (const InputError& error) {
    return error.what();
  } catch (const json::exception& error) {
    return std::string("unexpected content: ") + error.what();
  }
  return "";
}

}  // namespace talixdb_cli
