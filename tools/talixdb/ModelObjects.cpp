// Between plain model values and the library's CVLTModel objects.
#include "ModelSpec.h"

namespace talixdb_cli {

namespace {

using VLT_121::CVLTModel;
using VLT_121::CVLTParameter;
using VLT_121::CVLTPort;

std::vector<std::string> listOf(int count, const char* (CVLTModel::*item)(int) const, const CVLTModel& model) {
  std::vector<std::string> values;
  for (int i = 0; i < count; ++i) values.emplace_back((model.*item)(i));
  return values;
}

}  // namespace

void fillModelObject(const ModelSpec& entry, const std::string& localDir, CVLTModel& model) {
  model.setName(entry.name.c_str());
  model.setDescription(entry.description.c_str());
  model.setCommand(entry.command.c_str());
  model.setLocalDir(localDir.c_str());

  const int nrPorts = static_cast<int>(entry.ports.size());
  model.setPorts(nrPorts, CVLTPort::newArray(nrPorts));
  for (int i = 0; i < nrPorts; ++i) {
    const PortSpec& from = entry.ports[static_cast<std::size_t>(i)];
    CVLTPort& port = model.getPorts()[i];
    port.setName(from.name.c_str());
    port.setDescription(from.description.c_str());
    port.setType(from.type.c_str());
    port.setDirection(from.direction.c_str());
  }

  const int nrParameters = static_cast<int>(entry.parameters.size());
  model.setParameters(nrParameters, CVLTParameter::newArray(nrParameters));
  for (int i = 0; i < nrParameters; ++i) {
    const ParameterSpec& from = entry.parameters[static_cast<std::size_t>(i)];
    CVLTParameter& parameter = model.getParameters()[i];
    parameter.setName(from.name.c_str());
    parameter.setDescription(from.description.c_str());
    parameter.setType(from.type.c_str());
    parameter.setMode(from.mode.c_str());
    parameter.setDimensionality(from.dimensionality.c_str());
    parameter.setDefaultValue(from.defaultValue.c_str());
    parameter.setLowerBound(from.lowerBound.c_str());
    parameter.setUpperBound(from.upperBound.c_str());
    parameter.setRestrictedToList(from.restrictedToList.c_str());
    parameter.setNrOptions(static_cast<int>(from.options.size()));
    for (std::size_t k = 0; k < from.options.size(); ++k)
      parameter.setOption(static_cast<int>(k), from.options[k].c_str());
  }

  model.setNrComponents(static_cast<int>(entry.species.size()));
  for (std::size_t i = 0; i < entry.species.size(); ++i)
    model.setComponent(static_cast<int>(i), entry.species[i].c_str());
  model.setNrSortedModelComponents(static_cast<int>(entry.sortedModelComponents.size()));
  for (std::size_t i = 0; i < entry.sortedModelComponents.size(); ++i)
    model.setSortedModelComponent(static_cast<int>(i), entry.sortedModelComponents[i].c_str());

  for (std::size_t i = 0; i < entry.surfaces.size(); ++i) {
    model.addSurface(entry.surfaces[i].name.c_str());
    model.setNodePositions(static_cast<int>(i), entry.surfaces[i].nodePositions.c_str());
    model.setGridConnectivity(static_cast<int>(i), entry.surfaces[i].gridConnectivity.c_str());
  }
  model.setNodePositions(entry.nodePositions.c_str());
  model.setGridConnectivity(entry.gridConnectivity.c_str());

  const int nrSolvers = static_cast<int>(entry.solvers.size());
  model.setSolvers(nrSolvers, CVLTModel::newArray(nrSolvers));
  for (int i = 0; i < nrSolvers; ++i)
    fillModelObject(entry.solvers[static_cast<std::size_t>(i)], localDir, model.getSolvers()[i]);
}

ModelSpec specFromModelObject(const CVLTModel& model) {
  ModelSpec entry;
  entry.name = model.getName();
  entry.description = model.getDescription();
  entry.command = model.getCommand();
  for (int i = 0; i < model.getNrPorts(); ++i) {
    const CVLTPort& port = model.getPorts()[i];
    entry.ports.push_back(PortSpec{port.getName(), port.getDescription(), port.getType(), port.getDirection()});
  }
  for (int i = 0; i < model.getNrParameters(); ++i) {
    const CVLTParameter& from = model.getParameters()[i];
    ParameterSpec parameter;
    parameter.name = from.getName();
    parameter.description = from.getDescription();
    parameter.type = from.getType();
    parameter.mode = from.getMode();
    parameter.dimensionality = from.getDimensionality();
    parameter.defaultValue = from.getDefaultValue();
    parameter.lowerBound = from.getLowerBound();
    parameter.upperBound = from.getUpperBound();
    parameter.restrictedToList = from.getRestrictedToList();
    for (int k = 0; k < from.getNrOptions(); ++k) parameter.options.emplace_back(from.getOption(k));
    entry.parameters.push_back(parameter);
  }
  entry.species = listOf(model.getNrComponents(), &CVLTModel::getComponent, model);
  entry.sortedModelComponents = listOf(model.getNrSortedModelComponents(), &CVLTModel::getSortedModelComponent, model);
  for (int i = 0; i < model.getNrSurfaces(); ++i)
    entry.surfaces.push_back(
        SurfaceSpec{model.getSurfaceName(i), model.getNodePositions(i), model.getGridConnectivity(i)});
  entry.nodePositions = model.getNodePositions();
  entry.gridConnectivity = model.getGridConnectivity();
  for (int i = 0; i < model.getNrSolvers(); ++i) entry.solvers.push_back(specFromModelObject(model.getSolvers()[i]));
  return entry;
}

}  // namespace talixdb_cli
