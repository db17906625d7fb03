// The namespace table: prefix, URI written, URI pattern also accepted on input.
// It is private to this code: every context that speaks the service installs
// it, so the process-wide `namespaces` table (a host's own, or the default one
// of libtalixdbapi-soapenv) never decides how a service message is read.
#include "Namespaces.h"

#include "ServiceUris.h"
#include "stdsoap2.h"

namespace talixdb {

namespace {

const Namespace kServiceNamespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"ns2", TALIXDB_NS2_URI, nullptr, nullptr},
    {"ns1", TALIXDB_NS1_URI, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr}};

}  // namespace

const Namespace* serviceNamespaces() { return kServiceNamespaces; }

}  // namespace talixdb
