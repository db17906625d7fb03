// The default namespace table: the runtime library installs it in every new
// context. It holds the SOAP and XML Schema namespaces only; a context that
// speaks the repository service installs the service's own table instead
// (Namespaces.cpp), and a host's own table, when it has one, takes this one's
// place in the process.
#include "soap.nsmap"
