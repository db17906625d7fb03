// CVLTModel: a model or a solver. It owns the port, parameter and solver
// arrays handed to it and frees them when they are replaced or it dies.
#include "talixdbapi/VLTObjects.h"

#include <cstddef>
#include <vector>

#include "ObjectText.h"

namespace VLT_121 {

namespace {

template <typename T>
void adoptArray(T*& held, int& heldCount, T* array, int n);

template <typename T>
T* elementAt(std::vector<T>& list, int index);
template <typename T>
const T* elementAt(const std::vector<T>& list, int index);

}  // namespace

CVLTModel::CVLTModel() = default;

CVLTModel::~CVLTModel() {
  delete[] m_pPorts;
  delete[] m_pParameters;
  delete[] m_pSolvers;
}

CVLTModel* CVLTModel::newObject() { return new CVLTModel(); }
void CVLTModel::deleteObject(CVLTModel* model) { delete model; }
CVLTModel* CVLTModel::newArray(int n) { return new CVLTModel[n > 0 ? n : 0]; }
void CVLTModel::deleteArray(CVLTModel* models) { delete[] models; }

const char* CVLTModel::getName() const { return m_strName.c_str(); }
void CVLTModel::setName(const char* text) { m_strName = object_text::copy(text); }
const char* CVLTModel::getDescription() const { return m_strDescription.c_str(); }
void CVLTModel::setDescription(const char* text) { m_strDescription = object_text::copy(text); }
const char* CVLTModel::getCommand() const { return m_strCommand.c_str(); }
void CVLTModel::setCommand(const char* text) { m_strCommand = object_text::copy(text); }
const char* CVLTModel::getLocalDir() const { return m_strLocalDir.c_str(); }
void CVLTModel::setLocalDir(const char* text) { m_strLocalDir = object_text::copy(text); }

int CVLTModel::getNrPorts() const { return m_iNrPorts; }
CVLTPort* CVLTModel::getPorts() const { return m_pPorts; }
void CVLTModel::setPorts(int n, CVLTPort* ports) { adoptArray(m_pPorts, m_iNrPorts, ports, n); }

int CVLTModel::getNrParameters() const { return m_iNrParameters; }
CVLTParameter* CVLTModel::getParameters() const { return m_pParameters; }
void CVLTModel::setParameters(int n, CVLTParameter* parameters) {
  adoptArray(m_pParameters, m_iNrParameters, parameters, n);
}

int CVLTModel::getNrSolvers() const { return m_iNrSolvers; }
CVLTModel* CVLTModel::getSolvers() const { return m_pSolvers; }
void CVLTModel::setSolvers(int n, CVLTModel* solvers) {
  adoptArray(m_pSolvers, m_iNrSolvers, solvers, n);
}

int CVLTModel::getNrComponents() const { return object_text::count(m_vecComponents); }
const char* CVLTModel::getComponent(int index) const {
  return object_text::at(m_vecComponents, index);
}
void CVLTModel::setNrComponents(int n) { object_text::resize(m_vecComponents, n); }
void CVLTModel::setComponent(int index, const char* text) {
  object_text::set(m_vecComponents, index, text);
}

int CVLTModel::getNrSortedModelComponents() const {
  return object_text::count(m_vecSortedModelComponents);
}
const char* CVLTModel::getSortedModelComponent(int index) const {
  return object_text::at(m_vecSortedModelComponents, index);
}
void CVLTModel::setNrSortedModelComponents(int n) {
  object_text::resize(m_vecSortedModelComponents, n);
}
void CVLTModel::setSortedModelComponent(int index, const char* text) {
  object_text::set(m_vecSortedModelComponents, index, text);
}

int CVLTModel::getNrSurfaces() const { return static_cast<int>(m_vecSurfaces.size()); }

const char* CVLTModel::getSurfaceName(int index) const {
  const auto* surface = elementAt(m_vecSurfaces, index);
  return surface ? surface->name.c_str() : "";
}

void CVLTModel::addSurface(const char* name) {
  m_vecSurfaces.emplace_back();
  m_vecSurfaces.back().name = object_text::copy(name);
}

const char* CVLTModel::getNodePositions() const { return m_strNodePositions.c_str(); }

const char* CVLTModel::getNodePositions(int index) const {
  const auto* surface = elementAt(m_vecSurfaces, index);
  return surface ? surface->nodePositions.c_str() : "";
}

void CVLTModel::setNodePositions(const char* text) { m_strNodePositions = object_text::copy(text); }

void CVLTModel::setNodePositions(int index, const char* text) {
  if (auto* surface = elementAt(m_vecSurfaces, index)) {
    surface->nodePositions = object_text::copy(text);
  }
}

const char* CVLTModel::getGridConnectivity() const { return m_strGridConnectivity.c_str(); }

const char* CVLTModel::getGridConnectivity(int index) const {
  const auto* surface = elementAt(m_vecSurfaces, index);
  return surface ? surface->gridConnectivity.c_str() : "";
}

void CVLTModel::setGridConnectivity(const char* text) {
  m_strGridConnectivity = object_text::copy(text);
}

void CVLTModel::setGridConnectivity(int index, const char* text) {
  if (auto* surface = elementAt(m_vecSurfaces, index)) {
    surface->gridConnectivity = object_text::copy(text);
  }
}

namespace {

// Takes ownership of `array`, freeing the one held before unless it is the
// same array handed in again. Without an array the count is 0.
template <typename T>
void adoptArray(T*& held, int& heldCount, T* array, int n) {
  if (array != held) delete[] held;
  held = array;
  heldCount = (array && n > 0) ? n : 0;
}

// Element `index` of a vector, or null outside it.
template <typename T>
T* elementAt(std::vector<T>& list, int index) {
  const bool inside = index >= 0 && static_cast<std::size_t>(index) < list.size();
  return inside ? &list[static_cast<std::size_t>(index)] : nullptr;
}

template <typename T>
const T* elementAt(const std::vector<T>& list, int index) {
  const bool inside = index >= 0 && static_cast<std::size_t>(index) < list.size();
  return inside ? &list[static_cast<std::size_t>(index)] : nullptr;
}

}  // namespace

}  // namespace VLT_121
