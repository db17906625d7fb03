#include "ServiceClient.h"

namespace talixdb_test {

namespace {

std::string childPath(const std::string& parent, const std::string& name) {
  return (parent.empty() || parent.back() != '/' ? parent + "/" : parent) + name;
}

}  // namespace

::testing::AssertionResult Succeeds(const CallResult& result) {
  if (result.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "call failed with code " << result.code << ": " << result.fault;
}

ServiceClient::ServiceClient(const TestServer& server) : m_endpoint(server.endpoint()) {
  m_binding.endpoint = m_endpoint.c_str();
}

void ServiceClient::retarget(const TestServer& server) {
  m_endpoint = server.endpoint();
  m_binding.endpoint = m_endpoint.c_str();
}

void ServiceClient::clear() {
  soap_destroy(soap());
  soap_end(soap());
}

CallResult ServiceClient::result(int code) {
  CallResult result;
  result.code = code;
  if (code != 0) {
    const char* text = soap_fault_string(soap());
    if (text != nullptr) result.fault = text;
  }
  return result;
}

CallResult ServiceClient::login(const std::string& user, const std::string& password) {
  ns1__LoginRequestStruct request;
  request.username = user;
  request.password = password;
  request.domain = "Default";
  request.locale = "en";
  ns1__LoginResponseElement response;
  return result(m_binding.login(&request, response));
}

bool ServiceClient::isLoggedIn(const std::string& user) {
  ns1__IsLoggedInRequestElement request;
  request.username = user;
  request.workspace = "Default";
  bool answer = false;
  return m_binding.isLoggedIn(&request, answer) == 0 && answer;
}

bool ServiceClient::logout() {
  bool answer = false;
  return m_binding.logout(0, answer) == 0 && answer;
}

std::string ServiceClient::sessionId() {
  std::string id;
  if (m_binding.getSessionId("", id) != 0) return "<failed>";
  return id;
}

CallResult ServiceClient::find(const std::string& path, ns2__SoapModelObject& object) {
  return result(m_binding.findByPath(path, object));
}

bool ServiceClient::exists(const std::string& path) {
  ns2__SoapModelObject object;
  return find(path, object).ok() && !object.name.empty();
}

std::vector<std::string> ServiceClient::childNames(const std::string& path) {
  ns2__SoapModelObject object;
  if (!find(path, object).ok()) return {"<failed>"};
  return object.childNames;
}

CallResult ServiceClient::createFolder(const std::string& parent, const std::string& name, std::string* path,
                                       const std::vector<TestProperty>& properties) {
  ns2__SoapModelObject object;
  object.name = name;
  object.parent = parent;
  object.typeName = "Folder";
  ns2__SoapVariantMap values;
  ns2__SoapVariantMap declarations;
  std::vector<std::string> keys;
  keys.reserve(properties.size());
  for (const TestProperty& property : properties) keys.push_back(property.key);
  std::vector<ns2__SoapVariantMapItem> valueItems(properties.size());
  std::vector<ns2__SoapVariantMapItem> declarationItems(properties.size());
  std::vector<ns2__SoapVariant> variants(properties.size());
  ns2__SoapVariant declaration;
  declaration.itemType = 5;
  declaration.item = {"User Specified Properties"};
  for (std::size_t i = 0; i < properties.size(); ++i) {
    variants[i].itemType = properties[i].itemType;
    variants[i].itemList = properties[i].itemList;
    variants[i].item = properties[i].items;
    valueItems[i].key = &keys[i];
    valueItems[i].item = &variants[i];
    values.item.push_back(&valueItems[i]);
    declarationItems[i].key = &keys[i];
    declarationItems[i].item = &declaration;
    declarations.item.push_back(&declarationItems[i]);
  }
  object.properties = &values;
  object.dynProperties = &declarations;
  std::string answer;
  CallResult outcome = result(m_binding.createModelObject(&object, answer));
  if (path != nullptr) *path = answer;
  return outcome;
}

bool ServiceClient::remove(const std::string& path) {
  bool answer = false;
  return m_binding.deleteModelObject(path, answer) == 0 && answer;
}

CallResult ServiceClient::upload(const std::string& parent, const std::string& name, const std::string& bytes,
                                 long long declaredSize) {
  ns2__UploadFile file;
  file.name = name;
  file.size = declaredSize >= 0 ? declaredSize : static_cast<long long>(bytes.size());
  file.typeName = "File";
  ns2__UploadFilesRequestStruct request;
  request.parent = parent;
  request.uploadFiles.push_back(&file);
  ns2__UploadFilesResponseStruct response;
  soap_set_dime(soap());
  soap_set_dime_attachment(soap(), bytes.data(), bytes.size(), "application/octet-stream", name.c_str(), 0, nullptr);
  CallResult outcome = result(m_binding.uploadFiles(&request, response));
  soap_clr_dime(soap());
  // The answer names the stored file.
  if (outcome.ok() && (response.item.size() != 1 || response.item[0] != childPath(parent, name))) outcome.code = -100;
  return outcome;
}

CallResult ServiceClient::download(const std::string& path, std::string& bytes) {
  ns1__DownloadFilesRequestStruct request;
  request.PathElement.push_back(path);
  ns2__DownloadFilesResponseStruct response;
  CallResult outcome = result(m_binding.downloadFiles(&request, response));
  if (!outcome.ok()) return outcome;
  const soap_multipart* attachment = soap()->dime.list;
  if (response.item.size() != 1 || attachment == nullptr) {
    outcome.code = -100;
    return outcome;
  }
  bytes.assign(attachment->ptr != nullptr ? attachment->ptr : "", attachment->size);
  return outcome;
}

CallResult ServiceClient::createUser(const std::string& name, const std::string& password) {
  ns1__CreateUserRequestElement request;
  request.username = name;
  request.password = password;
  std::string answer;
  CallResult outcome = result(m_binding.createUser(&request, answer));
  if (outcome.ok() && answer.empty()) outcome.code = -100;
  return outcome;
}

CallResult ServiceClient::permission(const std::string& operation, const std::string& path,
                                     const std::string& permission, const std::string& member) {
  ns2__PermissionRequest request;
  request.path = path;
  request.permission = permission;
  request.member = member;
  bool answer = false;
  auto call = operation == "add"      ? &QuillonBinding::addPermission
              : operation == "remove" ? &QuillonBinding::removePermission
                                      : &QuillonBinding::hasPermission;
  CallResult outcome = result((m_binding.*call)(&request, answer));
  if (outcome.ok() && !answer) outcome.code = -100;
  return outcome;
}

std::vector<TestProperty> readProperties(const ns2__SoapVariantMap* map) {
  std::vector<TestProperty> properties;
  if (map == nullptr) return properties;
  for (const ns2__SoapVariantMapItem* item : map->item) {
    TestProperty property;
    if (item->key != nullptr) property.key = *item->key;
    if (item->item != nullptr) {
      property.items = item->item->item;
      property.itemType = item->item->itemType;
      property.itemList = item->item->itemList;
    }
    properties.push_back(property);
  }
  return properties;
}

}  // namespace talixdb_test
