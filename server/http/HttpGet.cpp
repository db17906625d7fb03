// The GETs the server answers: "/health", for load balancers and monitors,
// "/metrics", figures for Prometheus (to the addresses --metrics-from lists),
// and the service description at the service's path with the query "wsdl",
// for other SOAP toolkits. Besides them only a POST to the service path is
// served: any other path is answered with 404, any other method with 405.
#include <strings.h>

#include <cstring>
#include <regex>
#include <string>

#include "ServiceDescription.h"
#include "base/ClientText.h"
#include "base/Guard.h"
#include "http/ServiceContext.h"
#include "http/ServiceHooks.h"

namespace talixdb::server {

namespace {

constexpr const char* kServicePath = "/vlt/services/QuillonBinding";
constexpr const char* kHealthPath = "/health";
constexpr const char* kMetricsPath = "/metrics";

int serveGet(struct soap* soap);
int refuseHead(struct soap* soap) { return refuseHttpTarget(soap, "HEAD"); }
int refuseOptions(struct soap* soap) { return refuseHttpTarget(soap, "OPTIONS"); }
int refusePut(struct soap* soap) { return refuseHttpTarget(soap, "PUT"); }
int refusePatch(struct soap* soap) { return refuseHttpTarget(soap, "PATCH"); }
int refuseDelete(struct soap* soap) { return refuseHttpTarget(soap, "DELETE"); }
std::string pathOf(const char* target);
int serveHealth(struct soap* soap, ServiceContext& context);
int serveMetrics(struct soap* soap, ServiceContext& context);
int serveDescription(struct soap* soap, ServiceContext& context);
int sendBody(struct soap* soap, int status, const char* contentType, const std::string& body);
std::string describedServiceAddress(const std::string& requestEndpoint, bool secure);

}  // namespace

void installMethodHooks(struct soap* soap) {
  // Each through the guard: a failure is the runtime's error value and a log line.
  soap->fget = [](struct soap* s) { return guarded("answering a GET", int{SOAP_EOM}, [&] { return serveGet(s); }); };
  soap->fhead = [](struct soap* s) { return guarded("answering a HEAD", int{SOAP_EOM}, [&] { return refuseHead(s); }); };
  soap->fopt = [](struct soap* s) {
    return guarded("answering an OPTIONS", int{SOAP_EOM}, [&] { return refuseOptions(s); });
  };
  soap->fput = [](struct soap* s) { return guarded("answering a PUT", int{SOAP_EOM}, [&] { return refusePut(s); }); };
  soap->fpatch = [](struct soap* s) {
    return guarded("answering a PATCH", int{SOAP_EOM}, [&] { return refusePatch(s); });
  };
  soap->fdel = [](struct soap* s) {
    return guarded("answering a DELETE", int{SOAP_EOM}, [&] { return refuseDelete(s); });
  };
}

bool isServicePath(const char* target) { return pathOf(target) == kServicePath; }

int refuseHttpTarget(struct soap* soap, const char* method) {
  ServiceContext& context = ServiceContext::of(soap);
  const std::string path = pathOf(soap->path);
  context.operation = method;
  context.level = LogLevel::Info;
  int status = 405;
  if (path == kServicePath) {
    const char* question = std::strchr(soap->path, '?');
    context.allowedMethods = question != nullptr && strcasecmp(question + 1, "wsdl") == 0 ? "GET" : "POST";
  } else if (path == kHealthPath || (path == kMetricsPath && !context.limits().metricsFrom.empty())) {
    context.allowedMethods = "GET";
  } else {
    status = 404;
  }
  context.outcome = status == 404 ? "fault: no such path: " + echoPath(path) : "fault: method not allowed";
  int result = sendBody(soap, SOAP_FILE + status, "text/plain; charset=utf-8", std::string());
  return result == SOAP_OK ? SOAP_STOP : result;
}

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
  if (path == kHealthPath) return serveHealth(soap, context);
  if (path == kMetricsPath && !context.limits().metricsFrom.empty()) return serveMetrics(soap, context);
  if (path == kServicePath && strcasecmp(query.c_str(), "wsdl") == 0) return serveDescription(soap, context);
  return refuseHttpTarget(soap, "GET");
}

// The runtime reads the target of a PATCH two bytes early ("H /path"): what
// comes before a blank is dropped.
std::string pathOf(const char* target) {
  std::string path = target != nullptr ? target : "";
  path = path.substr(0, path.find('?'));
  std::size_t blank = path.rfind(' ');
  return blank == std::string::npos ? path : path.substr(blank + 1);
}

int serveHealth(struct soap* soap, ServiceContext& context) {
  context.operation = "health";
  bool usable = context.repository().isUsable();
  // Monitors ask often: a healthy answer is only worth a debug line.
  context.outcome = usable ? "ok" : "fault: the store is not usable";
  context.level = usable ? LogLevel::Debug : LogLevel::Error;
  return sendBody(soap, usable ? SOAP_FILE : SOAP_FILE + 503, "application/json", healthReport(usable));
}

// The figures of this process and of the store, to the listed clients only;
// others get 403. Scrapers ask often: a page served is only worth a debug line.
int serveMetrics(struct soap* soap, ServiceContext& context) {
  context.operation = "metrics";
  if (!context.limits().metricsFrom.contains(context.client)) {
    context.outcome = "fault: not a client --metrics-from lists";
    context.level = LogLevel::Info;
    int result = sendBody(soap, SOAP_FILE + 403, "text/plain; charset=utf-8", std::string());
    return result == SOAP_OK ? SOAP_STOP : result;
  }
  std::vector<Figure> more;
  if (const ConnectionPolicy* policy = context.policy())
    more.push_back({"talixdb_transfers_in_progress", "Uploads and downloads holding a transfer place.", "",
                    static_cast<double>(policy->transfers.taken())});
  bool usable = true;
  try {
    const StoreFigures store = context.repository().figures();
    more.push_back({"talixdb_sessions", "Live login sessions in the store.", "", static_cast<double>(store.sessions)});
    more.push_back({"talixdb_store_objects", "Objects in the store (folders, files, users).", "",
                    static_cast<double>(store.objects)});
    more.push_back({"talixdb_store_content_bytes", "Bytes of every stored version of every file.", "",
                    static_cast<double>(store.contentBytes)});
  } catch (const std::exception& error) {
    usable = false;
    logLine(LogLevel::Error, std::string("cannot read the store's figures: ") + error.what());
  }
  more.push_back({"talixdb_store_usable", "1 when the store answered for this page.", "", usable ? 1.0 : 0.0});
  context.outcome = "ok";
  context.level = LogLevel::Debug;
  return sendBody(soap, SOAP_FILE, "text/plain; version=0.0.4; charset=utf-8", metrics().page(more));
}

// The description names this server as the service address, as the client
// reached it (the Host header) and with the scheme it used; without a usable
// Host header, it keeps the installed placeholder address in that scheme.
int serveDescription(struct soap* soap, ServiceContext& context) {
  context.operation = "wsdl";
  context.outcome = "ok";
  context.level = LogLevel::Info;
  std::string description = kServiceDescription;
  const std::string opening = "<SOAP:address location=\"";
  std::size_t begin = description.find(opening);
  std::size_t end = begin == std::string::npos ? begin : description.find('"', begin + opening.size());
  if (end != std::string::npos) {
    begin += opening.size();
    std::string address = describedServiceAddress(soap->endpoint, overTls(soap));
    if (address.empty()) address = describedServiceAddress(description.substr(begin, end - begin), overTls(soap));
    if (!address.empty()) description.replace(begin, end - begin, address);
  }
  return sendBody(soap, SOAP_FILE, "text/xml; charset=utf-8", description);
}

// The runtime writes the request's Host header into the endpoint as
// "http://HOST" followed by the request path; it says "https://" only for
// TLS it set up itself, so the scheme follows the connection instead. Only a
// host name or address and a port are taken: nothing that could leave the
// XML attribute the address is written in.
std::string describedServiceAddress(const std::string& requestEndpoint, bool secure) {
  static const std::regex kHostEndpoint(R"(https?://([A-Za-z0-9.-]+|\[[0-9A-Fa-f:.]+\])(:[0-9]{1,5})?(/.*)?)");
  std::smatch match;
  if (!std::regex_match(requestEndpoint, match, kHostEndpoint)) return std::string();
  return (secure ? "https://" : "http://") + match[1].str() + match[2].str() + kServicePath;
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
