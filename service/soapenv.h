// Input of soapcpp2 for the parts of a SOAP message that the gSOAP runtime
// library handles by global name: the standard SOAP Header and Fault
// serialisers and a default namespace table. It declares nothing on purpose:
// the service has no header entries and no fault details of its own.
