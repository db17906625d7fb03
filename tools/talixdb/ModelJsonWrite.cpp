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
void commonParts(const ModelSpec& spec, bool solver, ordered_json& value) {
  value["name"] = spec.name;
  value["description"] = spec.description;
  if (solver) value["command"] = spec.command;
  ordered_json ports = ordered_json::array();
  for (const PortSpec& port : spec.ports) ports.push_back(portJson(port));
  value["ports"] = ports;
  ordered_json parameters = ordered_json::array();
  for (const ParameterSpec& parameter : spec.parameters) parameters.push_back(parameterJson(parameter));
  value["parameters"] = parameters;
  value["species"] = spec.species;
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

std::string modelToJson(const ModelSpec& spec) {
  ordered_json value;
  value["category"] = spec.category;
  value["type"] = spec.type;
  commonParts(spec, false, value);
  ordered_json solvers = ordered_json::array();
  for (const ModelSpec& solver : spec.solvers) solvers.push_back(solverJson(solver));
  value["solvers"] = solvers;
  // Texts pass byte for byte; bytes that are not UTF-8 are replaced, not refused.
  return value.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace talixdb_cli
