// The test host's own SOAP service, as a host with gSOAP code of its own
// declares it: another namespace and prefix than the repository service's, a
// SOAP Header entry that the receiver must understand, one operation. soapcpp2
// generates it at build time with the default names (soapC.cpp, soapH.h,
// Echo.nsmap), the global namespace table and the global Header and Fault
// serialisers included.

//gsoap hx schema namespace: urn:talixdb-test:host-echo
//gsoap hx schema form: qualified
//gsoap hx service name: Echo
//gsoap hx service namespace: urn:talixdb-test:host-echo
//gsoap hx service location: http://127.0.0.1/echo
//gsoap hx service method-action: echo "urn:talixdb-test:host-echo#echo"

#include <string>

struct SOAP_ENV__Header {
  mustUnderstand std::string* hx__ticket;
};

// Answers the text followed by the ticket of the request's header.
int hx__echo(std::string text, std::string& reply);
