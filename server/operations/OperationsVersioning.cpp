// Check-out flags and check-in policies.
#include "operations/ServiceCall.h"
#include "operations/WireModel.h"

using namespace talixdb::server;

namespace talixdb_wire {

int __ns1__checkout(struct soap* soap, ns1__CheckoutRequestElement* request, bool** response) {
  return serveSimple(soap, "checkout", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no checkout request");
    *response = newBool(soap, context.repository().checkout(context.caller, request->id, request->recursive));
  });
}

int __ns1__checkin(struct soap* soap, ns1__CheckinRequestElement* request, bool** response) {
  return serveSimple(soap, "checkin", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no checkin request");
    *response = newBool(
        soap, context.repository().checkin(context.caller, request->id, request->comment, request->recursive));
  });
}

int __ns1__isCheckedOut(struct soap* soap, std::string path, bool** response) {
  return serveSimple(soap, "isCheckedOut", [&](ServiceContext& context) {
    *response = newBool(soap, context.repository().isCheckedOut(context.caller, path));
  });
}

int __ns1__isCheckinEnabled(struct soap* soap, std::string path, bool** response) {
  return serveSimple(soap, "isCheckinEnabled", [&](ServiceContext& context) {
    *response = newBool(soap, context.repository().isCheckinEnabled(context.caller, path));
  });
}

int __ns1__setCheckinPolicy(struct soap* soap, ns1__SetCheckinPolicyRequestElement* request, bool** response) {
  return serveSimple(soap, "setCheckinPolicy", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no checkin policy request");
    *response = newBool(soap, context.repository().setCheckinPolicy(context.caller, request->objectId,
                                                                     request->policy, request->recursive));
  });
}

}  // namespace talixdb_wire
