#include "client/RepositoryClient.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "client/ClientContext.h"
#include "client/SoapMemory.h"
#include "client/Transfers.h"

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

// The text of a SOAP fault in the reply `reply` (headers and envelope), or "".
std::string faultStringIn(const std::string& reply) {
  const std::string open = "<faultstring>", close = "</faultstring>";
  const std::size_t from = reply.find(open);
  const std::size_t to = from == std::string::npos ? from : reply.find(close, from);
  if (to == std::string::npos) return std::string();
  const std::string escaped = reply.substr(from + open.size(), to - from - open.size());
  static const std::pair<const char*, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&#39;", '\''}};
  std::string text;
  for (std::size_t i = 0; i < escaped.size();) {
    bool replaced = false;
    for (const auto& [entity, character] : kEntities) {
      const std::size_t length = std::strlen(entity);
      if (escaped.compare(i, length, entity) == 0) {
        text.push_back(character);
        i += length;
        replaced = true;
        break;
      }
    }
    if (!replaced) text.push_back(escaped[i++]);
  }
  return text;
}

// The fault text of the runtime's last call, or "".
std::string faultTextOf(struct soap* soap, int rc) {
  if (rc != SOAP_FAULT && rc != SOAP_CLI_FAULT && rc != SOAP_SVR_FAULT) return std::string();
  const char* text = soap_fault_string(soap);
  return text != nullptr ? text : "";
}

}  // namespace

CRepositoryClient::CRepositoryClient(QuillonBinding* binding) : m_pBinding(binding) {
  // Every call on the context gets its deadline.
  if (binding != nullptr) CClientContext::of(binding->soap);
}

bool CRepositoryClient::lastCallAnswered() const {
  return m_iLastResult == SOAP_OK || m_iLastResult == SOAP_CLI_FAULT || m_iLastResult == SOAP_SVR_FAULT ||
         m_iLastResult == SOAP_FAULT;
}

void CRepositoryClient::requireAnswer(const std::string& path) const {
  if (!lastCallAnswered()) throw RepositoryUnanswered("cannot read " + path);
}

CRepositoryObject* CRepositoryClient::findExisting(std::string path) {
  CRepositoryObject* found = findByPath(path);
  if (found == nullptr) requireAnswer(path);
  return found;
}

CRepositoryObject* CRepositoryClient::findByPath(std::string path) {
  m_iLastResult = SOAP_EOM;
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return nullptr;
  struct soap* soap = m_pBinding->soap;
  ns2__SoapModelObject* object = soap_new_ns2__SoapModelObject(soap);
  if (object == nullptr) return nullptr;
  int rc = m_iLastResult = m_pBinding->findByPath(path, *object);
  if (rc == SOAP_OK && !object->name.empty()) return new CRepositoryObject(m_pBinding, object);
  destroyModelObject(soap, object);
  return nullptr;
}

std::vector<CRepositoryClient::Child> CRepositoryClient::findChildren(const std::string& path) {
  std::vector<Child> children;
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return children;
  struct soap* soap = m_pBinding->soap;
  ns2__SoapModelObjectArray* found = soap_new_ns2__SoapModelObjectArray(soap);
  if (found == nullptr) return children;
  if (m_pBinding->findChildrenOfPath(path, *found) == SOAP_OK) {
    for (const ns2__SoapModelObject* object : found->item)
      if (object != nullptr) children.push_back(Child{object->name, object->childNames});
  }
  for (ns2__SoapModelObject* object : found->item) destroyModelObject(soap, object);
  soap_delete(soap, found);
  return children;
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
  static const char kEmpty[] = "";
  std::unique_ptr<CUploadSource> source = memorySource(data != nullptr ? data : kEmpty, data != nullptr ? size : 0);
  return upload(path, *source);
}

std::string CRepositoryClient::uploadLocalFile(std::string folderPath, std::string localPath) {
  // The file is opened before anything is sent: one that cannot be read
  // costs no request. An empty file is uploaded as zero bytes.
  std::unique_ptr<CUploadSource> source = fileSource(localPath);
  if (!source) return std::string();
  return upload(folderPath + "/" + localFileName(localPath), *source);
}

std::string CRepositoryClient::upload(const std::string& path, CUploadSource& source) {
  m_iLastResult = SOAP_EOM;
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return std::string();
  struct soap* soap = m_pBinding->soap;
  std::vector<std::string> segments = pathSegments(path);
  if (segments.empty()) return std::string();
  CTransferMeter meter(m_pProgress);
  if (!meter.start(source.size())) return std::string();

  // Make the missing folders on the way, top down.
  std::string current;
  for (size_t i = 0; i + 1 < segments.size(); ++i) {
    const std::string wanted = current + "/" + segments[i];
    std::string candidate = wanted;
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
      // Another client may have made it since the lookup (two first
      // reports of one solver at once): the folder is there all the same.
      std::unique_ptr<CRepositoryObject> made(candidate.empty() ? findByPath(wanted) : nullptr);
      if (made) {
        made->release();
        candidate = wanted;
      }
    }
    current = candidate;
  }

  ns2__UploadFile file;
  file.name = segments.back();
  file.size = static_cast<LONG64>(source.size());
  file.typeName = kFileType;
  ns2__UploadFilesRequestStruct request;
  request.parent = current;
  request.uploadFiles.push_back(&file);

  // The bytes travel as one DIME attachment, read from the source as the
  // request goes out. The runtime cannot stream an empty attachment: that
  // one is attached as it is.
  ns2__UploadFilesResponseStruct* response = soap_new_ns2__UploadFilesResponseStruct(soap);
  int rc = SOAP_EOM;
  if (response != nullptr && source.size() > 0) {
    CUploadStream stream(soap, source, meter);
    if (stream.attach(kOctetStream, file.name.c_str())) rc = m_pBinding->uploadFiles(&request, *response);
  } else if (response != nullptr) {
    static const char kEmpty[] = "";
    soap_set_dime(soap);
    if (soap_set_dime_attachment(soap, kEmpty, 0, kOctetStream, file.name.c_str(), 0, nullptr) == SOAP_OK)
      rc = m_pBinding->uploadFiles(&request, *response);
  }
  m_strLastFailure = faultTextOf(soap, rc);
  // A refusal that came while the file was still going out.
  if (CClientContext* context = CClientContext::of(soap); context != nullptr && rc != SOAP_OK) {
    const std::string early = context->takeEarlyReply();
    if (!early.empty() && !(m_strLastFailure = faultStringIn(early)).empty()) rc = SOAP_FAULT;
  }
  m_iLastResult = rc;
  soap_clr_dime(soap);
  releaseAttachments(soap);
  std::string result;
  if (rc == SOAP_OK && response->item.size() == 1) result = response->item.front();
  if (response != nullptr) soap_delete(soap, response);
  return result;
}

std::string CRepositoryClient::downloadFileToDisk(std::string path, std::string localPath) {
  CFileSink sink(localPath);
  return download(path, sink);
}

std::string CRepositoryClient::downloadFileToMemory(std::string path, char** data, long* size) {
  if (data == nullptr || size == nullptr) return std::string();
  CMemorySink sink;
  std::string result = download(path, sink);
  if (result.empty()) return result;
  *size = static_cast<long>(sink.size());
  *data = sink.release();
  return result;
}

std::string CRepositoryClient::download(const std::string& path, CDownloadSink& sink) {
  m_iLastResult = SOAP_EOM;
  if (m_pBinding == nullptr || m_pBinding->soap == nullptr) return std::string();
  struct soap* soap = m_pBinding->soap;
  ns1__DownloadFilesRequestStruct request;
  request.PathElement.push_back(path);
  ns2__DownloadFilesResponseStruct* response = soap_new_ns2__DownloadFilesResponseStruct(soap);
  if (response == nullptr) return std::string();
  CTransferMeter meter(m_pProgress);
  bool received = false;
  {
    CDownloadStream stream(soap, sink, meter);
    m_iLastResult = m_pBinding->downloadFiles(&request, *response);
    const CClientContext* context = CClientContext::of(soap);
    received = stream.received() && context != nullptr && context->replyReadToItsEnd(soap);
  }
  m_strLastFailure = faultTextOf(soap, m_iLastResult);
  // Exactly one item and its bytes as the first attachment, or nothing.
  std::string result;
  if (m_iLastResult == SOAP_OK && response->item.size() == 1 && received && sink.commit())
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
