// Hooks installed on every worker's runtime context.
#pragma once

#include "stdsoap2.h"

namespace talixdb::server {

class ServiceContext;

// Reads the session cookie of a request, names a new session in the reply's
// Set-Cookie header, and stops reading a request that exceeds its limit.
void installHttpHooks(struct soap* soap, ServiceContext& context);

// Streams received attachments into the store and sent attachments out of
// it, so that neither has to fit in memory.
void installDimeHooks(struct soap* soap);

}  // namespace talixdb::server
