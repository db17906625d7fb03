// CVLTPort: a port of a model or solver, four texts.
#include "talixdbapi/VLTObjects.h"

#include "ObjectText.h"

namespace VLT_121 {

CVLTPort::CVLTPort() = default;
CVLTPort::~CVLTPort() = default;
CVLTPort::CVLTPort(const CVLTPort&) = default;
CVLTPort& CVLTPort::operator=(const CVLTPort&) = default;

CVLTPort* CVLTPort::newArray(int n) { return new CVLTPort[n > 0 ? n : 0]; }
void CVLTPort::deleteArray(CVLTPort* ports) { delete[] ports; }

const char* CVLTPort::getName() const { return m_strName.c_str(); }
void CVLTPort::setName(const char* text) { m_strName = object_text::copy(text); }
const char* CVLTPort::getDescription() const { return m_strDescription.c_str(); }
void CVLTPort::setDescription(const char* text) { m_strDescription = object_text::copy(text); }
const char* CVLTPort::getType() const { return m_strType.c_str(); }
void CVLTPort::setType(const char* text) { m_strType = object_text::copy(text); }
const char* CVLTPort::getDirection() const { return m_strDirection.c_str(); }
void CVLTPort::setDirection(const char* text) { m_strDirection = object_text::copy(text); }

}  // namespace VLT_121
