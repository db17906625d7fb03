// The GETs the server answers: "/health", for load balancers and monitors,
// and the service description at the service's path with the query "wsdl",
// for other SOAP toolkits. Every other GET is refused as before.
#include <strings.h>

#include <regex>
#include <string>

#include "ServiceContext.h"
#include "ServiceDescription.h"
#include "ServiceHooks.h"

namespace talixdb::server {

namespace {

constexpr const char* kServicePath = "/vlt/services/QuillonBinding";

int serveGet(struct soap* soap);
int serveHealth(struct soap* soap, ServiceContext& context);
int serveDescription(struct soap* soap, ServiceContext& context);
int sendBody(struct soap* soap, int status, const char* contentType, const std::string& body);
std::string describedServiceAddress(const std::string& requestEndpoint);

}  // namespace

void installGetHook(struct soap* soap) { soap->fget = serveGet; }

std::string healthReport(bool storeUsable) {
  return std::string("{\"server\":\"talixdb-server\",\"version\":\"") + TALIXDB_VERSION + "\",\"store\":\"" +
         (storeUsable ? "usable" : "unusable") + "\"}\n";
}

namespace {

int serveGet(struct soap* soap) {
  ServiceContext& context = ServiceContext::of(soap);
  std::string target = soap->path;
  std::size_t question = target.find('?');
  std::string path = target.substr(0, question);
  std::string query = question == std::string::npos ? std::string() : target.substr(question + 1);
  if (path == "/health") return serveHealth(soap, context);
  if (path == kServicePath && strcasecmp(query.c_str(), "wsdl") == 0) return serveDescription(soap, context);
  context.operation = "GET";
  return SOAP_GET_METHOD;
}

int serveHealth(struct soap* soap, ServiceContext& context) {
  context.operation = "health";
  bool usable = context.repository().isUsable();
  // Monitors ask often: a healthy answer is only worth a debug line.
  context.outcome = usable ? "ok" : "fault: the store is not usable";
  context.level = usable ? LogLevel::Debug : LogLevel::Error;
  return sendBody(soap, usable ? SOAP_FILE : SOAP_FILE + 503, "application/json", healthReport(usable));
}

// The description names this server as the service address, as the client
// reached it (the Host header); without a usable Host header, it keeps the
// installed placeholder address.
int serveDescription(struct soap* soap, ServiceContext& context) {
  context.operation = "wsdl";
  context.outcome = "ok";
  context.level = LogLevel::Info;
  std::string description = kServiceDescription;
  std::string address = describedServiceAddress(soap->endpoint);
  if (!address.empty()) {
    const std::string opening = "<SOAP:address location=\"";
    std::size_t begin = description.find(opening);
    std::size_t end = begin == std::string::npos ? begin : description.find('"', begin + opening.size());
    if (end != std::string::npos) description.replace(begin + opening.size(), end - begin - opening.size(), address);
  }
  return sendBody(soap, SOAP_FILE, "text/xml; charset=utf-8", description);
}

// The runtime writes the request's Host header into the endpoint as
// "http://HOST" ("https://" on a TLS connection) followed by the request path.
// Only a host name or address and a port are taken: nothing that could leave
// the XML attribute the address is written in.
std::string describedServiceAddress(const std::string& requestEndpoint) {
  static const std::regex kHostEndpoint(R"((https?://)([A-Za-z0-9.-]+|\[[0-9A-Fa-f:.]+\])(:[0-9]{1,5})?(/.*)?)");
  std::smatch match;
  if (!std::regex_match(requestEndpoint, match, kHostEndpoint)) return std::string();
  return match[1].str() + match[2].str() + match[3].str() + kServicePath;
}

int sendBody(struct soap* soap, int status, const char* contentType, const std::string& body) {
  soap->http_content = contentType;
  soap->length = body.size();
  if (soap_response(soap, status) != SOAP_OK || soap_send_raw(soap, body.data(), body.size()) != SOAP_OK)
    return soap->error;
  return soap_end_send(soap);
}

}  // namespace

}  // namespace talixdb::server
