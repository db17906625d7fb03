// Users, groups, workspaces and access entries.
#include "operations/ServiceCall.h"
#include "operations/WireModel.h"

using namespace talixdb::server;

namespace talixdb_wire {

int __ns1__createUser(struct soap* soap, ns1__CreateUserRequestElement* request, std::string** response) {
  return serveSimple(soap, "createUser", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no user to create");
    *response = newText(soap, context.repository().createUser(context.caller, request->username, request->password));
  });
}

int __ns1__getGroups(struct soap* soap, std::string user, ns2__GetGroupsResponseStruct* response) {
  return serveSimple(soap, "getGroups", [&](ServiceContext& context) {
    response->item = context.repository().groups(context.caller, user);
  });
}

int __ns1__getWorkspaces(struct soap* soap, ns1__GetWorkspacesResponseElement* response) {
  return serveSimple(soap, "getWorkspaces", [&](ServiceContext& context) {
    context.repository().requireSession(context.caller);
    response->workspaces = {"Default"};
  });
}

int __ns1__addPermission(struct soap* soap, ns2__PermissionRequest* request, bool** response) {
  return serveSimple(soap, "addPermission", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no permission request");
    *response = newBool(soap, context.repository().addPermission(context.caller, request->path, request->permission,
                                                                  request->member));
  });
}

int __ns1__removePermission(struct soap* soap, ns2__PermissionRequest* request, bool** response) {
  return serveSimple(soap, "removePermission", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no permission request");
    *response = newBool(soap, context.repository().removePermission(context.caller, request->path,
                                                                     request->permission, request->member));
  });
}

int __ns1__hasPermission(struct soap* soap, ns2__PermissionRequest* request, bool** response) {
  return serveSimple(soap, "hasPermission", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no permission request");
    *response = newBool(soap, context.repository().hasPermission(context.caller, request->path, request->permission,
                                                                  request->member));
  });
}

}  // namespace talixdb_wire
