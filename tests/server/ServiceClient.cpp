#include "ServiceClient.h"

namespace talixdb_test {

::testing::AssertionResult Succeeds(const CallResult& result) {
  if (result.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "call failed with code " << result.code << ": " << result.fault;
}

std::string patterned(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7919 + (i >> 12)) & 0xff);
  return bytes;
}

void ServiceClient::clear() {
  soap_destroy(soap());
  soap_end(soap());
}

CallResult ServiceClient::result(int code) {
  const char* text = code != 0 ? soap_fault_string(soap()) : nullptr;
  return CallResult{code, text != nullptr ? text : ""};
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

std::string ServiceClient::sessionId() {
  std::string id;
  return m_binding.getSessionId("", id) == 0 ? id : "<failed>";
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

CallResult ServiceClient::createFolder(const std::string& parent, const std::string& name, std::string* path) {
  ns2__SoapModelObject object;
  object.name = name;
  object.parent = parent;
  object.typeName = "Folder";
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
  if (outcome.ok() && (response.item.size() != 1 || response.item[0] != parent + "/" + name)) outcome.code = -100;
  return outcome;
}

CallResult ServiceClient::download(const std::string& path, std::string& bytes) {
  ns1__DownloadFilesRequestStruct request;
  request.PathElement.push_back(path);
  ns2__DownloadFilesResponseStruct response;
  CallResult outcome = result(m_binding.downloadFiles(&request, response));
  if (!outcome.ok()) return outcome;
  const soap_multipart* attachment = soap()->dime.list;
  if (response.item.size() != 1 || attachment == nullptr) return CallResult{-100, "no attachment in the reply"};
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

CallResult ServiceClient::addPermission(const std::string& path, const std::string& permission,
                                        const std::string& member) {
  ns2__PermissionRequest request;
  request.path = path;
  request.permission = permission;
  request.member = member;
  bool added = false;
  CallResult outcome = result(m_binding.addPermission(&request, added));
  if (outcome.ok() && !added) outcome.code = -100;
  return outcome;
}

}  // namespace talixdb_test
