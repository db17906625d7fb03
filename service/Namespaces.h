// The XML namespace table of the repository service.
#pragma once

struct Namespace;

namespace talixdb {
// The table every runtime context that speaks the service installs with
// soap_set_namespaces, right after it is made.
const Namespace* serviceNamespaces();
}  // namespace talixdb
