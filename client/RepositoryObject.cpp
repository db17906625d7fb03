#include "client/RepositoryObject.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "client/SoapMemory.h"

namespace VLT_121 {

namespace {

const char kDeclarationValue[] = "User Specified Properties";
constexpr int kItemTypeCreated = 5;
constexpr int kItemTypeReplacedList = 0;

ns2__SoapVariantMapItem* findItem(const ns2__SoapVariantMap* map, const std::string& name) {
  if (map == nullptr) return nullptr;
  for (ns2__SoapVariantMapItem* item : map->item)
    if (item != nullptr && item->key != nullptr && *item->key == name) return item;
  return nullptr;
}

// The value item of a property, or null when absent or without a value.
const ns2__SoapVariant* findValue(const ns2__SoapVariantMap* map, const std::string& name) {
  const ns2__SoapVariantMapItem* item = findItem(map, name);
  return item == nullptr ? nullptr : item->item;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The characters that an encoded value may carry as "%XY".
bool decodableCharacter(int code) {
  switch (code) {
    case 0x09: case 0x0A: case 0x0D:
    case 0x20: case 0x21: case 0x22: case 0x23: case 0x24: case 0x25: case 0x26: case 0x27:
    case 0x28: case 0x29: case 0x2A: case 0x2B: case 0x2C: case 0x2D: case 0x2E: case 0x2F:
    case 0x3A: case 0x3B: case 0x3C: case 0x3D: case 0x3E: case 0x3F:
      return true;
    default:
      return false;
  }
}

// Sets a property item in `map`, creating it in the binding's context.
void putVariant(struct soap* soap, ns2__SoapVariantMap* map, const std::string& name,
                const std::vector<std::string>& items, bool isList, int newItemType,
                int replacedItemType) {
  if (soap == nullptr || map == nullptr) return;
  // The runtime's allocations return null when memory runs out: a property
  // left out silently would be stored as missing, so that throws.
  if (ns2__SoapVariantMapItem* item = findItem(map, name)) {
    if (item->item == nullptr) item->item = soap_new_ns2__SoapVariant(soap);
    if (item->item == nullptr) throw std::bad_alloc();
    item->item->item = items;
    item->item->itemList = isList;
    item->item->itemType = replacedItemType;
    return;
  }
  auto* item = soap_new_ns2__SoapVariantMapItem(soap);
  auto* key = soap_new_std__string(soap);
  auto* value = soap_new_ns2__SoapVariant(soap);
  if (item == nullptr || key == nullptr || value == nullptr) throw std::bad_alloc();
  *key = name;
  value->itemType = newItemType;
  value->itemList = isList;
  value->item = items;
  item->key = key;
  item->item = value;
  map->item.push_back(item);
}

}  // namespace

std::string decodePropertyValue(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      // "%" takes the next two characters, whatever they are; a sequence cut
      // short by the end of the text is dropped.
      if (i + 2 < text.size()) {
        int high = hexDigit(text[i + 1]);
        int low = hexDigit(text[i + 2]);
        if (high >= 0 && low >= 0 && decodableCharacter(high * 16 + low))
          out.push_back(static_cast<char>(high * 16 + low));
      }
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string decodeListItem(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i++];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      if (i >= text.size()) break;
      char last = text[i++];
      if (last == '2') {
        if (i >= text.size()) break;
        char next = text[i++];
        if (next == '2') out.push_back('"');
        else if (next == 'F') out.push_back('/');
        last = next;
      }
      if (last == '3') {
        if (i >= text.size()) break;
        char next = text[i++];
        if (next == 'D' || next == 'd') out.push_back('=');
      }
    } else {
      out.push_back(c);
    }
  }
  return out;
}

CRepositoryObject::CRepositoryObject(QuillonBinding* binding) : m_pObject(nullptr), m_pBinding(binding) {
  struct soap* soap = binding != nullptr ? binding->soap : nullptr;
  if (soap == nullptr) return;
  m_pObject = soap_new_ns2__SoapModelObject(soap);
  if (m_pObject == nullptr) throw std::bad_alloc();
  m_pObject->dynProperties = soap_new_ns2__SoapVariantMap(soap);
  m_pObject->properties = soap_new_ns2__SoapVariantMap(soap);
  m_pObject->children = soap_new_ns2__SoapVariantMap(soap);
  if (m_pObject->dynProperties == nullptr || m_pObject->properties == nullptr || m_pObject->children == nullptr) {
    release();
    throw std::bad_alloc();
  }
}

CRepositoryObject::CRepositoryObject(QuillonBinding* binding, ns2__SoapModelObject* object)
    : m_pObject(object), m_pBinding(binding) {}

CRepositoryObject::~CRepositoryObject() { release(); }

void CRepositoryObject::release() {
  if (m_pObject != nullptr && m_pBinding != nullptr) destroyModelObject(m_pBinding->soap, m_pObject);
  m_pObject = nullptr;
}

std::string CRepositoryObject::getName() const { return m_pObject ? m_pObject->name : std::string(); }
std::string CRepositoryObject::getParent() const { return m_pObject ? m_pObject->parent : std::string(); }
std::string CRepositoryObject::getPath() const { return m_pObject ? m_pObject->path : std::string(); }
std::string CRepositoryObject::getTypeName() const { return m_pObject ? m_pObject->typeName : std::string(); }

void CRepositoryObject::setName(std::string value) {
  if (m_pObject) m_pObject->name = std::move(value);
}
void CRepositoryObject::setParent(std::string value) {
  if (m_pObject) m_pObject->parent = std::move(value);
}
void CRepositoryObject::setPath(std::string value) {
  if (m_pObject) m_pObject->path = std::move(value);
}
void CRepositoryObject::setTypeName(std::string value) {
  if (m_pObject) m_pObject->typeName = std::move(value);
}

std::vector<std::string> CRepositoryObject::getChildNames() const {
  return m_pObject ? m_pObject->childNames : std::vector<std::string>();
}

void CRepositoryObject::setChildNames(std::vector<std::string> names) {
  if (m_pObject) m_pObject->childNames = std::move(names);
}

std::string CRepositoryObject::create() {
  if (m_pObject == nullptr || m_pBinding == nullptr) return std::string();
  std::string path;
  int rc = m_pBinding->createModelObject(m_pObject, path);
  if (rc != SOAP_OK) {
    if (m_pBinding->soap != nullptr) soap_print_fault(m_pBinding->soap, stderr);
    return std::string();
  }
  return path;
}

std::string CRepositoryObject::getProperty(const std::string& name) const {
  const ns2__SoapVariant* value = findValue(m_pObject ? m_pObject->properties : nullptr, name);
  if (value == nullptr || value->item.empty()) return std::string();
  return decodePropertyValue(value->item.front());
}

int CRepositoryObject::getIntProperty(const std::string& name) const {
  std::string text = getProperty(name);
  return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

std::vector<std::string> CRepositoryObject::getListProperty(const std::string& name) const {
  std::vector<std::string> values;
  const ns2__SoapVariant* value = findValue(m_pObject ? m_pObject->properties : nullptr, name);
  if (value == nullptr) return values;
  values.reserve(value->item.size());
  for (const std::string& item : value->item) values.push_back(decodeListItem(item));
  return values;
}

std::vector<std::string> CRepositoryObject::getPropertyNames() const {
  std::vector<std::string> names;
  if (m_pObject == nullptr || m_pObject->properties == nullptr) return names;
  for (const ns2__SoapVariantMapItem* item : m_pObject->properties->item)
    if (item != nullptr && item->key != nullptr) names.push_back(*item->key);
  return names;
}

void CRepositoryObject::setProperty(const std::string& name, const std::string& value) {
  if (m_pObject == nullptr || m_pBinding == nullptr) return;
  putVariant(m_pBinding->soap, m_pObject->properties, name, {value}, false, kItemTypeCreated,
             kItemTypeCreated);
}

void CRepositoryObject::setIntProperty(const std::string& name, int value) {
  char text[32];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  setProperty(name, text);
}

void CRepositoryObject::setListProperty(const std::string& name, const std::vector<std::string>& values) {
  if (m_pObject == nullptr || m_pBinding == nullptr) return;
  putVariant(m_pBinding->soap, m_pObject->properties, name, values, true, kItemTypeCreated,
             kItemTypeReplacedList);
}

void CRepositoryObject::setUserSpecifiedProperties(const std::string& name) {
  if (m_pObject == nullptr || m_pBinding == nullptr) return;
  putVariant(m_pBinding->soap, m_pObject->dynProperties, name, {kDeclarationValue}, false,
             kItemTypeCreated, kItemTypeCreated);
}

}  // namespace VLT_121
