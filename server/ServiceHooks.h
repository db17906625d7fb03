// Hooks installed on every worker's runtime context.
#pragma once

#include <string>

#include "stdsoap2.h"

namespace talixdb::server {

class ServiceContext;

// Reads the session cookie of a request, names a new session in the reply's
// Set-Cookie header, and stops reading a request that exceeds its limit.
void installHttpHooks(struct soap* soap, ServiceContext& context);

// Answers GET /health (see healthReport) and GET /vlt/services/QuillonBinding?wsdl
// (the service description, naming the service at the host the client used),
// and refuses every other GET.
void installGetHook(struct soap* soap);
// The body of the /health answer: JSON naming the server, its version and
// whether the store is usable.
std::string healthReport(bool storeUsable);

// Streams received attachments into the store and sent attachments out of
// it, so that neither has to fit in memory.
void installDimeHooks(struct soap* soap);

}  // namespace talixdb::server
