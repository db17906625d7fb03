// The XML namespace table of the repository service.
#pragma once

struct Namespace;

namespace talixdb {
// The table installed in every runtime context that speaks the service.
const Namespace* serviceNamespaces();
}  // namespace talixdb
