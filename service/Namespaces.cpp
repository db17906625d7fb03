// The namespace table: prefix, URI written, URI pattern also accepted on input.
// The runtime library also looks the table up under the global name
// `namespaces`, so it is defined here once and exported.
#include "Namespaces.h"

#include "ServiceUris.h"
#include "stdsoap2.h"

__attribute__((visibility("default"))) SOAP_NMAC struct Namespace namespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"ns2", TALIXDB_NS2_URI, nullptr, nullptr},
    {"ns1", TALIXDB_NS1_URI, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr}};

namespace talixdb {
const Namespace* serviceNamespaces() { return namespaces; }
}  // namespace talixdb
