#include "ServiceContext.h"

#include <cstring>

#include "RequestLog.h"
#include "ServiceCall.h"
#include "ServiceHooks.h"
#include "ServiceUris.h"

namespace talixdb::server {

namespace {

// The operation a SOAPAction header names, or "-" for a foreign one.
std::string operationOfAction(const char* action);

}  // namespace

ServiceContext::ServiceContext(std::unique_ptr<Storage> storage, const ServiceLimits& limits, bool logRequests)
    : m_storage(std::move(storage)),
      m_limits(limits),
      m_logRequests(logRequests),
      m_repository(*m_storage, limits.sessionTimeout) {}

ServiceContext& ServiceContext::of(struct soap* soap) { return *static_cast<ServiceContext*>(soap->user); }

void ServiceContext::attach(struct soap* soap) {
  soap->user = this;
  installHttpHooks(soap, *this);
  installDimeHooks(soap);
}

void ServiceContext::beginRequest() {
  caller = Caller{};
  newSession.clear();
  operation.clear();
  outcome.clear();
  bytesReceived = 0;
  // Room for the HTTP header and an envelope; each attachment raises it.
  receiveLimit = m_limits.maxXml + 64 * 1024;
  messageEnd = 0;
  attachments.clear();
  downloads.clear();
  logged = false;
}

void ServiceContext::logRequest(struct soap* soap) {
  if (logged) return;
  logged = true;
  if (!m_logRequests) return;
  std::string name = operation.empty() ? operationOfAction(soap->action) : operation;
  std::string result = outcome;
  if (result.empty() || (result == "ok" && soap->error != SOAP_OK)) result = "fault: " + faultText(soap);
  talixdb::server::logRequest(name, caller.user, result);
}

void ServiceContext::endRequest() {
  attachments.clear();
  downloads.clear();
}

namespace {

std::string operationOfAction(const char* action) {
  const std::string prefix = TALIXDB_NS1_URI;
  if (action == nullptr || std::strncmp(action, prefix.c_str(), prefix.size()) != 0) return "-";
  std::string name = action + prefix.size();
  return name.empty() ? "-" : name;
}

}  // namespace

}  // namespace talixdb::server
