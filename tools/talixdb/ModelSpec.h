// A model or solver as plain values: what the JSON files hold, and the
// go-between for the library's CVLTModel objects.
#pragma once

#include <string>
#include <vector>

#include "talixdbapi/VLTObjects.h"

namespace talixdb_cli {

struct PortSpec {
  std::string name, description, type, direction;
};

struct ParameterSpec {
  std::string name, description, type, mode, dimensionality, defaultValue;
  std::string lowerBound, upperBound, restrictedToList;
  std::vector<std::string> options;
};

struct SurfaceSpec {
  std::string name, nodePositions, gridConnectivity;
};

struct ModelSpec {
  // Where a model file says it belongs; empty when it does not say.
  std::string category, type;
  std::string name, description, command;
  std::vector<PortSpec> ports;
  std::vector<ParameterSpec> parameters;
  std::vector<std::string> species;
  std::vector<std::string> sortedModelComponents;
  std::vector<SurfaceSpec> surfaces;
  // Grids of a solver without named surfaces.
  std::string nodePositions, gridConnectivity;
  std::vector<ModelSpec> solvers;
};

// Reads a model file (`solver` false) or a solver file (`solver` true).
// Returns "" or what is wrong, naming the place: "parameters[2].options must
// be a list of texts".
std::string modelFromJson(const std::string& text, bool solver, ModelSpec& entry);
// Writes a model (with category, type and solvers) as indented JSON.
std::string modelToJson(const ModelSpec& entry);

// Fills an empty CVLTModel from `entry`, solvers included; a solver's local
// directory is set to `localDir`.
void fillModelObject(const ModelSpec& entry, const std::string& localDir, VLT_121::CVLTModel& model);
// The values of a CVLTModel and of its solvers (grids as the object holds them).
ModelSpec specFromModelObject(const VLT_121::CVLTModel& model);

// The local file that a solver's "file-system" parameter lists but that is
// missing below `localDir`, as a message; "" when every listed file is there.
std::string missingSolverFile(const ModelSpec& solver, const std::string& localDir);

}  // namespace talixdb_cli
