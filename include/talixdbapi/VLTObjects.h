// VLTObjects: in-memory models, ports and parameters. A solver is a CVLTModel
// too. Every setter copies its text; a getter's text stays valid until the next
// setter call on the same object. Indexes run from 0; an index outside the
// sized range reads as empty text and is ignored by setters.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "talixdbapi/Export.h"

namespace VLT_121 {

class TALIXDBAPI_EXPORT CVLTPort {
 public:
  CVLTPort();
  ~CVLTPort();
  CVLTPort(const CVLTPort&);
  CVLTPort& operator=(const CVLTPort&);

  // n empty ports (n <= 0 gives a valid empty array); free with deleteArray
  // unless handed to CVLTModel::setPorts, which adopts it.
  static CVLTPort* newArray(int n);
  static void deleteArray(CVLTPort* ports);

  const char* getName() const;
  void setName(const char* text);
  const char* getDescription() const;
  void setDescription(const char* text);
  const char* getType() const;
  void setType(const char* text);
  const char* getDirection() const;
  void setDirection(const char* text);

 private:
  std::string m_strName, m_strDescription, m_strType, m_strDirection;
};

class TALIXDBAPI_EXPORT CVLTParameter {
 public:
  CVLTParameter();
  ~CVLTParameter();
  CVLTParameter(const CVLTParameter&);
  CVLTParameter& operator=(const CVLTParameter&);

  // n empty parameters; free with deleteArray unless adopted by setParameters.
  static CVLTParameter* newArray(int n);
  static void deleteArray(CVLTParameter* parameters);

  const char* getName() const;
  void setName(const char* text);
  const char* getDescription() const;
  void setDescription(const char* text);
  const char* getType() const;
  void setType(const char* text);
  const char* getMode() const;
  void setMode(const char* text);
  const char* getDimensionality() const;
  void setDimensionality(const char* text);
  const char* getDefaultValue() const;
  void setDefaultValue(const char* text);
  const char* getLowerBound() const;
  void setLowerBound(const char* text);
  const char* getUpperBound() const;
  void setUpperBound(const char* text);
  const char* getRestrictedToList() const;
  void setRestrictedToList(const char* text);

  // Options: setNrOptions sizes the list (empty texts), setOption fills it.
  int getNrOptions() const;
  void setNrOptions(int n);
  const char* getOption(int index) const;
  void setOption(int index, const char* text);

 private:
  std::string m_strName, m_strDescription, m_strType, m_strMode, m_strDimensionality;
  std::string m_strDefaultValue, m_strLowerBound, m_strUpperBound, m_strRestrictedToList;
  std::vector<std::string> m_vecOptions;
};

class TALIXDBAPI_EXPORT CVLTModel {
 public:
  CVLTModel();
  ~CVLTModel();
  CVLTModel(const CVLTModel&) = delete;
  CVLTModel& operator=(const CVLTModel&) = delete;

  // A new empty model; free with deleteObject (or delete).
  static CVLTModel* newObject();
  static void deleteObject(CVLTModel* model);
  // n empty models; free with deleteArray unless adopted by setSolvers.
  static CVLTModel* newArray(int n);
  static void deleteArray(CVLTModel* models);

  const char* getName() const;
  void setName(const char* text);
  const char* getDescription() const;
  void setDescription(const char* text);
  const char* getCommand() const;
  void setCommand(const char* text);
  // Local directory that holds a solver's files.
  const char* getLocalDir() const;
  void setLocalDir(const char* text);

  // Ports, parameters and solvers: set* adopts an array made by the matching
  // newArray (freeing the one held before) and records its count; n must not
  // exceed the array's length. get* returns the held array (null when none).
  int getNrPorts() const;
  CVLTPort* getPorts() const;
  void setPorts(int n, CVLTPort* ports);
  int getNrParameters() const;
  CVLTParameter* getParameters() const;
  void setParameters(int n, CVLTParameter* parameters);
  int getNrSolvers() const;
  CVLTModel* getSolvers() const;
  void setSolvers(int n, CVLTModel* solvers);

  // Components (species) and sorted model components: setNr* sizes the list.
  int getNrComponents() const;
  const char* getComponent(int index) const;
  void setNrComponents(int n);
  void setComponent(int index, const char* text);
  int getNrSortedModelComponents() const;
  const char* getSortedModelComponent(int index) const;
  void setNrSortedModelComponents(int n);
  void setSortedModelComponent(int index, const char* text);

  // Surfaces: names in order of addSurface; grid texts per surface.
  int getNrSurfaces() const;
  const char* getSurfaceName(int index) const;
  void addSurface(const char* name);

  // Grid texts of the whole solver (no index) or of surface `index`.
  const char* getNodePositions() const;
  const char* getNodePositions(int index) const;
  void setNodePositions(const char* text);
  void setNodePositions(int index, const char* text);
  const char* getGridConnectivity() const;
  const char* getGridConnectivity(int index) const;
  void setGridConnectivity(const char* text);
  void setGridConnectivity(int index, const char* text);

 private:
  struct Surface {
    std::string name, nodePositions, gridConnectivity;
  };
  std::string m_strName, m_strDescription, m_strCommand, m_strLocalDir;
  std::string m_strNodePositions, m_strGridConnectivity;
  int m_iNrPorts = 0, m_iNrParameters = 0, m_iNrSolvers = 0;
  CVLTPort* m_pPorts = nullptr;
  CVLTParameter* m_pParameters = nullptr;
  CVLTModel* m_pSolvers = nullptr;
  std::vector<std::string> m_vecComponents, m_vecSortedModelComponents;
  std::vector<Surface> m_vecSurfaces;
};

}  // namespace VLT_121
