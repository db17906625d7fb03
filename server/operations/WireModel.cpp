#include "operations/WireModel.h"

namespace talixdb::server {

PropertyList readProperties(const ns2__SoapVariantMap* map) {
  if (map == nullptr) return {};
  return readProperties(map->item);
}

PropertyList readProperties(const std::vector<ns2__SoapVariantMapItem*>& items) {
  PropertyList list;
  for (const ns2__SoapVariantMapItem* item : items) {
    if (item == nullptr) continue;
    PropertyEntry entry;
    if (item->key != nullptr) entry.key = *item->key;
    if (item->item != nullptr) {
      Variant value;
      value.itemType = item->item->itemType;
      value.itemList = item->item->itemList;
      value.items = item->item->item;
      entry.value = std::move(value);
    }
    list.push_back(std::move(entry));
  }
  return list;
}

ns2__SoapVariantMap* writeProperties(struct soap* soap, const PropertyList& list) {
  ns2__SoapVariantMap* map = soap_new_ns2__SoapVariantMap(soap);
  if (map == nullptr) return nullptr;
  for (const PropertyEntry& entry : list) {
    ns2__SoapVariantMapItem* item = soap_new_ns2__SoapVariantMapItem(soap);
    if (item == nullptr) return map;
    if (entry.key) item->key = newText(soap, *entry.key);
    if (entry.value) {
      item->item = soap_new_ns2__SoapVariant(soap);
      if (item->item != nullptr) {
        item->item->itemType = entry.value->itemType;
        item->item->itemList = entry.value->itemList;
        item->item->item = entry.value->items;
      }
    }
    map->item.push_back(item);
  }
  return map;
}

void writeObject(struct soap* soap, const ObjectView& object, ns2__SoapModelObject& out) {
  out.name = object.object.name;
  out.archiveId = newText(soap, std::to_string(object.object.id));
  out.parent = object.parentPath;
  out.path = object.path;
  out.typeName = object.object.typeName;
  out.childNames = object.childNames;
  out.children = writeProperties(soap, {});
  out.properties = writeProperties(soap, object.values);
  out.dynProperties = writeProperties(soap, object.declarations);
  out.folder = !object.object.isFile;
  out.file = object.object.isFile;
  out.allowedActions = object.allowedActions;
}

ns2__SoapModelObject* newObject(struct soap* soap, const ObjectView& object) {
  ns2__SoapModelObject* out = soap_new_ns2__SoapModelObject(soap);
  if (out != nullptr) writeObject(soap, object, *out);
  return out;
}

bool* newBool(struct soap* soap, bool value) {
  bool* result = soap_new_bool(soap);
  if (result != nullptr) *result = value;
  return result;
}

int* newInt(struct soap* soap, int value) {
  int* result = soap_new_int(soap);
  if (result != nullptr) *result = value;
  return result;
}

LONG64* newLong(struct soap* soap, LONG64 value) {
  LONG64* result = soap_new_LONG64(soap);
  if (result != nullptr) *result = value;
  return result;
}

std::string* newText(struct soap* soap, const std::string& value) {
  std::string* result = soap_new_std__string(soap);
  if (result != nullptr) *result = value;
  return result;
}

}  // namespace talixdb::server
