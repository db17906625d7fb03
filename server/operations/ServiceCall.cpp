#include "operations/ServiceCall.h"

#include "base/ClientText.h"

namespace talixdb::server {

namespace {

// Sets the fault `text`; the log line says `logged` ("": the same).
int fault(struct soap* soap, const char* code, const std::string& text, const std::string& logged = std::string());

}  // namespace

int refuse(struct soap* soap, const std::string& text) {
  ServiceContext& context = ServiceContext::of(soap);
  int result = fault(soap, kRepositoryFaultCode, text);
  context.level = context.refusalLevel;
  if (context.probe) context.outcome = "probe";
  return result;
}

int clientFault(struct soap* soap, const std::string& code, const std::string& text) {
  ServiceContext& context = ServiceContext::of(soap);
  int result = fault(soap, code.c_str(), text);
  context.level = code == kRepositoryFaultCode ? context.refusalLevel : LogLevel::Warning;
  return result;
}

int failInternally(struct soap* soap, const std::string& text, const std::string& detail) {
  int result = fault(soap, "SOAP-ENV:Server.Storage", text, detail);
  ServiceContext::of(soap).level = LogLevel::Error;
  return result;
}

std::string faultText(struct soap* soap) {
  const char* text = soap_fault_string(soap);
  if (text != nullptr && *text != '\0') return echo(text, kEchoFaultBytes);
  return "runtime error " + std::to_string(soap->error);
}

namespace {

int fault(struct soap* soap, const char* code, const std::string& text, const std::string& logged) {
  ServiceContext& context = ServiceContext::of(soap);
  context.outcome = "fault: " + (logged.empty() ? text : logged);
  return soap_sender_fault_subcode(soap, code, soap_strdup(soap, text.c_str()), nullptr);
}

}  // namespace

}  // namespace talixdb::server
