// Freeing objects that live in a runtime context one by one, so that a long
// session does not keep every object it ever read until the proxy goes.
#pragma once

#include "WireTypes.h"

namespace VLT_121 {

void destroyVariantMap(struct soap* soap, ns2__SoapVariantMap* map);
void destroyModelObject(struct soap* soap, ns2__SoapModelObject* object);

// Frees the attachments of the last reply and leaves DIME mode.
void releaseAttachments(struct soap* soap);

}  // namespace VLT_121
