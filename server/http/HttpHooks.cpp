#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "ServiceUris.h"
#include "base/Guard.h"
#include "http/HttpCookies.h"
#include "http/ServiceContext.h"
#include "http/ServiceHooks.h"
#include "http/SocketIo.h"

namespace talixdb::server {

namespace {

// The runtime's hooks, each calling the runtime's own one it replaces.
int parseHeaders(struct soap* soap);
int parseHeader(struct soap* soap, const char* key, const char* value);
int postHeader(struct soap* soap, const char* key, const char* value);
int respond(struct soap* soap, int status, ULONG64 count);
std::size_t receive(struct soap* soap, char* buffer, std::size_t size);
int send(struct soap* soap, const char* data, std::size_t size);
int prepareReceived(struct soap* soap, const char* data, std::size_t size);
int closeConnection(struct soap* soap);
int keepSocketOpen(struct soap* soap, SOAP_SOCKET socket);
bool requestLeftUnread(const ServiceContext& context);
bool holdReply(ServiceContext& context, const char* data, std::size_t size);
int sendHeld(struct soap* soap, ServiceContext& context);
std::chrono::milliseconds timeLeft(const Deadline& deadline, const ConnectionPolicy& policy);
void decideKeepAlive(struct soap* soap, ServiceContext& context);
bool isTransferAction(const char* action);
// Notes that the request or its reply missed its deadline (the first note
// counts), saying how long it had.
void noteCut(ServiceContext& context, const char* what) noexcept;

}  // namespace

int refuseRequest(struct soap* soap, const std::string& why, const char* code) {
  ServiceContext& context = ServiceContext::of(soap);
  if (context.inputRefusal.empty()) {
    context.inputRefusal = why;
    context.inputRefusalCode = code;
  }
  return soap->error = SOAP_FAULT;
}

void installHttpHooks(struct soap* soap, ServiceContext& context) {
  context.parseHeaders = soap->fparse;
  context.parseHeader = soap->fparsehdr;
  context.postHeader = soap->fposthdr;
  context.receive = soap->frecv;
  context.send = soap->fsend;
  context.respond = soap->fresponse;
  context.close = soap->fclose;
  context.closeSocket = soap->fclosesocket;
  // Each through the guard: a failure is the runtime's error value and a log line.
  soap->fparse = [](struct soap* s) { return guarded("reading an HTTP head", int{SOAP_EOM}, [&] { return parseHeaders(s); }); };
  soap->fparsehdr = [](struct soap* s, const char* key, const char* value) {
    return guarded("reading an HTTP header", int{SOAP_EOM}, [&] { return parseHeader(s, key, value); });
  };
  soap->fposthdr = [](struct soap* s, const char* key, const char* value) {
    return guarded("writing an HTTP header", int{SOAP_EOM}, [&] { return postHeader(s, key, value); });
  };
  soap->frecv = [](struct soap* s, char* buffer, std::size_t size) {
    return guarded("receiving a request", std::size_t{0}, [&] { return receive(s, buffer, size); });
  };
  soap->fsend = [](struct soap* s, const char* data, std::size_t size) {
    return guarded("sending a reply", int{SOAP_EOF}, [&] { return send(s, data, size); });
  };
  soap->fresponse = [](struct soap* s, int status, ULONG64 count) {
    return guarded("starting a reply", int{SOAP_EOM}, [&] { return respond(s, status, count); });
  };
  soap->fpreparerecv = [](struct soap* s, const char* data, std::size_t size) {
    return guarded("scanning a request", int{SOAP_EOM}, [&] { return prepareReceived(s, data, size); });
  };
  soap->fclose = [](struct soap* s) { return guarded("ending a request", int{SOAP_OK}, [&] { return closeConnection(s); }); };
  soap->fclosesocket = keepSocketOpen;
}

void uninstallHttpHooks(struct soap* soap, const ServiceContext& context) {
  soap->fparse = context.parseHeaders;
  soap->fparsehdr = context.parseHeader;
  soap->fposthdr = context.postHeader;
  soap->frecv = context.receive;
  soap->fsend = context.send;
  soap->fresponse = context.respond;
  soap->fpreparerecv = nullptr;
  soap->fclose = context.close;
  soap->fclosesocket = context.closeSocket;
}

namespace {

// After the header block: a body is read no further than its
// Content-Length says, so that a truncated request ends at once instead of
// waiting for bytes that never come. Only a POST to the service path goes on;
// its body passes the scanner from here (the runtime hands the part of it
// that came with the header block to prepareReceived next).
int parseHeaders(struct soap* soap) {
  ServiceContext& context = ServiceContext::of(soap);
  int result = context.parseHeaders(soap);
  if (soap->length > 0) {
    std::uint64_t buffered = soap->buflen - soap->bufidx;
    context.messageEnd = context.bytesReceived - buffered + soap->length;
  }
  if (result != SOAP_OK) return result;
  // Answered by serveRequest: a reply sent from here would not stop the runtime.
  if (soap->status == SOAP_POST && !isServicePath(soap->path)) return soap->error = 404;
  // A transfer is admitted before any byte of its body is read.
  if (isTransferAction(soap->action)) {
    try {
      const char* code = kClientFaultCode;
      const bool upload = std::strcmp(soap->action, TALIXDB_NS1_URI "uploadFiles") == 0;
      std::string refusal = context.admitTransfer(upload, code);
      if (!refusal.empty()) return refuseRequest(soap, refusal, code);
    } catch (...) {
      return soap->error = SOAP_EOM;
    }
  }
  if (soap->zlib_in != SOAP_ZLIB_NONE) return refuseRequest(soap, "compressed requests are not accepted");
  if ((soap->imode | soap->mode) & (SOAP_ENC_MIME | SOAP_ENC_MTOM))
    return refuseRequest(soap, "MIME attachments are not accepted: files travel as DIME attachments");
  context.scanning = true;
  return SOAP_OK;
}

int parseHeader(struct soap* soap, const char* key, const char* value) {
  ServiceContext& context = ServiceContext::of(soap);
  // While the header lines are read, the request line is still in msgbuf.
  if (!context.requestLineSeen) {
    context.requestLineSeen = true;
    context.http11 = std::strstr(soap->msgbuf, " HTTP/1.1") != nullptr;
    context.bodiless = std::strncmp(soap->msgbuf, "GET ", 4) == 0;
  }
  if (key != nullptr && soap_tag_cmp(key, "Cookie") == 0) {
    try {
      std::string session = cookieValue(value != nullptr ? value : "", kSessionCookie);
      if (!session.empty() && context.caller.session.empty()) context.caller.session = session;
    } catch (...) {
      return soap->error = SOAP_EOM;
    }
    return SOAP_OK;
  }
  if (key != nullptr && value != nullptr && soap_tag_cmp(key, "Connection") == 0) {
    context.connectionHeader = value;
    for (char& c : context.connectionHeader) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return context.parseHeader(soap, key, value);
}

// Called once per header line; a null key ends the header block, which is
// where a new session is named.
int postHeader(struct soap* soap, const char* key, const char* value) {
  ServiceContext& context = ServiceContext::of(soap);
  if (key == nullptr && value == nullptr && !context.allowedMethods.empty()) {
    int error = context.postHeader(soap, "Allow", context.allowedMethods.c_str());
    if (error != SOAP_OK) return error;
  }
  if (key == nullptr && value == nullptr && !context.newSession.empty()) {
    int error = SOAP_OK;
    try {
      std::string cookie = sessionCookie(kSessionCookie, context.newSession, overTls(soap));
      context.newSession.clear();
      error = context.postHeader(soap, "Set-Cookie", cookie.c_str());
    } catch (...) {
      error = SOAP_EOM;
    }
    if (error != SOAP_OK) return error;
  }
  if (key != nullptr && std::strcmp(key, "Keep-Alive") == 0 && context.policy() != nullptr) {
    // The runtime would name its socket timeout; the client wants the idle limit.
    const ConnectionPolicy& policy = *context.policy();
    char limits[64];
    std::snprintf(limits, sizeof limits, "timeout=%lld, max=%d",
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(policy.idleTimeout).count()),
                  policy.keepAliveRequests - context.served - 1);
    return context.postHeader(soap, key, limits);
  }
  return context.postHeader(soap, key, value);
}

// The reply (or fault) is about to go out: its log line goes first. The
// request's deadline ends; the reply's begins, and grows only as its bytes
// are taken (see send), so that a slow reader cannot hold it for the time
// the bytes it declares would take.
int respond(struct soap* soap, int status, ULONG64 count) {
  ServiceContext& context = ServiceContext::of(soap);
  try {
    context.logRequest(soap);
  } catch (...) {
    // A lost log line must not cost the reply.
  }
  context.receiveDeadline.stop();
  decideKeepAlive(soap, context);
  if (const ConnectionPolicy* policy = context.policy()) {
    context.sendDeadline.start(std::chrono::steady_clock::now(), policy->requestTimeout);
    context.bytesSent = 0;
    context.replyLength = count;
  }
  return context.respond(soap, status, count);
}

// Reads no further than the request's limit: past it the request looks
// truncated and is refused. No read waits beyond the request's deadline;
// once it has passed, the request is cut and looks truncated too.
std::size_t receive(struct soap* soap, char* buffer, std::size_t size) {
  ServiceContext& context = ServiceContext::of(soap);
  std::uint64_t limit = context.receiveLimit;
  if (context.messageEnd > 0) limit = std::min(limit, context.messageEnd);
  if (context.bytesReceived >= limit) return 0;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, limit - context.bytesReceived));
  // What the waiting room read first; a request it read whole never waits here.
  if (context.inputTaken < context.input.size()) {
    const std::size_t taken = std::min(size, context.input.size() - context.inputTaken);
    std::memcpy(buffer, context.input.data() + context.inputTaken, taken);
    context.inputTaken += taken;
    context.bytesReceived += taken;
    return taken;
  }
  if (context.inputComplete) return 0;
  Deadline& deadline = context.receiveDeadline;
  if (deadline.running()) {
    soap->recv_timeout = deadline.socketTimeout(context.policy()->stallTimeout);
    if (soap->recv_timeout == 0) {
      noteCut(context, "the request did not arrive");
      return 0;
    }
  }
  std::size_t got = context.receive(soap, buffer, size);
  context.bytesReceived += got;
  if (got == 0) context.streamEnded = true;
  if (got == 0 && deadline.running() && deadline.socketTimeout(context.policy()->stallTimeout) == 0)
    noteCut(context, "the request did not arrive");
  return got;
}

// Sends what the socket takes at once; a reply its client does not take
// that fast is held, within the policy's caps, and written by the waiting
// room after the worker is done. Beyond the caps (a download, a reply larger
// than they allow) the worker waits, never beyond the reply's deadline,
// which grows with the bytes sent; once it has passed, the reply is cut.
int send(struct soap* soap, const char* data, std::size_t size) {
  ServiceContext& context = ServiceContext::of(soap);
  const ConnectionPolicy* policy = context.policy();
  if (policy == nullptr || !soap_valid_socket(soap->socket)) return context.send(soap, data, size);
  Deadline& deadline = context.sendDeadline;
  // Bytes sent before a reply began (an interim "100 Continue").
  if (!deadline.running()) deadline.start(std::chrono::steady_clock::now(), policy->requestTimeout);
  while (size > 0) {
    // The transfer place goes back just before the reply's last bytes go out.
    if (context.replyLength > 0 && context.bytesSent + size >= context.replyLength) context.giveBackTransferPlace();
    if (!context.heldReply.empty()) {
      // What follows held bytes is held too, or waits until they are out.
      if (holdReply(context, data, size)) return SOAP_OK;
      if (int error = sendHeld(soap, context); error != SOAP_OK) return error;
      continue;
    }
    const SocketIo written = writeSome(soap->socket, soap->ssl, data, size);
    if (written.status == SocketIo::Status::Moved) {
      context.bytesSent += written.bytes;
      deadline.grant(context.bytesSent, policy->minRate);
      data += written.bytes;
      size -= written.bytes;
      continue;
    }
    if (written.status != SocketIo::Status::WouldBlock) return SOAP_EOF;
    if (holdReply(context, data, size)) return SOAP_OK;
    if (!waitForSocket(soap->socket, written, timeLeft(deadline, *policy))) {
      noteCut(context, "the reply was not taken");
      return SOAP_EOF;
    }
  }
  return SOAP_OK;
}

// Every received block of the body passes the scanner before the parser
// reads it; once it refuses, every later block is refused too.
int prepareReceived(struct soap* soap, const char* data, std::size_t size) {
  ServiceContext& context = ServiceContext::of(soap);
  if (!context.scanning || context.scanner.feed(data, size)) return SOAP_OK;
  return refuseRequest(soap, context.scanner.refusal());
}

// The runtime is done with the connection. Its socket and TLS session
// belong to the server's connection, which closes them once the worker has
// let go of them (see keepSocketOpen). A request answered before its end
// (refused, or faulty) has its reply out; what the client still sends of it
// is read and dropped by the waiting room before the connection closes, so
// that the client, which may send all before it reads, finds the reply rather
// than a reset connection. A request cut by its deadline gets nothing more.
int closeConnection(struct soap* soap) {
  ServiceContext& context = ServiceContext::of(soap);
  if (soap_valid_socket(soap->socket) && context.cut.empty() && requestLeftUnread(context)) context.dropRest = true;
  context.closed = true;
  soap->socket = SOAP_INVALID_SOCKET;
  soap->ssl = nullptr;
  return SOAP_OK;
}

int keepSocketOpen(struct soap*, SOAP_SOCKET) { return SOAP_OK; }

bool requestLeftUnread(const ServiceContext& context) {
  std::uint64_t end = context.receiveLimit;
  if (context.messageEnd > 0) end = std::min(end, context.messageEnd);
  else if (context.inputRefusal.empty()) return false;  // no length and nothing refused: nothing known to be unread
  return context.bytesReceived < end && !context.inputComplete;
}

// Holds `size` more bytes of the reply, unless that would pass the caps: a
// transfer's reply (its place bounds those) is never held.
bool holdReply(ServiceContext& context, const char* data, std::size_t size) {
  const ConnectionPolicy& policy = *context.policy();
  if (policy.held == nullptr || context.transferPlace || context.heldReply.size() + size > policy.replyHeld ||
      !policy.held->take(size))
    return false;
  try {
    context.heldReply.append(data, size);
  } catch (...) {
    policy.held->give(size);
    return false;
  }
  return true;
}

// Writes the held bytes, waiting as the reply's deadline allows.
int sendHeld(struct soap* soap, ServiceContext& context) {
  const ConnectionPolicy& policy = *context.policy();
  while (!context.heldReply.empty()) {
    const SocketIo written = writeSome(soap->socket, soap->ssl, context.heldReply.data(), context.heldReply.size());
    if (written.status == SocketIo::Status::Moved) {
      context.heldReply.erase(0, written.bytes);
      policy.held->give(written.bytes);
      context.bytesSent += written.bytes;
      context.sendDeadline.grant(context.bytesSent, policy.minRate);
    } else if (written.status != SocketIo::Status::WouldBlock) {
      return SOAP_EOF;
    } else if (!waitForSocket(soap->socket, written, timeLeft(context.sendDeadline, policy))) {
      noteCut(context, "the reply was not taken");
      return SOAP_EOF;
    }
  }
  return SOAP_OK;
}

std::chrono::milliseconds timeLeft(const Deadline& deadline, const ConnectionPolicy& policy) {
  const int timeout = deadline.socketTimeout(policy.stallTimeout);  // negative microseconds
  return std::chrono::milliseconds(-static_cast<long long>(timeout) / 1000);
}

// Whether the connection stays open after this reply: when the client asked
// for it, the connection may serve more, nothing of the request is left
// unread and the server is not stopping. The runtime writes the Connection
// header from soap->keep_alive and leaves a kept connection open.
void decideKeepAlive(struct soap* soap, ServiceContext& context) {
  const ConnectionPolicy* policy = context.policy();
  // HTTP/1.1 keeps the connection unless the request says "close".
  const std::string& asked = context.connectionHeader;
  const bool askedKeepAlive = asked.find("close") == std::string::npos &&
                              (context.http11 || asked.find("keep-alive") != std::string::npos);
  const bool complete = context.bodiless ||
                        (context.messageEnd > 0 && context.bytesReceived == context.messageEnd);
  context.keptAlive = policy != nullptr && context.mayKeepAlive && askedKeepAlive && !policy->stopping &&
                      context.served + 1 < policy->keepAliveRequests && context.inputRefusal.empty() &&
                      context.cut.empty() && complete && soap->bufidx >= soap->buflen;
  soap->keep_alive = context.keptAlive ? 1 : 0;
}

bool isTransferAction(const char* action) {
  return action != nullptr && (std::strcmp(action, TALIXDB_NS1_URI "uploadFiles") == 0 ||
                               std::strcmp(action, TALIXDB_NS1_URI "downloadFiles") == 0);
}

void noteCut(ServiceContext& context, const char* what) noexcept {
  if (!context.cut.empty()) return;
  const auto tenths =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - context.started).count() /
      100;
  try {
    context.cut = std::string(what) + " within " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
  } catch (...) {
    context.cut = "late";  // fits in the string's own room
  }
}

}  // namespace

}  // namespace talixdb::server
