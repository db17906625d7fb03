#include "ServeRequest.h"

#include <cstring>
#include <string>

#include "ServiceUris.h"
#include "soapH.h"

namespace talixdb::server {

namespace {

bool namesGetWorkspaces(const char* action);
// The body holds no element: finish reading, run the operation, and write
// the response element in the two passes the runtime uses (count, send).
int serveGetWorkspaces(struct soap* soap);

}  // namespace

int serveRequest(struct soap* soap) {
  // A malformed envelope is answered with a fault inside soap_begin_serve.
  if (soap_begin_serve(soap)) return soap->error;
  int result = namesGetWorkspaces(soap->action) ? serveGetWorkspaces(soap) : soap_serve_request(soap);
  if (result != SOAP_OK && soap->error != SOAP_OK && soap->error < SOAP_STOP) return soap_send_fault(soap);
  return result;
}

namespace {

bool namesGetWorkspaces(const char* action) {
  static const std::string kAction = std::string(TALIXDB_NS1_URI) + "getWorkspaces";
  return action != nullptr && kAction == action;
}

int serveGetWorkspaces(struct soap* soap) {
  ns1__GetWorkspacesResponseElement response;
  response.soap_default(soap);
  if (soap_body_end_in(soap) || soap_envelope_end_in(soap) || soap_end_recv(soap)) return soap->error;
  soap->error = __ns1__getWorkspaces(soap, nullptr, &response);
  if (soap->error) return soap->error;
  soap->encodingStyle = nullptr;  // literal style
  soap_serializeheader(soap);
  response.soap_serialize(soap);
  const char* tag = "ns1:GetWorkspacesResponseElement";
  if (soap_begin_count(soap)) return soap->error;
  if ((soap->mode & SOAP_IO_LENGTH) &&
      (soap_envelope_begin_out(soap) || soap_putheader(soap) || soap_body_begin_out(soap) ||
       response.soap_put(soap, tag, "") || soap_body_end_out(soap) || soap_envelope_end_out(soap)))
    return soap->error;
  if (soap_end_count(soap) || soap_response(soap, SOAP_OK) || soap_envelope_begin_out(soap) ||
      soap_putheader(soap) || soap_body_begin_out(soap) || response.soap_put(soap, tag, "") ||
      soap_body_end_out(soap) || soap_envelope_end_out(soap) || soap_end_send(soap))
    return soap->error;
  return soap_closesock(soap);
}

}  // namespace

}  // namespace talixdb::server
