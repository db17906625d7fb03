// Serving one request on a worker's connection.
#pragma once

#include "stdsoap2.h"

namespace talixdb::server {

// Reads one request from soap->socket, runs its operation and sends the
// reply or a fault, as the generated soap_serve() does without keep-alive.
int serveRequest(struct soap* soap);

}  // namespace talixdb::server
