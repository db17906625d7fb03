#include "client/QuillonBinding.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdlib>

#include "Namespaces.h"
#include "client/CallFailure.h"
#include "client/ClientContext.h"
#include "client/ClientTls.h"
#include "client/RuntimeCheck.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kDefaultEndpoint[] = "http://localhost/vlt/services/QuillonBinding";

// Seconds from an environment variable; unset or unreadable gives the default,
// 0 means no limit.
int secondsFromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || value < 0 || value > 86400 * 365) return fallback;
  return static_cast<int>(value);
}

// Calls an operation whose response is one simple value. The generated stub
// leaves the pointer null when the reply lacks the response element: that is
// an error here, never a default value.
template <class T, class Call>
int callForValue(QuillonBinding& binding, T& response, Call call) {
  response = T();
  struct soap* soap = binding.soap;
  if (soap == nullptr) return binding.noteFailure(SOAP_EOM, Clock::now());
  const Clock::time_point start = Clock::now();
  T* value = nullptr;
  int rc = call(&value);
  if (rc == SOAP_OK) {
    if (value == nullptr)
      rc = soap->error = SOAP_NO_TAG;
    else
      response = *value;
  }
  return binding.noteFailure(rc, start);
}

// Posts the request with `send` and reads the reply into `response`.
template <class Response, class Send>
int receiveElement(struct soap* soap, Response& response, const char* tag, Send send) {
  if (send() != SOAP_OK) return soap->error;
  response.soap_default(soap);
  if (soap_begin_recv(soap) || soap_envelope_begin_in(soap) || soap_recv_header(soap) || soap_body_begin_in(soap))
    return soap_closesock(soap);
  if (response.soap_get(soap, tag, nullptr) == nullptr) {
    int rc = soap_recv_fault(soap, 0);
    if (rc != SOAP_OK) return rc;
    return soap->error = SOAP_NO_TAG;
  }
  if (soap_body_end_in(soap) == SOAP_OK && soap_envelope_end_in(soap) == SOAP_OK) soap_end_recv(soap);
  return soap_closesock(soap);
}

// Calls an operation whose response is a structure or a list: `send` posts
// the request with the generated stub and the reply is read here, as the
// generated receiver reads it, except that a reply whose body holds neither
// the response element (`tag`) nor a Fault is an error, not a success.
template <class Response, class Send>
int callForElement(QuillonBinding& binding, Response& response, const char* tag, Send send) {
  struct soap* soap = binding.soap;
  if (soap == nullptr) return binding.noteFailure(SOAP_EOM, Clock::now());
  const Clock::time_point start = Clock::now();
  return binding.noteFailure(receiveElement(soap, response, tag, send), start);
}

}  // namespace

QuillonBinding::QuillonBinding() : soap(nullptr), endpoint(kDefaultEndpoint) {
  // A context of another runtime variant would not have this code's layout.
  if (!talixdb::runtimeMismatch().empty()) return;
  soap = soap_new1(SOAP_C_UTFSTRING);
  if (soap == nullptr) return;
  // The service's own table, whatever the process's global `namespaces` is.
  soap_set_namespaces(soap, talixdb::serviceNamespaces());
  // A server that closes the connection early must not kill the host process
  // with SIGPIPE: the write fails and the call reports it.
  soap->socket_flags = MSG_NOSIGNAL;
  // A server that accepts and never answers must not hold the caller forever.
  soap->connect_timeout = secondsFromEnvironment("TALIXDB_CONNECT_TIMEOUT", 30);
  const int io = secondsFromEnvironment("TALIXDB_IO_TIMEOUT", 300);
  soap->recv_timeout = io;
  soap->send_timeout = io;
}

QuillonBinding::~QuillonBinding() {
  if (soap == nullptr) return;
  if (m_tls) m_tls->detach(soap);
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
}

std::string QuillonBinding::setEndpoint(const std::string& url, const std::string& trustFile) {
  if (soap == nullptr) return std::string();
  endpoint = soap_strdup(soap, url.c_str());
  if (url.compare(0, 8, "https://") != 0) return std::string();
  if (!m_tls) m_tls = std::make_unique<talixdb::ClientTls>();
  return m_tls->setUp(soap, url, trustFile);
}

std::string QuillonBinding::tlsFailure() const {
  if (!m_tls || soap == nullptr || soap->error != SOAP_SSL_ERROR) return std::string();
  return m_tls->failure(soap);
}

int QuillonBinding::noteFailure(int result, std::chrono::steady_clock::time_point start) {
  if (result == SOAP_OK || m_failureNote == nullptr) return result;
  try {
    VLT_121::CallRecord call;
    call.endpoint = endpoint != nullptr ? endpoint : "";
    call.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (soap != nullptr) {
      if (const VLT_121::CClientContext* context = VLT_121::CClientContext::of(soap)) {
        call.callTimeUsedUp = context->timeUsedUp();
        call.callTimeoutSeconds = context->baseSeconds();
      }
    }
    call.tlsFailure = tlsFailure();
    *m_failureNote = VLT_121::describeCallFailure(soap, call);
  } catch (...) {
    // Out of memory: the note stays as it was.
  }
  return result;
}

void QuillonBinding::noteFailure(const std::string& text) {
  if (m_failureNote == nullptr) return;
  try {
    *m_failureNote = text;
  } catch (...) {
  }
}

std::string QuillonBinding::tlsTrustFile() const { return m_tls ? m_tls->trustFile() : std::string(); }

int QuillonBinding::login(ns1__LoginRequestStruct* request, ns1__LoginResponseElement& response) {
  return callForElement(*this, response, "ns1:LoginResponseElement",
                        [&] { return soap_send___ns1__login(soap, endpoint, nullptr, request); });
}

int QuillonBinding::isLoggedIn(ns1__IsLoggedInRequestElement* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__isLoggedIn(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::logout(int request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__logout(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::findByPath(std::string path, ns2__SoapModelObject& response) {
  return callForElement(*this, response, "ns2:ReadModelObjectElement",
                        [&] { return soap_send___ns1__findByPath(soap, endpoint, nullptr, path); });
}

int QuillonBinding::findChildrenOfPath(std::string path, ns2__SoapModelObjectArray& response) {
  return callForElement(*this, response, "ns2:ReadModelObjectsElement",
                        [&] { return soap_send___ns1__findChildrenOfPath(soap, endpoint, nullptr, path); });
}

int QuillonBinding::findByQuery(std::string query, ns2__SoapModelObjectArray& response) {
  return callForElement(*this, response, "ns2:ReadModelObjectsElement",
                        [&] { return soap_send___ns1__findByQuery(soap, endpoint, nullptr, query); });
}

int QuillonBinding::createModelObject(ns2__SoapModelObject* object, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__createModelObject(soap, endpoint, nullptr, object, out);
  });
}

int QuillonBinding::createFileFromFTP(ns2__CreateFileFromFTPStruct* request, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__createFileFromFTP(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::deleteModelObject(std::string path, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__deleteModelObject(soap, endpoint, nullptr, path, out);
  });
}

int QuillonBinding::updateModelObject(ns2__SoapModelObject* object, ns2__SoapModelObject& response) {
  return callForElement(*this, response, "ns2:ReadModelObjectElement",
                        [&] { return soap_send___ns1__updateModelObject(soap, endpoint, nullptr, object); });
}

int QuillonBinding::uploadFiles(ns2__UploadFilesRequestStruct* request, ns2__UploadFilesResponseStruct& response) {
  return callForElement(*this, response, "ns2:UploadFilesResponseElement",
                        [&] { return soap_send___ns1__uploadFiles(soap, endpoint, nullptr, request); });
}

int QuillonBinding::downloadFiles(ns1__DownloadFilesRequestStruct* request,
                                  ns2__DownloadFilesResponseStruct& response) {
  return callForElement(*this, response, "ns2:DownloadFilesResponseElement",
                        [&] { return soap_send___ns1__downloadFiles(soap, endpoint, nullptr, request); });
}

int QuillonBinding::exportObjectToFTP(std::string path, LONG64& response) {
  return callForValue(*this, response, [&](LONG64** out) {
    return soap_call___ns1__exportObjectToFTP(soap, endpoint, nullptr, path, out);
  });
}

int QuillonBinding::move(ns1__MoveRequestElement* request, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__move(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::checkin(ns1__CheckinRequestElement* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__checkin(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::checkout(ns1__CheckoutRequestElement* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__checkout(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::getChangeLogs(std::string path, ns2__ChangeLogs& response) {
  return callForElement(*this, response, "ns2:GetChangeLogsResponseElement",
                        [&] { return soap_send___ns1__getChangeLogs(soap, endpoint, nullptr, path); });
}

int QuillonBinding::getVersionNames(std::string path, ns1__GetVersionNamesResponseElement& response) {
  return callForElement(*this, response, "ns1:GetVersionNamesResponseElement",
                        [&] { return soap_send___ns1__getVersionNames(soap, endpoint, nullptr, path); });
}

int QuillonBinding::isCheckedOut(std::string path, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__isCheckedOut(soap, endpoint, nullptr, path, out);
  });
}

int QuillonBinding::isCheckinEnabled(std::string path, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__isCheckinEnabled(soap, endpoint, nullptr, path, out);
  });
}

int QuillonBinding::isVersioningSupported(std::string path, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__isVersioningSupported(soap, endpoint, nullptr, path, out);
  });
}

int QuillonBinding::setCheckinPolicy(ns1__SetCheckinPolicyRequestElement* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__setCheckinPolicy(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::getGroups(std::string user, ns2__GetGroupsResponseStruct& response) {
  return callForElement(*this, response, "ns2:GetGroupsResponseElement",
                        [&] { return soap_send___ns1__getGroups(soap, endpoint, nullptr, user); });
}

int QuillonBinding::hasPermission(ns2__PermissionRequest* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__hasPermission(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::addPermission(ns2__PermissionRequest* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__addPermission(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::removePermission(ns2__PermissionRequest* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__removePermission(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::authenticate(std::string request, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__authenticate(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::invalidate(std::string request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__invalidate(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::getSessionId(std::string request, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__getSessionId(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::getUpstreamDependenciesById(std::string id, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__getUpstreamDependenciesById(soap, endpoint, nullptr, id, out);
  });
}

int QuillonBinding::createUser(ns1__CreateUserRequestElement* request, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__createUser(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::getModelSpecs(std::string request, ns2__SoapModelArray& response) {
  return callForElement(*this, response, "ns2:SoapModelArrayElement",
                        [&] { return soap_send___ns1__getModelSpecs(soap, endpoint, nullptr, request); });
}

int QuillonBinding::getModelSpecsEx(std::string request, ns2__SoapModelArray& response) {
  return callForElement(*this, response, "ns2:SoapModelArrayElement",
                        [&] { return soap_send___ns1__getModelSpecsEx(soap, endpoint, nullptr, request); });
}

int QuillonBinding::publishEvent(ns2__PublishEventStruct* request, bool& response) {
  return callForValue(*this, response, [&](bool** out) {
    return soap_call___ns1__publishEvent(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::getWorkspaces(ns1__GetWorkspacesResponseElement& response) {
  return callForElement(*this, response, "ns1:GetWorkspacesResponseElement",
                        [&] { return soap_send___ns1__getWorkspaces(soap, endpoint, nullptr); });
}

int QuillonBinding::executeProcess(ns2__ExecuteProcessStruct* request, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__executeProcess(soap, endpoint, nullptr, request, out);
  });
}

int QuillonBinding::getProcessStatus(std::string id, int& response) {
  return callForValue(*this, response, [&](int** out) {
    return soap_call___ns1__getProcessStatus(soap, endpoint, nullptr, id, out);
  });
}

int QuillonBinding::getProcessTranscript(std::string id, std::string& response) {
  return callForValue(*this, response, [&](std::string** out) {
    return soap_call___ns1__getProcessTranscript(soap, endpoint, nullptr, id, out);
  });
}

int QuillonBinding::getProcessOutputFiles(ns2__ProcessOutputFilesStruct* request, int& response) {
  return callForValue(*this, response, [&](int** out) {
    return soap_call___ns1__getProcessOutputFiles(soap, endpoint, nullptr, request, out);
  });
}
