#include "catalogue/CatalogueLayout.h"

#include <cstring>
#include <vector>

#include "client/RepositoryObject.h"
#include "talixdbapi/VLTObjects.h"

namespace VLT_121 {
namespace layout {

namespace {

std::string text(const char* value) { return value != nullptr ? std::string(value) : std::string(); }

std::vector<std::string> componentList(const CVLTModel& model) {
  std::vector<std::string> items;
  for (int i = 0; i < model.getNrComponents(); ++i) items.push_back(text(model.getComponent(i)));
  return items;
}

std::vector<std::string> sortedComponentList(const CVLTModel& model) {
  std::vector<std::string> items;
  for (int i = 0; i < model.getNrSortedModelComponents(); ++i)
    items.push_back(text(model.getSortedModelComponent(i)));
  return items;
}

std::vector<std::string> optionList(const CVLTParameter& parameter) {
  std::vector<std::string> items;
  for (int i = 0; i < parameter.getNrOptions(); ++i) items.push_back(text(parameter.getOption(i)));
  return items;
}

void declare(CRepositoryObject& folder, std::initializer_list<const char*> names) {
  for (const char* name : names) folder.setUserSpecifiedProperties(name);
}

// The properties that depend on a parameter's type, after the fixed ones.
void writeTypedParameterProperties(CRepositoryObject& folder, const CVLTParameter& parameter,
                                   bool restrictedToList) {
  const char* type = parameter.getType();
  if (isOptionType(type)) {
    int nrOptions = parameter.getNrOptions();
    folder.setUserSpecifiedProperties(kNrOptions);
    folder.setIntProperty(kNrOptions, nrOptions);
    if (nrOptions > 0) {
      folder.setUserSpecifiedProperties(kOptions);
      folder.setListProperty(kOptions, optionList(parameter));
      if (restrictedToList) {
        folder.setUserSpecifiedProperties(kRestrictedToList);
        folder.setProperty(kRestrictedToList, text(parameter.getRestrictedToList()));
      }
    }
  } else if (hasBounds(type)) {
    declare(folder, {kLowerBound, kUpperBound});
    folder.setProperty(kLowerBound, text(parameter.getLowerBound()));
    folder.setProperty(kUpperBound, text(parameter.getUpperBound()));
  }
}

}  // namespace

std::string categoryPath(const std::string& root, const char* category) {
  return child(root, text(category));
}

std::string typePath(const std::string& root, const char* category, const char* type) {
  return child(categoryPath(root, category), text(type));
}

std::string modelPath(const std::string& root, const char* category, const char* type, const char* model) {
  return child(typePath(root, category, type), text(model));
}

std::string solverPath(const std::string& modelPath, const char* solverName) {
  return child(child(modelPath, kSolvers), text(solverName));
}

bool isOptionType(const char* type) { return type != nullptr && std::strcmp(type, kOptionType) == 0; }

bool hasBounds(const char* type) {
  return type != nullptr && (std::strcmp(type, kRealType) == 0 || std::strcmp(type, kIntType) == 0);
}

void writeModelProperties(CRepositoryObject& folder, const CVLTModel& model) {
  declare(folder, {kName, kDescription, kNrPorts, kNrParameters, kNrComponents, kNrSolvers, kComponents});
  folder.setProperty(kName, text(model.getName()));
  folder.setProperty(kDescription, text(model.getDescription()));
  folder.setIntProperty(kNrPorts, model.getNrPorts());
  folder.setIntProperty(kNrParameters, model.getNrParameters());
  folder.setIntProperty(kNrComponents, model.getNrComponents());
  folder.setListProperty(kComponents, componentList(model));
  folder.setIntProperty(kNrSolvers, model.getNrSolvers());
}

void writePortProperties(CRepositoryObject& folder, const CVLTPort& port) {
  declare(folder, {kName, kDescription, kType, kDirection});
  folder.setProperty(kName, text(port.getName()));
  folder.setProperty(kDescription, text(port.getDescription()));
  folder.setProperty(kType, text(port.getType()));
  folder.setProperty(kDirection, text(port.getDirection()));
}

void writeModelParameterProperties(CRepositoryObject& folder, const CVLTParameter& parameter) {
  declare(folder, {kName, kDescription, kType, kMode, kDimensionality, kDefaultValue});
  folder.setProperty(kName, text(parameter.getName()));
  folder.setProperty(kDescription, text(parameter.getDescription()));
  folder.setProperty(kType, text(parameter.getType()));
  folder.setProperty(kMode, text(parameter.getMode()));
  folder.setProperty(kDefaultValue, text(parameter.getDefaultValue()));
  folder.setProperty(kDimensionality, text(parameter.getDimensionality()));
  writeTypedParameterProperties(folder, parameter, false);
}

void writeSolverParameterProperties(CRepositoryObject& folder, const CVLTParameter& parameter) {
  declare(folder, {kName, kDescription, kType, kDefaultValue, kMode, kDimensionality});
  folder.setProperty(kName, text(parameter.getName()));
  folder.setProperty(kDescription, text(parameter.getDescription()));
  folder.setProperty(kType, text(parameter.getType()));
  folder.setProperty(kDefaultValue, text(parameter.getDefaultValue()));
  folder.setProperty(kMode, text(parameter.getMode()));
  folder.setProperty(kDimensionality, text(parameter.getDimensionality()));
  writeTypedParameterProperties(folder, parameter, true);
}

void writeSolverProperties(CRepositoryObject& folder, const CVLTModel& solver) {
  declare(folder, {kName, kDescription, kCommand, kComponents, kSortedModelComponents});
  folder.setProperty(kName, text(solver.getName()));
  folder.setProperty(kDescription, text(solver.getDescription()));
  folder.setProperty(kCommand, text(solver.getCommand()));
  folder.setListProperty(kComponents, componentList(solver));
  folder.setListProperty(kSortedModelComponents, sortedComponentList(solver));
  int nrSurfaces = solver.getNrSurfaces();
  if (nrSurfaces != 0) {
    declare(folder, {kNrPcaSurfaces, kPcaSurfaceNames});
    std::vector<std::string> names;
    for (int i = 0; i < nrSurfaces; ++i) names.push_back(text(solver.getSurfaceName(i)));
    folder.setIntProperty(kNrPcaSurfaces, nrSurfaces);
    folder.setListProperty(kPcaSurfaceNames, names);
  }
}

void readPort(const CRepositoryObject& folder, CVLTPort& port) {
  std::string name = folder.getProperty(kName);
  std::string description = folder.getProperty(kDescription);
  std::string type = folder.getProperty(kType);
  std::string direction = folder.getProperty(kDirection);
  port.setName(name.c_str());
  port.setDescription(description.c_str());
  port.setType(type.c_str());
  port.setDirection(direction.c_str());
}

void readParameter(const CRepositoryObject& folder, CVLTParameter& parameter) {
  std::string name = folder.getProperty(kName);
  std::string description = folder.getProperty(kDescription);
  std::string defaultValue = folder.getProperty(kDefaultValue);
  std::string dimensionality = folder.getProperty(kDimensionality);
  std::string mode = folder.getProperty(kMode);
  std::string type = folder.getProperty(kType);
  std::vector<std::string> options;
  std::string lower, upper;
  if (isOptionType(type.c_str())) {
    options = folder.getListProperty(kOptions);
  } else if (hasBounds(type.c_str())) {
    lower = folder.getProperty(kLowerBound);
    upper = folder.getProperty(kUpperBound);
  }
  parameter.setName(name.c_str());
  parameter.setDescription(description.c_str());
  parameter.setDefaultValue(defaultValue.c_str());
  parameter.setLowerBound(lower.c_str());
  parameter.setUpperBound(upper.c_str());
  parameter.setDimensionality(dimensionality.c_str());
  parameter.setMode(mode.c_str());
  parameter.setType(type.c_str());
  if (isOptionType(type.c_str())) {
    parameter.setNrOptions(static_cast<int>(options.size()));
    for (size_t k = 0; k < options.size(); ++k) parameter.setOption(static_cast<int>(k), options[k].c_str());
  }
}

void readModelHeader(const CRepositoryObject& folder, CVLTModel& model) {
  model.setName(folder.getProperty(kName).c_str());
  model.setDescription(folder.getProperty(kDescription).c_str());
  std::vector<std::string> components = folder.getListProperty(kComponents);
  model.setNrComponents(static_cast<int>(components.size()));
  for (size_t i = 0; i < components.size(); ++i) model.setComponent(static_cast<int>(i), components[i].c_str());
}

void readSolverHeader(const CRepositoryObject& folder, CVLTModel& solver) {
  solver.setName(folder.getProperty(kName).c_str());
  solver.setDescription(folder.getProperty(kDescription).c_str());
  solver.setCommand(folder.getProperty(kCommand).c_str());
  std::vector<std::string> components = folder.getListProperty(kComponents);
  solver.setNrComponents(static_cast<int>(components.size()));
  for (size_t i = 0; i < components.size(); ++i) solver.setComponent(static_cast<int>(i), components[i].c_str());
  std::vector<std::string> sorted = folder.getListProperty(kSortedModelComponents);
  solver.setNrSortedModelComponents(static_cast<int>(sorted.size()));
  for (size_t i = 0; i < sorted.size(); ++i)
    solver.setSortedModelComponent(static_cast<int>(i), sorted[i].c_str());
  int nrSurfaces = folder.getIntProperty(kNrPcaSurfaces);
  if (nrSurfaces != 0) {
    std::vector<std::string> names = folder.getListProperty(kPcaSurfaceNames);
    // Never past the stored list, whatever the stored count says.
    for (int i = 0; i < nrSurfaces && i < static_cast<int>(names.size()); ++i)
      solver.addSurface(names[static_cast<size_t>(i)].c_str());
  }
}

}  // namespace layout
}  // namespace VLT_121
