// Operations that need machinery outside a repository (FTP transfer, model
// specifications, events, processes): refused with a fault.
#include "WireTypes.h"
#include "operations/ServiceCall.h"

using namespace talixdb::server;

namespace talixdb_wire {

namespace {

int unsupported(struct soap* soap, const char* operation);

}  // namespace

int __ns1__createFileFromFTP(struct soap* soap, ns2__CreateFileFromFTPStruct*, std::string**) {
  return unsupported(soap, "createFileFromFTP");
}

int __ns1__exportObjectToFTP(struct soap* soap, std::string, LONG64**) {
  return unsupported(soap, "exportObjectToFTP");
}

int __ns1__getModelSpecs(struct soap* soap, std::string, ns2__SoapModelArray*) {
  return unsupported(soap, "getModelSpecs");
}

int __ns1__getModelSpecsEx(struct soap* soap, std::string, ns2__SoapModelArray*) {
  return unsupported(soap, "getModelSpecsEx");
}

int __ns1__publishEvent(struct soap* soap, ns2__PublishEventStruct*, bool**) {
  return unsupported(soap, "publishEvent");
}

int __ns1__executeProcess(struct soap* soap, ns2__ExecuteProcessStruct*, std::string**) {
  return unsupported(soap, "executeProcess");
}

int __ns1__getProcessStatus(struct soap* soap, std::string, int**) {
  return unsupported(soap, "getProcessStatus");
}

int __ns1__getProcessTranscript(struct soap* soap, std::string, std::string**) {
  return unsupported(soap, "getProcessTranscript");
}

int __ns1__getProcessOutputFiles(struct soap* soap, ns2__ProcessOutputFilesStruct*, int**) {
  return unsupported(soap, "getProcessOutputFiles");
}

int __ns1__getUpstreamDependenciesById(struct soap* soap, std::string, std::string**) {
  return unsupported(soap, "getUpstreamDependenciesById");
}

namespace {

int unsupported(struct soap* soap, const char* operation) {
  return serveOperation(soap, operation, [soap](ServiceContext&) { return refuse(soap, "not supported by this server"); });
}

}  // namespace

}  // namespace talixdb_wire
