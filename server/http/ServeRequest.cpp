#include "http/ServeRequest.h"

#include <cstring>

#include "ServiceUris.h"
#include "WireTypes.h"
#include "base/ClientText.h"
#include "http/ServiceHooks.h"
#include "operations/ServiceCall.h"

namespace talixdb::server {

namespace {

// What the runtime's soap_begin_serve() does: reads the HTTP header and the
// envelope up to the start of its body.
int beginServe(struct soap* soap);
// uploadFiles as the generated skeleton serves it, except that the sizes the
// envelope declares are noted before the attachments are read, so that a
// file over the upload limit is refused before its bytes arrive.
int serveUpload(struct soap* soap);
// Answers a request that failed before or while its operation ran: a request
// whose bytes were refused gets that refusal, a POST whose body is not a SOAP
// envelope a Client fault (instead of a closed connection), and a fault of
// the runtime a text no longer than kEchoFaultBytes.
int sendFault(struct soap* soap);

}  // namespace

int serveRequest(struct soap* soap) {
  if (beginServe(soap) != SOAP_OK) {
    // A POST to another path (see installHttpHooks).
    if (soap->error == 404) {
      soap->error = refuseHttpTarget(soap, "POST");
      return soap_closesock(soap);
    }
    return sendFault(soap);
  }
  const char* action = soap->action;
  int result = action != nullptr && std::strcmp(action, TALIXDB_NS1_URI "uploadFiles") == 0
                   ? serveUpload(soap)
                   : talixdb_wire::soap_serve_request(soap);
  if (result == SOAP_OK || soap->error == SOAP_OK) return result;
  return sendFault(soap);
}

namespace {

int beginServe(struct soap* soap) {
  soap_begin(soap);
  if (soap_begin_recv(soap) == SOAP_OK && soap_envelope_begin_in(soap) == SOAP_OK &&
      soap_recv_header(soap) == SOAP_OK && soap_body_begin_in(soap) == SOAP_OK)
    return SOAP_OK;
  return soap->error;
}

int serveUpload(struct soap* soap) {
  using namespace talixdb_wire;
  ServiceContext& context = ServiceContext::of(soap);
  struct __ns1__uploadFiles request;
  soap_default___ns1__uploadFiles(soap, &request);
  if (!soap_get___ns1__uploadFiles(soap, &request, "-ns1:uploadFiles", nullptr)) return soap->error;
  if (request.ns2__UploadFilesRequestElement != nullptr) {
    for (const ns2__UploadFile* file : request.ns2__UploadFilesRequestElement->uploadFiles) {
      if (file != nullptr) context.declaredSizes.push_back(file->size);
    }
  }
  if (soap_body_end_in(soap) || soap_envelope_end_in(soap) || soap_end_recv(soap)) return soap->error;
  ns2__UploadFilesResponseStruct response;
  response.soap_default(soap);
  soap->error = __ns1__uploadFiles(soap, request.ns2__UploadFilesRequestElement, &response);
  if (soap->error != SOAP_OK) return soap->error;
  const char* const tag = "ns2:UploadFilesResponseElement";
  soap->encodingStyle = nullptr;
  soap_serializeheader(soap);
  response.soap_serialize(soap);
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

int sendFault(struct soap* soap) {
  ServiceContext& context = ServiceContext::of(soap);
  // A body that ended before its Content-Length (the client went, or its
  // time ran out) is no request to answer: the connection is closed.
  const bool bodyCut = context.streamEnded && context.messageEnd > 0 && context.bytesReceived < context.messageEnd;
  if (context.inputRefusal.empty() && (bodyCut || !context.cut.empty())) return soap_closesock(soap);
  std::string refusal = context.inputRefusal;
  if (refusal.empty() && soap->error == SOAP_POST) refusal = "the request is not a SOAP envelope";
  if (!refusal.empty()) {
    soap->error = SOAP_OK;
    if (soap->version == 0) soap->version = 1;  // no envelope said which: answer in SOAP 1.1
    clientFault(soap, context.inputRefusalCode, refusal);
  }
  if (soap->error == SOAP_OK || soap->error >= SOAP_STOP) return soap_closesock(soap);
  soap_set_fault(soap);
  const char** text = soap_faultstring(soap);
  if (*text != nullptr && std::strlen(*text) > kEchoFaultBytes)
    *text = soap_strdup(soap, echo(*text, kEchoFaultBytes).c_str());
  const char** detail = soap_faultdetail(soap);
  if (detail != nullptr && *detail != nullptr && std::strlen(*detail) > kEchoFaultBytes)
    *detail = soap_strdup(soap, echo(*detail, kEchoFaultBytes).c_str());
  return soap_send_fault(soap);
}

}  // namespace

}  // namespace talixdb::server
