// Operations on the object tree.
#include "operations/ServiceCall.h"
#include "operations/WireModel.h"
#include "repository/RepositoryPath.h"

using namespace talixdb::server;

namespace talixdb_wire {

namespace {

void writeObjects(struct soap* soap, const std::vector<ObjectView>& objects, ns2__SoapModelObjectArray& out);
// The path an object record names: its path, or else its parent and name.
std::string pathNamedBy(const ns2__SoapModelObject& object);

}  // namespace

int __ns1__findByPath(struct soap* soap, std::string path, ns2__SoapModelObject* response) {
  return serveSimple(soap, "findByPath", [&](ServiceContext& context) {
    writeObject(soap, context.repository().find(context.caller, path), *response);
  });
}

int __ns1__findChildrenOfPath(struct soap* soap, std::string path, ns2__SoapModelObjectArray* response) {
  return serveSimple(soap, "findChildrenOfPath", [&](ServiceContext& context) {
    writeObjects(soap, context.repository().children(context.caller, path), *response);
  });
}

int __ns1__findByQuery(struct soap* soap, std::string text, ns2__SoapModelObjectArray* response) {
  return serveSimple(soap, "findByQuery", [&](ServiceContext& context) {
    writeObjects(soap, context.repository().query(context.caller, text), *response);
  });
}

int __ns1__createModelObject(struct soap* soap, ns2__SoapModelObject* object, std::string** response) {
  return serveSimple(soap, "createModelObject", [&](ServiceContext& context) {
    if (object == nullptr) throw Refusal("no object to create");
    NewObject request;
    request.name = object->name;
    request.parentPath = object->parent;
    request.typeName = object->typeName;
    request.values = readProperties(object->properties);
    request.declarations = readProperties(object->dynProperties);
    *response = newText(soap, context.repository().create(context.caller, request));
  });
}

int __ns1__deleteModelObject(struct soap* soap, std::string path, bool** response) {
  return serveSimple(soap, "deleteModelObject", [&](ServiceContext& context) {
    *response = newBool(soap, context.repository().remove(context.caller, path));
  });
}

int __ns1__updateModelObject(struct soap* soap, ns2__SoapModelObject* object, ns2__SoapModelObject* response) {
  return serveSimple(soap, "updateModelObject", [&](ServiceContext& context) {
    if (object == nullptr) throw Refusal("no object to update");
    std::optional<PropertyList> values;
    std::optional<PropertyList> declarations;
    if (object->properties != nullptr) values = readProperties(object->properties);
    if (object->dynProperties != nullptr) declarations = readProperties(object->dynProperties);
    writeObject(soap, context.repository().update(context.caller, pathNamedBy(*object), values, declarations),
                *response);
  });
}

int __ns1__move(struct soap* soap, ns1__MoveRequestElement* request, std::string** response) {
  return serveSimple(soap, "move", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no move request");
    *response = newText(soap, context.repository().move(context.caller, request->source, request->destination));
  });
}

namespace {

void writeObjects(struct soap* soap, const std::vector<ObjectView>& objects, ns2__SoapModelObjectArray& out) {
  for (const ObjectView& object : objects) {
    if (ns2__SoapModelObject* item = newObject(soap, object)) out.item.push_back(item);
  }
}

std::string pathNamedBy(const ns2__SoapModelObject& object) {
  if (!object.path.empty()) return object.path;
  return childPath(object.parent, object.name);
}

}  // namespace

}  // namespace talixdb_wire
