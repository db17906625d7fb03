// QuillonBinding: the proxy of the repository service. One object owns one
// runtime context; each operation posts one request to `endpoint` and reads
// one reply. Results: 0 success, 12 SOAP Fault, 28 no TCP connection, 20 when
// there is no context (out of memory, or the process's gSOAP runtime is not
// the variant the library needs), 6 (SOAP_NO_TAG) for a reply without the
// expected response element, another runtime code for other failures.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "WireTypes.h"

namespace talixdb {
class ClientTls;
}

class QuillonBinding {
 public:
  struct soap* soap;
  const char* endpoint;

  QuillonBinding();
  virtual ~QuillonBinding();

  // Points the proxy at `url`; the context holds the copy `endpoint` names.
  // An "https://" URL also sets the context up for TLS, trusting the
  // certificates in `trustFile`, or the system's when it is empty
  // (ClientTls.h). Returns "" or why TLS cannot be set up.
  std::string setEndpoint(const std::string& url, const std::string& trustFile);
  // "" unless the last call failed in TLS: then why, in one sentence.
  std::string tlsFailure() const;
  // The trust file TLS was set up with; "" for the system's, or without TLS.
  std::string tlsTrustFile() const;

  // Where the text of each failed call goes (CallFailure.h): `note` must
  // outlive the proxy; null writes nowhere.
  void noteFailuresIn(std::string* note) { m_failureNote = note; }
  // Writes the text of the call that began at `start` and ended with
  // `result`, when that is a failure; returns `result`.
  int noteFailure(int result, std::chrono::steady_clock::time_point start);
  // Writes a failure the caller found itself (a login refused by the library).
  void noteFailure(const std::string& text);
  // What was written last ("" when nothing, or no note is kept).
  std::string lastFailure() const { return m_failureNote != nullptr ? *m_failureNote : std::string(); }

  virtual int login(ns1__LoginRequestStruct* request, ns1__LoginResponseElement& response);
  virtual int isLoggedIn(ns1__IsLoggedInRequestElement* request, bool& response);
  virtual int logout(int request, bool& response);
  virtual int findByPath(std::string path, ns2__SoapModelObject& response);
  virtual int findChildrenOfPath(std::string path, ns2__SoapModelObjectArray& response);
  virtual int findByQuery(std::string query, ns2__SoapModelObjectArray& response);
  virtual int createModelObject(ns2__SoapModelObject* object, std::string& response);
  virtual int createFileFromFTP(ns2__CreateFileFromFTPStruct* request, std::string& response);
  virtual int deleteModelObject(std::string path, bool& response);
  virtual int updateModelObject(ns2__SoapModelObject* object, ns2__SoapModelObject& response);
  virtual int uploadFiles(ns2__UploadFilesRequestStruct* request, ns2__UploadFilesResponseStruct& response);
  virtual int downloadFiles(ns1__DownloadFilesRequestStruct* request, ns2__DownloadFilesResponseStruct& response);
  virtual int exportObjectToFTP(std::string path, LONG64& response);
  virtual int move(ns1__MoveRequestElement* request, std::string& response);
  virtual int checkin(ns1__CheckinRequestElement* request, bool& response);
  virtual int checkout(ns1__CheckoutRequestElement* request, bool& response);
  virtual int getChangeLogs(std::string path, ns2__ChangeLogs& response);
  virtual int getVersionNames(std::string path, ns1__GetVersionNamesResponseElement& response);
  virtual int isCheckedOut(std::string path, bool& response);
  virtual int isCheckinEnabled(std::string path, bool& response);
  virtual int isVersioningSupported(std::string path, bool& response);
  virtual int setCheckinPolicy(ns1__SetCheckinPolicyRequestElement* request, bool& response);
  virtual int getGroups(std::string user, ns2__GetGroupsResponseStruct& response);
  virtual int hasPermission(ns2__PermissionRequest* request, bool& response);
  virtual int addPermission(ns2__PermissionRequest* request, bool& response);
  virtual int removePermission(ns2__PermissionRequest* request, bool& response);
  virtual int authenticate(std::string request, std::string& response);
  virtual int invalidate(std::string request, bool& response);
  virtual int getSessionId(std::string request, std::string& response);
  virtual int getUpstreamDependenciesById(std::string id, std::string& response);
  virtual int createUser(ns1__CreateUserRequestElement* request, std::string& response);
  virtual int getModelSpecs(std::string request, ns2__SoapModelArray& response);
  virtual int getModelSpecsEx(std::string request, ns2__SoapModelArray& response);
  virtual int publishEvent(ns2__PublishEventStruct* request, bool& response);
  virtual int getWorkspaces(ns1__GetWorkspacesResponseElement& response);
  virtual int executeProcess(ns2__ExecuteProcessStruct* request, std::string& response);
  virtual int getProcessStatus(std::string id, int& response);
  virtual int getProcessTranscript(std::string id, std::string& response);
  virtual int getProcessOutputFiles(ns2__ProcessOutputFilesStruct* request, int& response);

  QuillonBinding(const QuillonBinding&) = delete;
  QuillonBinding& operator=(const QuillonBinding&) = delete;

 private:
  std::unique_ptr<talixdb::ClientTls> m_tls;  // null for plain HTTP
  std::string* m_failureNote = nullptr;
};
