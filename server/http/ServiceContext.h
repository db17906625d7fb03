// What one worker's runtime context carries besides the runtime's own state:
// its storage connection and repository, the limits, and the state of the
// request being served (session cookie, operation, outcome, attachments).
// Reached from the runtime context through its `user` pointer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/AddressList.h"
#include "base/Metrics.h"
#include "base/ServerLog.h"
#include "http/ConnectionPolicy.h"
#include "http/RequestScanner.h"
#include "repository/LoginThrottle.h"
#include "repository/Repository.h"
#include "stdsoap2.h"
#include "storage/Storage.h"

namespace talixdb::server {

// Name of the session cookie.
constexpr const char* kSessionCookie = "TALIXSESSION";

// Fault codes: a request no client of the contract sends, and a request the
// repository's rules refuse (which clients report as a fault, 12).
constexpr const char* kClientFaultCode = "SOAP-ENV:Client";
constexpr const char* kRepositoryFaultCode = "SOAP-ENV:Client.Repository";
// A request the server cannot take now (clients report it as 2).
constexpr const char* kServerFaultCode = "SOAP-ENV:Server";

struct ServiceLimits {
  std::uint64_t maxUpload = 64ull << 30;  // bytes of one file
  std::uint64_t maxXml = 16ull << 20;    // bytes read of a request without attachments (also when dropped)
  std::int64_t sessionTimeout = 1800;    // seconds idle
  XmlLimits xml;                         // what the XML part may hold
  AddressList metricsFrom;               // clients that may read GET /metrics (none: not served)
  std::size_t maxDownloadPaths = 4096;   // paths one downloadFiles request may name
};

// One DIME attachment of the request, streamed into the store as it arrives.
// One larger than the upload limit refuses the request (see refuseRequest).
struct ReceivedAttachment {
  std::string id;                          // as its DIME record names it
  std::unique_ptr<StagedContent> content;  // null when discarded
  std::uint64_t received = 0;
  bool failed = false;  // the store could not take the bytes
};

// One file of a downloadFiles reply: found before the reply begins, its
// bytes opened only when the runtime reaches its attachment and closed after
// it, so that a reply holds one content open at a time.
struct OutgoingFile {
  Download download;
  std::unique_ptr<ContentSource> source;  // while its attachment is written
  std::uint64_t records = 1;              // DIME records it travels as (see DimeRecords.h)
  std::uint64_t opened = 0;               // of them begun so far
};

class ServiceContext {
 public:
  ServiceContext(std::unique_ptr<Storage> storage, const ServiceLimits& limits);
  // Gives the runtime context it was attached to its own hooks back: the
  // runtime may still close a connection when it is freed afterwards.
  ~ServiceContext();
  ServiceContext(const ServiceContext&) = delete;
  ServiceContext& operator=(const ServiceContext&) = delete;

  // The context attached to a runtime context by attach().
  static ServiceContext& of(struct soap* soap);
  // Links this to `soap` and installs the HTTP and DIME hooks on it.
  void attach(struct soap* soap);

  Repository& repository() { return m_repository; }
  const ServiceLimits& limits() const { return m_limits; }

  // Clears the per-request state before a request from `client` is read;
  // `served` requests came before it on its connection, and `mayKeepAlive`
  // says whether the connection may serve more after it.
  void beginRequest(const std::string& client, int served = 0, bool mayKeepAlive = false);
  // The bytes of the request that were read before its worker took it; with
  // `complete`, they are all of it and the socket is not read.
  void takeInput(std::string bytes, bool complete);
  // Drops attachments and download sources after the reply, and gives back
  // the request's transfer place and the bytes of a held reply not taken.
  void endRequest();
  // The bytes of the reply its client has not taken yet, for the waiting
  // room to send; the caller takes over their share of the policy's held bytes.
  std::string takeHeldReply();
  // The limits shared with the other workers; without them, requests have
  // no deadlines and no keep-alive.
  void setPolicy(ConnectionPolicy* policy) { m_policy = policy; }
  ConnectionPolicy* policy() const { return m_policy; }
  // What slows password guessing, shared with the other workers; without
  // it, logins are not slowed.
  void setLoginThrottle(LoginThrottle* throttle) { m_throttle = throttle; }
  LoginThrottle* loginThrottle() const { return m_throttle; }
  // The head of an uploadFiles or downloadFiles request has been read: checks
  // the session its cookie names and takes a transfer place for its user and
  // address, before any of its bytes is staged (an upload needs a full
  // session). "" when admitted; else why not, with the fault code in `code`.
  std::string admitTransfer(bool upload, const char*& code);
  // Gives back the request's transfer place, if it holds one: after its
  // reply, or just before the reply's last bytes go out, so that a client
  // whose next transfer follows at once never finds its own place still taken.
  void giveBackTransferPlace();
  // Writes the request's log line, once per request: just before the reply
  // goes out (so that a client never sees a reply whose line is missing),
  // or after a request that got no reply.
  void logRequest(struct soap* soap);

  // ---- state of the current request
  std::string client;      // the peer's address
  std::chrono::steady_clock::time_point started;
  Caller caller;           // session named by the cookie; user once known
  std::string newSession;  // a session to name in a Set-Cookie header
  std::string operation;   // set when an operation ran
  std::string outcome;     // "ok", "fault: ..." or "probe"; "" for a fault of the runtime
  LogLevel level = LogLevel::Warning;         // of the log line, once an outcome is set
  LogLevel refusalLevel = LogLevel::Info;     // of a refusal by the repository rules
  bool probe = false;      // the request is the library's reachability probe
  std::uint64_t bytesReceived = 0;
  std::uint64_t receiveLimit = 0;  // bytes allowed for the request so far
  std::uint64_t messageEnd = 0;    // end of the body its Content-Length names (0: unknown)
  RequestScanner scanner;          // looks at the body of a POST to the service
  bool scanning = false;           // the body has begun and goes through the scanner
  std::string inputRefusal;        // why the request's bytes were refused, before an operation ran
  std::string inputRefusalCode;    // the fault code of that refusal
  std::vector<std::int64_t> declaredSizes;  // of each file an uploadFiles request names, in order
  std::string allowedMethods;      // for the Allow header of a 405 reply
  std::vector<std::unique_ptr<ReceivedAttachment>> attachments;
  std::vector<std::unique_ptr<OutgoingFile>> downloads;
  bool logged = false;
  bool inProgress = false;         // counted among the requests in progress
  bool counted = false;            // its outcome is in the figures
  std::uint64_t countedBytes = 0;  // received bytes counted with its outcome
  // Time limits of the request and of its reply (see ConnectionPolicy).
  Deadline receiveDeadline;
  Deadline sendDeadline;
  std::uint64_t attachmentBytes = 0;  // received in attachments
  std::uint64_t bytesSent = 0;
  std::uint64_t replyLength = 0;     // as the reply's header says (0: unknown)
  std::string cut;              // why the request or its reply was cut short ("": it was not)
  bool cutLogged = false;
  int served = 0;               // requests served before this one on the connection
  bool mayKeepAlive = false;    // the connection may serve another request after this one
  std::string connectionHeader;  // its value, in lower case
  bool requestLineSeen = false;
  bool http11 = false;          // the request line says HTTP/1.1
  bool bodiless = false;        // a GET
  bool keptAlive = false;       // the reply said the connection stays open
  bool transferPlace = false;   // holds one of the policy's transfer places
  std::string input;            // read ahead by the waiting room (see takeInput)
  std::size_t inputTaken = 0;
  bool inputComplete = false;
  std::string heldReply;        // written when the client takes it, after the worker is done
  bool streamEnded = false;     // a read of the socket found no more bytes (the client went, or time ran out)
  bool closed = false;          // the runtime ended the connection (not kept for another request)
  bool dropRest = false;        // what the client still sends of the request is to be read and dropped

  // The runtime's own hooks, called by the ones installed in attach().
  int (*parseHeaders)(struct soap*) = nullptr;
  int (*parseHeader)(struct soap*, const char*, const char*) = nullptr;
  int (*postHeader)(struct soap*, const char*, const char*) = nullptr;
  int (*respond)(struct soap*, int, ULONG64) = nullptr;
  std::size_t (*receive)(struct soap*, char*, std::size_t) = nullptr;
  int (*send)(struct soap*, const char*, std::size_t) = nullptr;
  int (*close)(struct soap*) = nullptr;
  int (*closeSocket)(struct soap*, SOAP_SOCKET) = nullptr;

 private:
  // Adds the request to the figures, once (see logRequest).
  void countRequest(LogLevel lineLevel, bool ok);

  std::unique_ptr<Storage> m_storage;
  ServiceLimits m_limits;
  struct soap* m_soap = nullptr;  // attached to
  ConnectionPolicy* m_policy = nullptr;
  LoginThrottle* m_throttle = nullptr;
  Repository m_repository;
  std::string m_placeUser;     // whose transfer place the request holds
  std::string m_placeAddress;
};

}  // namespace talixdb::server
