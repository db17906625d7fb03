// Conversion between the generated message types and the repository's plain
// records. Everything written is allocated in the given runtime context and
// lives until the context's objects are freed after the reply.
#pragma once

#include <string>
#include <vector>

#include "WireTypes.h"
#include "repository/Repository.h"

namespace talixdb::server {

// The entries of a map exactly as sent (a null map gives none).
PropertyList readProperties(const ns2__SoapVariantMap* map);
PropertyList readProperties(const std::vector<ns2__SoapVariantMapItem*>& items);

ns2__SoapVariantMap* writeProperties(struct soap* soap, const PropertyList& list);

// Fills every field of `out` from `object`; empty maps are present.
void writeObject(struct soap* soap, const ObjectView& object, ns2__SoapModelObject& out);
ns2__SoapModelObject* newObject(struct soap* soap, const ObjectView& object);

// A value of a simple response type allocated in the context.
bool* newBool(struct soap* soap, bool value);
int* newInt(struct soap* soap, int value);
LONG64* newLong(struct soap* soap, LONG64 value);
std::string* newText(struct soap* soap, const std::string& value);

}  // namespace talixdb::server
