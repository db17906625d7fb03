#include "client/SoapMemory.h"

namespace VLT_121 {

void destroyVariantMap(struct soap* soap, ns2__SoapVariantMap* map) {
  if (soap == nullptr || map == nullptr) return;
  for (ns2__SoapVariantMapItem* item : map->item) {
    if (item == nullptr) continue;
    if (item->key != nullptr) soap_delete(soap, item->key);
    if (item->item != nullptr) soap_delete(soap, item->item);
    soap_delete(soap, item);
  }
  soap_delete(soap, map);
}

void destroyModelObject(struct soap* soap, ns2__SoapModelObject* object) {
  if (soap == nullptr || object == nullptr) return;
  if (object->archiveId != nullptr) soap_delete(soap, object->archiveId);
  destroyVariantMap(soap, object->children);
  destroyVariantMap(soap, object->properties);
  destroyVariantMap(soap, object->dynProperties);
  soap_delete(soap, object);
}

void releaseAttachments(struct soap* soap) {
  if (soap == nullptr) return;
  for (soap_multipart* part = soap->dime.list; part != nullptr; part = part->next) {
    if (part->ptr != nullptr) soap_dealloc(soap, const_cast<char*>(part->ptr));
    part->ptr = nullptr;
  }
  soap->dime.list = nullptr;
  soap->dime.first = nullptr;
  soap->dime.last = nullptr;
  soap_clr_dime(soap);
  soap_free_temp(soap);
}

}  // namespace VLT_121
