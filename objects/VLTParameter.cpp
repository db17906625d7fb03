// CVLTParameter: a parameter of a model or solver, its texts and its options.
#include "talixdbapi/VLTObjects.h"

#include "ObjectText.h"

namespace VLT_121 {

CVLTParameter::CVLTParameter() = default;
CVLTParameter::~CVLTParameter() = default;
CVLTParameter::CVLTParameter(const CVLTParameter&) = default;
CVLTParameter& CVLTParameter::operator=(const CVLTParameter&) = default;

CVLTParameter* CVLTParameter::newArray(int n) { return new CVLTParameter[n > 0 ? n : 0]; }
void CVLTParameter::deleteArray(CVLTParameter* parameters) { delete[] parameters; }

const char* CVLTParameter::getName() const { return m_strName.c_str(); }
void CVLTParameter::setName(const char* text) { m_strName = object_text::copy(text); }
const char* CVLTParameter::getDescription() const { return m_strDescription.c_str(); }
void CVLTParameter::setDescription(const char* text) { m_strDescription = object_text::copy(text); }
const char* CVLTParameter::getType() const { return m_strType.c_str(); }
void CVLTParameter::setType(const char* text) { m_strType = object_text::copy(text); }
const char* CVLTParameter::getMode() const { return m_strMode.c_str(); }
void CVLTParameter::setMode(const char* text) { m_strMode = object_text::copy(text); }
const char* CVLTParameter::getDimensionality() const { return m_strDimensionality.c_str(); }
void CVLTParameter::setDimensionality(const char* text) {
  m_strDimensionality = object_text::copy(text);
}
const char* CVLTParameter::getDefaultValue() const { return m_strDefaultValue.c_str(); }
void CVLTParameter::setDefaultValue(const char* text) {
  m_strDefaultValue = object_text::copy(text);
}
const char* CVLTParameter::getLowerBound() const { return m_strLowerBound.c_str(); }
void CVLTParameter::setLowerBound(const char* text) { m_strLowerBound = object_text::copy(text); }
const char* CVLTParameter::getUpperBound() const { return m_strUpperBound.c_str(); }
void CVLTParameter::setUpperBound(const char* text) { m_strUpperBound = object_text::copy(text); }
const char* CVLTParameter::getRestrictedToList() const { return m_strRestrictedToList.c_str(); }
void CVLTParameter::setRestrictedToList(const char* text) {
  m_strRestrictedToList = object_text::copy(text);
}

int CVLTParameter::getNrOptions() const { return object_text::count(m_vecOptions); }
void CVLTParameter::setNrOptions(int n) { object_text::resize(m_vecOptions, n); }
const char* CVLTParameter::getOption(int index) const {
  return object_text::at(m_vecOptions, index);
}
void CVLTParameter::setOption(int index, const char* text) {
  object_text::set(m_vecOptions, index, text);
}

}  // namespace VLT_121
