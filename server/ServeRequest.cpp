#include "ServeRequest.h"

#include "WireTypes.h"

namespace talixdb::server {

int serveRequest(struct soap* soap) {
  // A malformed envelope is answered with a fault inside soap_begin_serve.
  if (soap_begin_serve(soap)) return soap->error;
  int result = talixdb_wire::soap_serve_request(soap);
  if (result != SOAP_OK && soap->error != SOAP_OK && soap->error < SOAP_STOP) return soap_send_fault(soap);
  return result;
}

}  // namespace talixdb::server
