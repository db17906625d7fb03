#include "ModelValues.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace talixdb_python {

namespace {

using talixdb_cli::ModelSpec;
using talixdb_cli::ParameterSpec;
using talixdb_cli::PortSpec;
using talixdb_cli::SurfaceSpec;

// Where the model and solver classes live.
const char kModelsModule[] = "talixdb._models";

// A text attribute: None reads as "", a number or a truth value as its JSON
// text (as model files may give them).
std::string text(py::handle object, const char* name) {
  py::object value = py::getattr(object, name, py::none());
  if (value.is_none()) return "";
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "true" : "false";
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)) return py::str(value).cast<std::string>();
  throw py::type_error(std::string(name) + " must be a str, not " +
                       py::str(py::type::of(value).attr("__name__")).cast<std::string>());
}

std::vector<std::string> texts(py::handle object, const char* name) {
  std::vector<std::string> values;
  py::object items = py::getattr(object, name, py::none());
  if (items.is_none()) return values;
  if (py::isinstance<py::str>(items)) throw py::type_error(std::string(name) + " must be a list of str");
  for (py::handle item : items) {
    if (!py::isinstance<py::str>(item)) throw py::type_error(std::string(name) + " must be a list of str");
    values.push_back(item.cast<std::string>());
  }
  return values;
}

template <typename Read>
auto objects(py::handle object, const char* name, Read read) {
  std::vector<decltype(read(object))> values;
  py::object items = py::getattr(object, name, py::none());
  if (items.is_none()) return values;
  for (py::handle item : items) values.push_back(read(item));
  return values;
}

PortSpec portSpec(py::handle port) {
  return PortSpec{text(port, "name"), text(port, "description"), text(port, "type"), text(port, "direction")};
}

ParameterSpec parameterSpec(py::handle from) {
  ParameterSpec parameter;
  parameter.name = text(from, "name");
  parameter.description = text(from, "description");
  parameter.type = text(from, "type");
  parameter.mode = text(from, "mode");
  parameter.dimensionality = text(from, "dimensionality");
  parameter.defaultValue = text(from, "default_value");
  parameter.lowerBound = text(from, "lower_bound");
  parameter.upperBound = text(from, "upper_bound");
  parameter.restrictedToList = text(from, "restricted_to_list");
  parameter.options = texts(from, "options");
  return parameter;
}

SurfaceSpec surfaceSpec(py::handle surface) {
  return SurfaceSpec{text(surface, "name"), text(surface, "node_positions"), text(surface, "grid_connectivity")};
}

py::list stringList(const std::vector<std::string>& values) {
  py::list list;
  for (const std::string& value : values) list.append(py::str(value));
  return list;
}

// A model holding just `solver`, so that the tool's model reading and
// writing serve solvers too.
ModelSpec carrierOf(const ModelSpec& solver) {
  ModelSpec carrier;
  carrier.name = "solver";
  carrier.solvers.push_back(solver);
  return carrier;
}

const char kCarrierPlace[] = "solvers[0].";

// The tool's checks of a model file, applied to `described`: what is wrong, or "".
std::string problemOf(const ModelSpec& described, bool solver) {
  ModelSpec checked;
  std::string problem =
      talixdb_cli::modelFromJson(talixdb_cli::modelToJson(solver ? carrierOf(described) : described), false, checked);
  if (solver && problem.compare(0, sizeof kCarrierPlace - 1, kCarrierPlace) == 0)
    problem.erase(0, sizeof kCarrierPlace - 1);
  return problem;
}

}  // namespace

ModelSpec specFromObject(py::handle object, bool solver) {
  ModelSpec described;
  described.name = text(object, "name");
  described.description = text(object, "description");
  described.ports = objects(object, "ports", portSpec);
  described.parameters = objects(object, "parameters", parameterSpec);
  described.species = texts(object, "species");
  if (solver) {
    described.command = text(object, "command");
    described.sortedModelComponents = texts(object, "sorted_model_components");
    described.surfaces = objects(object, "surfaces", surfaceSpec);
    described.nodePositions = text(object, "node_positions");
    described.gridConnectivity = text(object, "grid_connectivity");
  } else {
    described.category = text(object, "category");
    described.type = text(object, "type");
    described.solvers = objects(object, "solvers", [](py::handle item) { return specFromObject(item, true); });
  }
  std::string problem = problemOf(described, solver);
  if (!problem.empty()) throw py::value_error(problem);
  return described;
}

py::object objectFromSpec(const ModelSpec& described, bool solver) {
  py::module_ models = py::module_::import(kModelsModule);
  py::list ports, parameters;
  for (const PortSpec& port : described.ports)
    ports.append(models.attr("Port")(py::arg("name") = port.name, py::arg("description") = port.description,
                                     py::arg("type") = port.type, py::arg("direction") = port.direction));
  for (const ParameterSpec& parameter : described.parameters)
    parameters.append(models.attr("Parameter")(
        py::arg("name") = parameter.name, py::arg("description") = parameter.description,
        py::arg("type") = parameter.type, py::arg("mode") = parameter.mode,
        py::arg("dimensionality") = parameter.dimensionality, py::arg("default_value") = parameter.defaultValue,
        py::arg("lower_bound") = parameter.lowerBound, py::arg("upper_bound") = parameter.upperBound,
        py::arg("options") = stringList(parameter.options),
        py::arg("restricted_to_list") = parameter.restrictedToList));
  py::dict fields;
  fields["name"] = described.name;
  fields["description"] = described.description;
  fields["ports"] = ports;
  fields["parameters"] = parameters;
  fields["species"] = stringList(described.species);
  if (solver) {
    py::list surfaces;
    for (const SurfaceSpec& surface : described.surfaces)
      surfaces.append(models.attr("Surface")(py::arg("name") = surface.name,
                                             py::arg("node_positions") = surface.nodePositions,
                                             py::arg("grid_connectivity") = surface.gridConnectivity));
    fields["command"] = described.command;
    fields["sorted_model_components"] = stringList(described.sortedModelComponents);
    fields["surfaces"] = surfaces;
    fields["node_positions"] = described.nodePositions;
    fields["grid_connectivity"] = described.gridConnectivity;
    return models.attr("Solver")(**fields);
  }
  py::list solvers;
  for (const ModelSpec& item : described.solvers) solvers.append(objectFromSpec(item, true));
  fields["category"] = described.category;
  fields["type"] = described.type;
  fields["solvers"] = solvers;
  return models.attr("Model")(**fields);
}

py::object objectFromJson(const std::string& text, bool solver) {
  ModelSpec described;
  std::string problem = talixdb_cli::modelFromJson(text, solver, described);
  if (!problem.empty()) throw py::value_error(problem);
  return objectFromSpec(described, solver);
}

std::string jsonFromObject(py::handle object, bool solver) {
  ModelSpec described = specFromObject(object, solver);
  if (!solver) return talixdb_cli::modelToJson(described);
  // The solver as the tool writes it inside a model, on its own.
  nlohmann::ordered_json model = nlohmann::ordered_json::parse(talixdb_cli::modelToJson(carrierOf(described)));
  return model["solvers"][0].dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace talixdb_python
