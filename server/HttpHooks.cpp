#include <algorithm>

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

}  // namespace

void installHttpHooks(struct soap* soap, ServiceContext& context) {
  context.parseHeaders = soap->fparse;
  context.parseHeader = soap->fparsehdr;
  context.postHeader = soap->fposthdr;
  context.receive = soap->frecv;
  context.respond = soap->fresponse;
  soap->fparse = parseHeaders;
  soap->fparsehdr = parseHeader;
  soap->fposthdr = postHeader;
  soap->frecv = receive;
  soap->fresponse = respond;
}

namespace {

// After the header block: a body is read no further than its
// Content-Length says, so that a truncated request ends at once instead of
// waiting for bytes that never come.
int parseHeaders(struct soap* soap) {
  ServiceContext& context = ServiceContext::of(soap);
  int result = context.parseHeaders(soap);
  if (result == SOAP_OK && soap->length > 0) {
    std::uint64_t buffered = soap->buflen - soap->bufidx;
    context.messageEnd = context.bytesReceived - buffered + soap->length;
  }
  return result;
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

}  // namespace

}  // namespace talixdb::server
