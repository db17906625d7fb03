// Whether the gSOAP runtime library that serves this process is the variant
// the service code was compiled for.
#pragma once

#include <string>

namespace talixdb {

// Empty when the process's gSOAP runtime is the C++ variant with OpenSSL
// (libgsoapssl++) this code was built with; otherwise one sentence for the
// host's log. Another variant linked by the host takes over every runtime
// function in the process, and its contexts have another layout, so no
// context may be made then. Computed once per process.
const std::string& runtimeMismatch();

}  // namespace talixdb
