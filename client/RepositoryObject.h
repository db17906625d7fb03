// CRepositoryObject: a handle on one repository object (a SoapModelObject
// allocated in the binding's runtime context) with typed property access.
// Handles come from `new` (CRepositoryClient::findByPath or the caller); the
// caller calls release() and then deletes the handle.
#pragma once

#include <string>
#include <vector>

#include "client/QuillonBinding.h"

namespace VLT_121 {

class CRepositoryObject {
 public:
  // A new empty object whose maps live in the binding's context.
  explicit CRepositoryObject(QuillonBinding* binding);
  // Wraps an object read from a reply (allocated in the binding's context).
  CRepositoryObject(QuillonBinding* binding, ns2__SoapModelObject* object);
  ~CRepositoryObject();
  CRepositoryObject(const CRepositoryObject&) = delete;
  CRepositoryObject& operator=(const CRepositoryObject&) = delete;

  // Destroys the wrapped object; the handle is empty afterwards.
  void release();

  std::string getName() const;
  std::string getParent() const;
  std::string getPath() const;
  std::string getTypeName() const;
  void setName(std::string value);
  void setParent(std::string value);
  void setPath(std::string value);
  void setTypeName(std::string value);
  std::vector<std::string> getChildNames() const;
  void setChildNames(std::vector<std::string> names);

  // Sends createModelObject; the new object's path, or "" on failure (the
  // runtime's fault report then goes to standard error).
  std::string create();

  // Decoded single value ("" when absent).
  std::string getProperty(const std::string& name) const;
  // strtol of getProperty, base 10; 0 when absent or not a number.
  int getIntProperty(const std::string& name) const;
  // All items, lightly decoded; empty when absent.
  std::vector<std::string> getListProperty(const std::string& name) const;
  // Keys of the properties map, in map order.
  std::vector<std::string> getPropertyNames() const;
  void setProperty(const std::string& name, const std::string& value);
  void setIntProperty(const std::string& name, int value);
  void setListProperty(const std::string& name, const std::vector<std::string>& values);
  // Declares a property: dynProperties[name] = "User Specified Properties".
  void setUserSpecifiedProperties(const std::string& name);

  ns2__SoapModelObject* object() const { return m_pObject; }

 private:
  ns2__SoapModelObject* m_pObject;
  QuillonBinding* m_pBinding;
};

// Value decoding of single values, exposed for the unit tests.
std::string decodePropertyValue(const std::string& text);
// The lighter decoding of list items.
std::string decodeListItem(const std::string& text);

}  // namespace VLT_121
