// The generated types and calls of the service contract. soapcpp2 generates
// them into the C++ namespace talixdb_wire, so that they never meet the
// generated code of a host that has gSOAP code of its own; the project's own
// code names them without the namespace.
#pragma once

#include "talixdb_wireH.h"

using namespace talixdb_wire;
