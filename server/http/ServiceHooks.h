// Hooks installed on every worker's runtime context.
#pragma once

#include <string>

#include "http/ServiceContext.h"
#include "stdsoap2.h"

namespace talixdb::server {

// Reads the session cookie of a request, names a new session in the reply's
// Set-Cookie header, stops reading a request that exceeds its limit, passes
// the body of a POST to the service through the scanner (RequestScanner)
// before the parser reads it, and, when a request was answered before its
// end, reads and drops the rest before the connection closes.
void installHttpHooks(struct soap* soap, ServiceContext& context);
// Puts the runtime's own hooks back.
void uninstallHttpHooks(struct soap* soap, const ServiceContext& context);

// True when the connection of the request is a TLS session (which the
// runtime reads and writes through, though it did not set it up).
inline bool overTls(const struct soap* soap) { return soap->ssl != nullptr; }

// Records that the request's bytes are refused (the first reason counts) and
// returns the error that stops the runtime from reading on; the request is
// then answered with a fault with `code` and `why`.
int refuseRequest(struct soap* soap, const std::string& why, const char* code = kClientFaultCode);

// Answers GET /health (see healthReport) and GET /vlt/services/QuillonBinding?wsdl
// (the service description, naming the service at the host the client used),
// and refuses every other GET, HEAD, OPTIONS, PUT, PATCH and DELETE with
// refuseHttpTarget.
void installMethodHooks(struct soap* soap);
// True when the request target names the service (a query is allowed).
bool isServicePath(const char* target);
// Answers a request the server does not serve: 404 for a path it does not
// know, else 405 with the methods it allows there. Returns SOAP_STOP once the
// reply is out, else the error of sending it.
int refuseHttpTarget(struct soap* soap, const char* method);
// The body of the /health answer: JSON naming the server, its version and
// whether the store is usable.
std::string healthReport(bool storeUsable);

// Streams received attachments into the store and sent attachments out of
// it, so that neither has to fit in memory.
void installDimeHooks(struct soap* soap);

}  // namespace talixdb::server
