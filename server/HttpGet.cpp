// The one GET the server answers: "/health", for load balancers and
// monitors. Every other GET is refused as before.
#include <string>

#include "ServiceContext.h"
#include "ServiceHooks.h"

namespace talixdb::server {

namespace {

int serveGet(struct soap* soap);

}  // namespace

void installGetHook(struct soap* soap) { soap->fget = serveGet; }

std::string healthReport(bool storeUsable) {
  return std::string("{\"server\":\"talixdb-server\",\"version\":\"") + TALIXDB_VERSION + "\",\"store\":\"" +
         (storeUsable ? "usable" : "unusable") + "\"}\n";
}

namespace {

int serveGet(struct soap* soap) {
  ServiceContext& context = ServiceContext::of(soap);
  std::string path = soap->path;
  path = path.substr(0, path.find('?'));
  if (path != "/health") {
    context.operation = "GET";
    return SOAP_GET_METHOD;
  }
  context.operation = "health";
  bool usable = context.repository().isUsable();
  // Monitors ask often: a healthy answer is only worth a debug line.
  context.outcome = usable ? "ok" : "fault: the store is not usable";
  context.level = usable ? LogLevel::Debug : LogLevel::Error;
  std::string body = healthReport(usable);
  soap->http_content = "application/json";
  soap->length = body.size();
  if (soap_response(soap, usable ? SOAP_FILE : SOAP_FILE + 503) != SOAP_OK ||
      soap_send_raw(soap, body.data(), body.size()) != SOAP_OK)
    return soap->error;
  return soap_end_send(soap);
}

}  // namespace

}  // namespace talixdb::server
