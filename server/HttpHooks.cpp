#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>

#include "HttpCookies.h"
#include "ServiceContext.h"
#include "ServiceHooks.h"

namespace talixdb::server {

namespace {

// The runtime's hooks, each calling the runtime's own one it replaces.
int parseHeaders(struct soap* soap);
int parseHeader(struct soap* soap, const char* key, const char* value);
int postHeader(struct soap* soap, const char* key, const char* value);
int respond(struct soap* soap, int status, ULONG64 count);
std::size_t receive(struct soap* soap, char* buffer, std::size_t size);
int prepareReceived(struct soap* soap, const char* data, std::size_t size);
int closeConnection(struct soap* soap);
void dropUnreadRequest(struct soap* soap, ServiceContext& context);

// How long a refused request's remaining bytes are read and dropped: the
// time without any byte, and the time in all.
constexpr auto kDrainIdle = std::chrono::seconds(1);
constexpr auto kDrainTotal = std::chrono::seconds(5);

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
  context.respond = soap->fresponse;
  context.close = soap->fclose;
  soap->fparse = parseHeaders;
  soap->fparsehdr = parseHeader;
  soap->fposthdr = postHeader;
  soap->frecv = receive;
  soap->fresponse = respond;
  soap->fpreparerecv = prepareReceived;
  soap->fclose = closeConnection;
}

void uninstallHttpHooks(struct soap* soap, const ServiceContext& context) {
  soap->fparse = context.parseHeaders;
  soap->fparsehdr = context.parseHeader;
  soap->fposthdr = context.postHeader;
  soap->frecv = context.receive;
  soap->fresponse = context.respond;
  soap->fpreparerecv = nullptr;
  soap->fclose = context.close;
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
  if (soap->zlib_in != SOAP_ZLIB_NONE) return refuseRequest(soap, "compressed requests are not accepted");
  if ((soap->imode | soap->mode) & (SOAP_ENC_MIME | SOAP_ENC_MTOM))
    return refuseRequest(soap, "MIME attachments are not accepted: files travel as DIME attachments");
  context.scanning = true;
  return SOAP_OK;
}

int parseHeader(struct soap* soap, const char* key, const char* value) {
  ServiceContext& context = ServiceContext::of(soap);
  if (key != nullptr && soap_tag_cmp(key, "Cookie") == 0) {
    try {
      std::string session = cookieValue(value != nullptr ? value : "", kSessionCookie);
      if (!session.empty() && context.caller.session.empty()) context.caller.session = session;
    } catch (...) {
      return soap->error = SOAP_EOM;
    }
    return SOAP_OK;
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
      std::string cookie = sessionCookie(kSessionCookie, context.newSession);
      context.newSession.clear();
      error = context.postHeader(soap, "Set-Cookie", cookie.c_str());
    } catch (...) {
      error = SOAP_EOM;
    }
    if (error != SOAP_OK) return error;
  }
  return context.postHeader(soap, key, value);
}

// The reply (or fault) is about to go out: its log line goes first.
int respond(struct soap* soap, int status, ULONG64 count) {
  ServiceContext& context = ServiceContext::of(soap);
  try {
    context.logRequest(soap);
  } catch (...) {
    // A lost log line must not cost the reply.
  }
  return context.respond(soap, status, count);
}

// Reads no further than the request's limit: past it the request looks
// truncated and is refused.
std::size_t receive(struct soap* soap, char* buffer, std::size_t size) {
  ServiceContext& context = ServiceContext::of(soap);
  std::uint64_t limit = context.receiveLimit;
  if (context.messageEnd > 0) limit = std::min(limit, context.messageEnd);
  if (context.bytesReceived >= limit) return 0;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, limit - context.bytesReceived));
  std::size_t got = context.receive(soap, buffer, size);
  context.bytesReceived += got;
  return got;
}

// Every received block of the body passes the scanner before the parser
// reads it; once it refuses, every later block is refused too.
int prepareReceived(struct soap* soap, const char* data, std::size_t size) {
  ServiceContext& context = ServiceContext::of(soap);
  if (!context.scanning || context.scanner.feed(data, size)) return SOAP_OK;
  return refuseRequest(soap, context.scanner.refusal());
}

int closeConnection(struct soap* soap) {
  ServiceContext& context = ServiceContext::of(soap);
  if (soap_valid_socket(soap->socket)) dropUnreadRequest(soap, context);
  return context.close != nullptr ? context.close(soap) : SOAP_OK;
}

// A request answered before its end (refused, or faulty): its reply is out.
// What the client still sends of it, within the request's limit, is read
// and dropped, so that the client, which may send all before it reads,
// finds the reply rather than a reset connection.
void dropUnreadRequest(struct soap* soap, ServiceContext& context) {
  std::uint64_t end = context.receiveLimit;
  if (context.messageEnd > 0) end = std::min(end, context.messageEnd);
  else if (context.inputRefusal.empty()) return;  // no length and nothing refused: nothing known to be unread
  if (context.bytesReceived >= end) return;
  ::shutdown(soap->socket, SHUT_WR);
  const auto deadline = std::chrono::steady_clock::now() + kDrainTotal;
  while (context.bytesReceived < end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd waiting{soap->socket, POLLIN, 0};
    int wait = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
        left.count(), std::chrono::duration_cast<std::chrono::milliseconds>(kDrainIdle).count()));
    if (::poll(&waiting, 1, wait) <= 0) return;
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof soap->buf, end - context.bytesReceived));
    ssize_t got = ::recv(soap->socket, soap->buf, want, 0);
    if (got <= 0) return;
    context.bytesReceived += static_cast<std::uint64_t>(got);
  }
}

}  // namespace

}  // namespace talixdb::server
