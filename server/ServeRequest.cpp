#include "ServeRequest.h"

#include "ServiceCall.h"
#include "WireTypes.h"

namespace talixdb::server {

namespace {

// What the runtime's soap_begin_serve() does, except that a POST whose body
// is not a SOAP envelope is answered with a Client fault instead of a
// closed connection.
int beginServe(struct soap* soap);

}  // namespace

int serveRequest(struct soap* soap) {
  if (beginServe(soap) != SOAP_OK) return soap->error;
  int result = talixdb_wire::soap_serve_request(soap);
  if (result != SOAP_OK && soap->error != SOAP_OK && soap->error < SOAP_STOP) return soap_send_fault(soap);
  return result;
}

namespace {

int beginServe(struct soap* soap) {
  soap_begin(soap);
  if (soap_begin_recv(soap) == SOAP_OK && soap_envelope_begin_in(soap) == SOAP_OK &&
      soap_recv_header(soap) == SOAP_OK && soap_body_begin_in(soap) == SOAP_OK)
    return SOAP_OK;
  // The runtime reports a body it could not read as an envelope with the
  // request's method as the error.
  if (soap->error == SOAP_POST) {
    soap->error = SOAP_OK;
    soap->version = 1;  // no envelope said which: answer in SOAP 1.1
    soap_sender_fault(soap, "the request is not a SOAP envelope", nullptr);
  }
  if (soap->error < SOAP_STOP) return soap_send_fault(soap);
  return soap_closesock(soap);
}

}  // namespace

}  // namespace talixdb::server
