// The frame of every operation: record the operation for the request log,
// run its body, and turn a refusal or a failure into a SOAP Fault.
//
// Fault codes are qualified ("SOAP-ENV:Client.Repository" for refusals,
// "SOAP-ENV:Server.Storage" for failures of the store) so that clients of
// the runtime report them as a fault (12) rather than a transport error.
#pragma once

#include <exception>
#include <string>

#include "http/ServiceContext.h"
#include "storage/RepositoryTypes.h"

namespace talixdb::server {

// Sets the fault for a request the repository refuses; returns SOAP_FAULT.
// Its log line takes the context's refusalLevel (a probe's says "probe").
int refuse(struct soap* soap, const std::string& text);
// Sets the fault for a request refused before an operation could run, with
// `code` ("SOAP-ENV:Client" for bytes no request may hold, the repository's
// code for its own limits); returns SOAP_FAULT.
int clientFault(struct soap* soap, const std::string& code, const std::string& text);
// Sets the fault for a request the server failed to carry out: the client
// reads `text`, the log's error line `detail` (SQL, server paths) when given.
int failInternally(struct soap* soap, const std::string& text, const std::string& detail = std::string());
// The text of the runtime's current fault, or its error code in words.
std::string faultText(struct soap* soap);

template <class Body>
int serveOperation(struct soap* soap, const char* operation, Body&& body) {
  ServiceContext& context = ServiceContext::of(soap);
  context.operation = operation;
  // Bytes of the request were refused: whatever the parser made of them stays unused.
  if (!context.inputRefusal.empty()) return soap->error = SOAP_FAULT;
  try {
    int result = body(context);
    if (result == SOAP_OK) {
      context.outcome = "ok";
      context.level = LogLevel::Info;
    }
    return result;
  } catch (const Refusal& refusal) {
    return refuse(soap, refusal.what());
  } catch (const StorageFailure& failure) {
    return failInternally(soap, "storage failure: " + failure.summary(), std::string("storage failure: ") + failure.what());
  } catch (const std::exception& error) {
    return failInternally(soap, "internal error", std::string("internal error: ") + error.what());
  } catch (...) {
    return failInternally(soap, "internal error");
  }
}

// The same for operations whose body only fills the response.
template <class Body>
int serveSimple(struct soap* soap, const char* operation, Body&& body) {
  return serveOperation(soap, operation, [&](ServiceContext& context) {
    body(context);
    return SOAP_OK;
  });
}

}  // namespace talixdb::server
