// Forced into the generated serialisers: the runtime library calls back into
// these functions of the generated code, so they keep default visibility while
// everything else in the client library stays hidden.
#pragma once

#include "stdsoap2.h"

#define TALIXDB_RUNTIME_CALLBACK __attribute__((visibility("default")))

TALIXDB_RUNTIME_CALLBACK const char** soap_faultcode(struct soap*);
TALIXDB_RUNTIME_CALLBACK const char** soap_faultsubcode(struct soap*);
TALIXDB_RUNTIME_CALLBACK const char** soap_faultstring(struct soap*);
TALIXDB_RUNTIME_CALLBACK const char** soap_faultdetail(struct soap*);
TALIXDB_RUNTIME_CALLBACK const char* soap_fault_subcode(struct soap*);
TALIXDB_RUNTIME_CALLBACK const char* soap_fault_string(struct soap*);
TALIXDB_RUNTIME_CALLBACK const char* soap_fault_detail(struct soap*);
TALIXDB_RUNTIME_CALLBACK void soap_serializefault(struct soap*);
TALIXDB_RUNTIME_CALLBACK void soap_serializeheader(struct soap*);
TALIXDB_RUNTIME_CALLBACK int soap_getheader(struct soap*);
TALIXDB_RUNTIME_CALLBACK int soap_putheader(struct soap*);
TALIXDB_RUNTIME_CALLBACK int soap_getfault(struct soap*);
TALIXDB_RUNTIME_CALLBACK int soap_putfault(struct soap*);

extern "C" {
TALIXDB_RUNTIME_CALLBACK void soap_markelement(struct soap*, const void*, int);
TALIXDB_RUNTIME_CALLBACK void* soap_getelement(struct soap*, const char*, int*);
TALIXDB_RUNTIME_CALLBACK int soap_putelement(struct soap*, const void*, const char*, int, int);
TALIXDB_RUNTIME_CALLBACK void* soap_dupelement(struct soap*, const void*, int);
TALIXDB_RUNTIME_CALLBACK void soap_delelement(const void*, int);
}
