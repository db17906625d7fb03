// Writing models as JSON, in the shape that model files are read in.
#include <nlohmann/json.hpp>

#include "ModelSpec.h"

namespace talixdb_cli {

namespace {

using nlohmann::ordered_json;

ordered_json portJson(const PortSpec& port) {
  ordered_json value;
  value["name"] = port.name;
  value["description"] = port.description;
  value["type"] = port.type;
  value["direction"] = port.direction;
  return value;
}

ordered_json parameterJson(const ParameterSpec& parameter) {
  ordered_json value;
  value["name"] = parameter.name;
  value["description"] = parameter.description;
  value["type"] = parameter.type;
  value["mode"] = parameter.mode;
  value["dimensionality"] = parameter.dimensionality;
  value["defaultValue"] = parameter.defaultValue;
  value["lowerBound"] = parameter.lowerBound;
  value["upperBound"] = parameter.upperBound;
  value["options"] = parameter.options;
  value["restrictedToList"] = parameter.restrictedToList;
  return value;
}

// The parts that models and solvers share.
void commonParts(const ModelSpec& entry, bool solver, ordered_json& value) {
  value["name"] = entry.name;
  value["description"] = entry.description;
  if (solver) value["command"] = entry.command;
  ordered_json ports = ordered_json::array();
  for (const PortSpec& port : entry.ports) ports.push_back(portJson(port));
  value["ports"] = ports;
  ordered_json parameters = ordered_json::array();
  for (const ParameterSpec& parameter : entry.parameters) parameters.push_back(parameterJson(parameter));
  value["parameters"] = parameters;
  value["species"] = entry.species;
}

ordered_json solverJson(const ModelSpec& solver) {
  ordered_json value;
  commonParts(solver, true, value);
  value["sortedModelComponents"] = solver.sortedModelComponents;
  ordered_json surfaces = ordered_json::array();
  for (const SurfaceSpec& surface : solver.surfaces) {
    ordered_json item;
    item["name"] = surface.name;
    item["nodePositions"] = surface.nodePositions;
    item["gridConnectivity"] = surface.gridConnectivity;
    surfaces.push_back(item);
  }
  value["surfaces"] = surfaces;
  value["nodePositions"] = solver.nodePositions;
  value["gridConnectivity"] = solver.gridConnectivity;
  return value;
}

}  // namespace

std::string modelToJson(const ModelSpec& entry) {
  ordered_json value;
  value["category"] = entry.category;
  value["type"] = entry.type;
  commonParts(entry, false, value);
  ordered_json solvers = ordered_json::array();
  for (const ModelSpec& solver : entry.solvers) solvers.push_back(solverJson(solver));
  value["solvers"] = solvers;
  // Texts pass byte for byte; bytes that are not UTF-8 are replaced, not refused.
  return value.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace talixdb_cli
