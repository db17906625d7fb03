#include "client/RepositoryClient.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "client/LocalFile.h"
#include "client/SoapMemory.h"

namespace VLT_121 {

namespace {

const char kFolderType[] = "Folder";
const char kFileType[] = "File";
const char kOctetStream[] = "application/octet-stream";

// Path segments without empty ones: "/a//b/" gives a, b.
std::vector<std::string> pathSegments(const std::string& path) {
  std::vector<std::string> segments;
  std::string current;
  for (char c : path) {
    if (c == '/') {
      if (!current.empty()) segments.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) segments.push_back(current);
  return segments;
}

// The local file name: the part after the last "/" or "\".
std::string localFileName(const std::string& localPath) {
  size_t cut = localPath.find_last_of("/\\");
  return cut == std::string::npos ? localPath : localPath.substr(cut + 1);
}

// The first attachment of the last reply, or null.
const soap_multipart* firstAttachment(struct soap* soap) {
  return soap == nullptr ? nullptr : soap->dime.list;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Writes the bytes to a temporary file beside `localPath` and renames it into
// place, so that a failure never leaves a truncated file where one was.
bool replaceFile(const std::string& localPath, const char* data, size_t size) {
  std::string pattern = localPath + ".part-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  bool ok = writeAll(fd, data, size);
  ok = (::fchmod(fd, 0644) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(name.data(), localPath.c_str()) == 0;
  if (!ok) std::remove(name.data());
  return ok;
}

}  // namespace

CRepositoryClient::CRepositoryClient(QuillonBinding* binding) : m_pBinding(binding) {}

CRepositoryObject* CRepositoryClient::findByPath(std::string path) {
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return nullptr;
  struct soap* soap = m_pBinding->soap;
  ns2__SoapModelObject* object = soap_new_ns2__SoapModelObject(soap);
  if (object == nullptr) return nullptr;
  int rc = m_pBinding->findByPath(path, *object);
  if (rc == SOAP_OK && !object->name.empty()) return new CRepositoryObject(m_pBinding, object);
  destroyModelObject(soap, object);
  return nullptr;
}

std::string CRepositoryClient::createFolder(std::string parentPath, std::string name) {
  std::unique_ptr<CRepositoryObject> parent(findByPath(parentPath));
  if (!parent) return std::string();
  parent->release();
  CRepositoryObject folder(m_pBinding);
  folder.setName(name);
  folder.setParent(parentPath);
  folder.setTypeName(kFolderType);
  std::string result = folder.create();
  folder.release();
  return result;
}

bool CRepositoryClient::deleteObject(const char* path) {
  if (m_pBinding == nullptr || path == nullptr) return false;
  bool deleted = false;
  return m_pBinding->deleteModelObject(path, deleted) == SOAP_OK && deleted;
}

std::string CRepositoryClient::uploadFile(std::string path, const char* data, int size) {
  size_t length = size > 0 ? static_cast<size_t>(size) : (data != nullptr ? std::strlen(data) : 0);
  return uploadBytes(path, data, length);
}

std::string CRepositoryClient::uploadBytes(const std::string& path, const char* data, size_t size) {
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return std::string();
  struct soap* soap = m_pBinding->soap;
  std::vector<std::string> segments = pathSegments(path);
  if (segments.empty()) return std::string();

  // Make the missing folders on the way, top down.
  std::string current;
  for (size_t i = 0; i + 1 < segments.size(); ++i) {
    std::string candidate = current + "/" + segments[i];
    std::unique_ptr<CRepositoryObject> found(findByPath(candidate));
    if (found) {
      found->release();
    } else {
      CRepositoryObject folder(m_pBinding);
      folder.setName(segments[i]);
      folder.setParent(current);
      folder.setTypeName(kFolderType);
      candidate = folder.create();
      folder.release();
    }
    current = candidate;
  }

  ns2__UploadFile file;
  file.name = segments.back();
  file.size = static_cast<LONG64>(size);
  file.typeName = kFileType;
  ns2__UploadFilesRequestStruct request;
  request.parent = current;
  request.uploadFiles.push_back(&file);

  // The bytes travel as one DIME attachment; the runtime only reads them.
  static const char kEmpty[] = "";
  soap_set_dime(soap);
  soap_set_dime_attachment(soap, data != nullptr ? data : kEmpty, size, kOctetStream,
                           file.name.c_str(), 0, nullptr);
  ns2__UploadFilesResponseStruct* response = soap_new_ns2__UploadFilesResponseStruct(soap);
  int rc = response != nullptr ? m_pBinding->uploadFiles(&request, *response) : SOAP_EOM;
  soap_clr_dime(soap);
  releaseAttachments(soap);
  std::string result;
  if (rc == SOAP_OK && response->item.size() == 1) result = response->item.front();
  if (response != nullptr) soap_delete(soap, response);
  return result;
}

std::string CRepositoryClient::uploadLocalFile(std::string folderPath, std::string localPath) {
  std::string bytes;
  if (!localfile::readRegularFile(localPath, bytes)) return std::string();
  // An empty file is uploaded as zero bytes, not read as a text.
  return uploadBytes(folderPath + "/" + localFileName(localPath), bytes.data(), bytes.size());
}

std::string CRepositoryClient::downloadFileToDisk(std::string path, std::string localPath) {
  return download(path, [&](const char* bytes, size_t size) { return replaceFile(localPath, bytes, size); });
}

std::string CRepositoryClient::downloadFileToMemory(std::string path, char** data, long* size) {
  if (data == nullptr || size == nullptr) return std::string();
  return download(path, [&](const char* bytes, size_t length) {
    char* copy = new (std::nothrow) char[length + 1];
    if (copy == nullptr) return false;
    if (length > 0) std::memcpy(copy, bytes, length);
    copy[length] = '\0';
    *data = copy;
    *size = static_cast<long>(length);
    return true;
  });
}

std::string CRepositoryClient::download(const std::string& path,
                                        const std::function<bool(const char*, size_t)>& take) {
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return std::string();
  struct soap* soap = m_pBinding->soap;
  ns1__DownloadFilesRequestStruct request;
  request.PathElement.push_back(path);
  ns2__DownloadFilesResponseStruct* response = soap_new_ns2__DownloadFilesResponseStruct(soap);
  if (response == nullptr) return std::string();
  int rc = m_pBinding->downloadFiles(&request, *response);
  std::string result;
  // Exactly one item and its bytes as the first attachment, or nothing.
  const soap_multipart* attachment = firstAttachment(soap);
  if (rc == SOAP_OK && response->item.size() == 1 && attachment != nullptr &&
      take(attachment->ptr, attachment->size))
    result = response->item.front();
  releaseAttachments(soap);
  soap_delete(soap, response);
  return result;
}

std::string CRepositoryClient::downloadFileToMemory(std::string path, char** data, int* size) {
  if (data == nullptr || size == nullptr) return std::string();
  char* bytes = nullptr;
  long length = 0;
  std::string result = downloadFileToMemory(path, &bytes, &length);
  if (result.empty()) return result;
  if (length > 0x7fffffffL) {  // does not fit the caller's int
    delete[] bytes;
    return std::string();
  }
  *data = bytes;
  *size = static_cast<int>(length);
  return result;
}

char* CRepositoryClient::createUser(const char* user, const char* password) {
  if (m_pBinding == nullptr) return nullptr;
  ns1__CreateUserRequestElement request;
  request.username = user != nullptr ? user : "";
  request.password = password != nullptr ? password : "";
  std::string answer;
  if (m_pBinding->createUser(&request, answer) != SOAP_OK) return nullptr;
  return strdup(answer.c_str());
}

CRepositoryObject** CRepositoryClient::query(std::string text, int* count) {
  if (count != nullptr) *count = 0;
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return nullptr;
  struct soap* soap = m_pBinding->soap;
  ns2__SoapModelObjectArray* found = soap_new_ns2__SoapModelObjectArray(soap);
  if (found == nullptr) return nullptr;
  if (m_pBinding->findByQuery(text, *found) != SOAP_OK) {
    for (ns2__SoapModelObject* object : found->item) destroyModelObject(soap, object);
    soap_delete(soap, found);
    return nullptr;
  }
  auto** objects = new CRepositoryObject*[found->item.size() + 1];
  size_t n = 0;
  for (ns2__SoapModelObject* object : found->item)
    if (object != nullptr) objects[n++] = new CRepositoryObject(m_pBinding, object);
  objects[n] = nullptr;
  soap_delete(soap, found);
  if (count != nullptr) *count = static_cast<int>(n);
  return objects;
}

char* CRepositoryClient::move(const char* source, const char* destination) {
  if (m_pBinding == nullptr) return nullptr;
  ns1__MoveRequestElement request;
  request.source = source != nullptr ? source : "";
  request.destination = destination != nullptr ? destination : "";
  std::string answer;
  if (m_pBinding->move(&request, answer) != SOAP_OK) return nullptr;
  return strdup(answer.c_str());
}

bool CRepositoryClient::checkin(const char* id, const char* comment, bool recursive) {
  if (m_pBinding == nullptr) return false;
  ns1__CheckinRequestElement request;
  request.id = id != nullptr ? id : "";
  request.comment = comment != nullptr ? comment : "";
  request.recursive = recursive;
  bool done = false;
  return m_pBinding->checkin(&request, done) == SOAP_OK && done;
}

bool CRepositoryClient::checkout(const char* id, bool recursive) {
  if (m_pBinding == nullptr) return false;
  ns1__CheckoutRequestElement request;
  request.id = id != nullptr ? id : "";
  request.recursive = recursive;
  bool done = false;
  return m_pBinding->checkout(&request, done) == SOAP_OK && done;
}

bool CRepositoryClient::isCheckedOut(const char* path) {
  bool answer = false;
  return m_pBinding != nullptr && path != nullptr && m_pBinding->isCheckedOut(path, answer) == SOAP_OK &&
         answer;
}

bool CRepositoryClient::isCheckinEnabled(const char* path) {
  bool answer = false;
  return m_pBinding != nullptr && path != nullptr &&
         m_pBinding->isCheckinEnabled(path, answer) == SOAP_OK && answer;
}

bool CRepositoryClient::isVersioningSupported(const char* path) {
  bool answer = false;
  return m_pBinding != nullptr && path != nullptr &&
         m_pBinding->isVersioningSupported(path, answer) == SOAP_OK && answer;
}

bool CRepositoryClient::setCheckinPolicy(const char* objectId, const char* policy, bool recursive) {
  if (m_pBinding == nullptr) return false;
  ns1__SetCheckinPolicyRequestElement request;
  request.objectId = objectId != nullptr ? objectId : "";
  request.policy = policy != nullptr ? policy : "";
  request.recursive = recursive;
  bool done = false;
  return m_pBinding->setCheckinPolicy(&request, done) == SOAP_OK && done;
}

}  // namespace VLT_121
