#include "client/ClientContext.h"

#include <poll.h>

#include <cctype>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

namespace VLT_121 {

namespace {

const char kPluginId[] = "talixdb-client";
constexpr int kDefaultCallTimeout = 600;
constexpr std::int64_t kMicrosPerSecond = 1000000;
// Large sends are handed to the socket in slices, so that the deadline is
// looked at between them.
constexpr std::size_t kSendSlice = std::size_t(1) << 20;

// TALIXDB_CALL_TIMEOUT in seconds; unset or unreadable gives the default.
int callTimeoutFromEnvironment() {
  const char* text = std::getenv("TALIXDB_CALL_TIMEOUT");
  if (text == nullptr || *text == '\0') return kDefaultCallTimeout;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 86400L * 365) return kDefaultCallTimeout;
  return static_cast<int>(value);
}

// TALIXDB_KEEPALIVE: "1" keeps the connection across calls.
bool keepAliveFromEnvironment() {
  const char* text = std::getenv("TALIXDB_KEEPALIVE");
  return text != nullptr && text[0] == '1' && text[1] == '\0';
}

// A socket time-out of the runtime (seconds when > 0, microseconds when < 0,
// 0 for none) no longer than `left` microseconds (-1: unbounded).
int shortened(int timeout, std::int64_t left) {
  if (left < 0) return timeout;
  const std::int64_t current = timeout > 0   ? timeout * kMicrosPerSecond
                               : timeout < 0 ? -static_cast<std::int64_t>(timeout)
                                             : INT64_MAX;
  if (current <= left) return timeout;
  if (left <= INT_MAX) return -static_cast<int>(left);
  return static_cast<int>(left / kMicrosPerSecond);  // beyond what microseconds hold: whole seconds
}

// Restores a time-out of the context when the hook is done with it.
class TimeoutScope {
 public:
  TimeoutScope(int& timeout, std::int64_t left) : m_timeout(timeout), m_saved(timeout) {
    timeout = shortened(timeout, left);
  }
  ~TimeoutScope() { m_timeout = m_saved; }
  TimeoutScope(const TimeoutScope&) = delete;
  TimeoutScope& operator=(const TimeoutScope&) = delete;

 private:
  int& m_timeout;
  int m_saved;
};

}  // namespace

std::int64_t exchangeAllowance(int baseSeconds, std::uint64_t bytes) {
  if (baseSeconds <= 0) return 0;
  // One second per MiB: 2^20 bytes per 10^6 microseconds.
  const std::uint64_t extra = bytes / (std::uint64_t(1) << 20) * kMicrosPerSecond +
                              bytes % (std::uint64_t(1) << 20) * kMicrosPerSecond / (std::uint64_t(1) << 20);
  const std::uint64_t base = static_cast<std::uint64_t>(baseSeconds) * kMicrosPerSecond;
  return extra > static_cast<std::uint64_t>(INT64_MAX) - base ? INT64_MAX
                                                               : static_cast<std::int64_t>(base + extra);
}

CClientContext::CClientContext(struct soap* soap)
    : m_iBaseSeconds(callTimeoutFromEnvironment()),
      m_pOpen(soap->fopen),
      m_pSend(soap->fsend),
      m_pReceive(soap->frecv),
      m_pFinishReply(soap->fpreparefinalrecv),
      m_pParse(soap->fparse),
      m_start(Clock::now()) {}

CClientContext* CClientContext::of(struct soap* soap) {
  if (soap == nullptr) return nullptr;
  CClientContext* state = find(soap);
  if (state == nullptr && soap_register_plugin_arg(soap, create, nullptr) == SOAP_OK) state = find(soap);
  return state;
}

CClientContext* CClientContext::find(struct soap* soap) {
  return static_cast<CClientContext*>(soap_lookup_plugin(soap, kPluginId));
}

int CClientContext::create(struct soap* soap, struct soap_plugin* plugin, void*) {
  // Hooks that are ours already would be called as their own originals.
  if (soap->fsend == send) return SOAP_PLUGIN_ERROR;
  auto* state = new (std::nothrow) CClientContext(soap);
  if (state == nullptr) return SOAP_EOM;
  plugin->id = kPluginId;
  plugin->data = state;
  plugin->fcopy = copy;
  plugin->fdelete = destroy;
  soap->fopen = open;
  soap->fsend = send;
  soap->frecv = receive;
  soap->fparse = parseHeader;
  // The receive hook bounds replies itself (kMaxReplyBytes besides the
  // attachment asked for); the runtime's own bound (2 GB by default) would
  // cut a large download.
  soap->recv_maxlength = 0;
  if (keepAliveFromEnvironment()) {
    soap_set_imode(soap, SOAP_IO_KEEPALIVE);
    soap_set_omode(soap, SOAP_IO_KEEPALIVE);
    soap->fpoll = reuse;
    soap->fpreparefinalrecv = finishReply;
  }
  return SOAP_OK;
}

// A copied context gets its own state, with no download in progress.
int CClientContext::copy(struct soap*, struct soap_plugin* target, struct soap_plugin* source) {
  auto* state = new (std::nothrow) CClientContext(*static_cast<CClientContext*>(source->data));
  if (state == nullptr) return SOAP_EOM;
  state->m_incoming = nullptr;
  target->data = state;
  return SOAP_OK;
}

void CClientContext::destroy(struct soap*, struct soap_plugin* plugin) {
  delete static_cast<CClientContext*>(plugin->data);
  plugin->data = nullptr;
}

void CClientContext::beginExchange() {
  m_start = Clock::now();
  m_moved = 0;
  m_received = 0;
  m_attachment = 0;
  m_bodyStart = 0;
  m_bReplyRead = false;
  m_bReplyEnded = false;
}

std::int64_t CClientContext::timeLeft() const {
  const std::int64_t allowed = exchangeAllowance(m_iBaseSeconds, m_moved);
  if (allowed == 0) return -1;
  const std::int64_t spent =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_start).count();
  return spent >= allowed ? 0 : allowed - spent;
}

SOAP_SOCKET CClientContext::open(struct soap* soap, const char* endpoint, const char* host, int port) {
  CClientContext* state = find(soap);
  if (state == nullptr) {
    soap->error = SOAP_PLUGIN_ERROR;
    return SOAP_INVALID_SOCKET;
  }
  state->beginExchange();
  TimeoutScope limit(soap->connect_timeout, state->timeLeft());
  return state->m_pOpen(soap, endpoint, host, port);
}

int CClientContext::send(struct soap* soap, const char* data, std::size_t size) {
  CClientContext* state = find(soap);
  if (state == nullptr) return SOAP_PLUGIN_ERROR;
  if (state->m_bReplyRead) state->beginExchange();
  while (size > 0) {
    const std::int64_t left = state->timeLeft();
    if (left == 0) {
      soap->errnum = 0;  // as the runtime reports a time-out
      return SOAP_EOF;
    }
    const std::size_t slice = size < kSendSlice ? size : kSendSlice;
    TimeoutScope limit(soap->send_timeout, left);
    int rc = state->m_pSend(soap, data, slice);
    if (rc != SOAP_OK) return rc;
    state->m_moved += slice;
    data += slice;
    size -= slice;
  }
  return SOAP_OK;
}

std::size_t CClientContext::receive(struct soap* soap, char* data, std::size_t size) {
  CClientContext* state = find(soap);
  if (state == nullptr) return 0;
  state->m_bReplyRead = true;
  const std::int64_t left = state->timeLeft();
  if (left == 0) {
    soap->errnum = 0;
    return 0;
  }
  // The runtime reads a buffer ahead of what it hands to the attachment.
  if (state->m_received - std::min(state->m_received, state->m_attachment) >= kMaxReplyBytes + SOAP_BUFLEN) {
    soap->errnum = 0;
    return 0;
  }
  TimeoutScope limit(soap->recv_timeout, left);
  std::size_t got = state->m_pReceive(soap, data, size);
  state->m_received += got;
  return got;
}

void CClientContext::creditAttachment(std::uint64_t bytes) {
  m_moved += bytes;
  m_attachment += bytes;
}

// Reads the reply's HTTP header (the runtime's own parser); the body begins
// after it, with the bytes of the buffer not yet taken.
int CClientContext::parseHeader(struct soap* soap) {
  CClientContext* state = find(soap);
  if (state == nullptr) return SOAP_PLUGIN_ERROR;
  const int result = state->m_pParse(soap);
  state->m_bodyStart = state->m_received - (soap->buflen - soap->bufidx);
  return result;
}

std::uint64_t CClientContext::replyBodyLeft(const struct soap* soap) const {
  const std::uint64_t taken = m_received - m_bodyStart - (soap->buflen - soap->bufidx);
  return soap->length > taken ? soap->length - taken : 0;
}

bool CClientContext::replyReadToItsEnd(const struct soap* soap) const {
  return soap->length == 0 || m_received - m_bodyStart >= soap->length;
}

// Asked by the runtime before it sends a request on the connection it has
// open: SOAP_OK to use it, else it opens a new one. A connection whose last
// reply was not read to its end may still bring the rest of it; one that is
// readable has been closed by the server or carries bytes no request asked
// for. Neither can carry a request.
int CClientContext::reuse(struct soap* soap) {
  CClientContext* state = find(soap);
  bool usable = state != nullptr && state->m_bReplyEnded && soap_valid_socket(soap->socket);
  // Read but not parsed: only the line end after the reply's envelope may be.
  for (std::size_t next = soap->bufidx; usable && next < soap->buflen; ++next)
    usable = std::isspace(static_cast<unsigned char>(soap->buf[next])) != 0;
  if (usable) {
    struct pollfd connection = {};
    connection.fd = soap->socket;
    connection.events = POLLIN | POLLRDHUP;
    usable = ::poll(&connection, 1, 0) == 0;
  }
  // Nothing read on the old connection may be taken for the next reply.
  soap->bufidx = 0;
  soap->buflen = 0;
  return usable ? SOAP_OK : SOAP_EOF;
}

// Called by the runtime once a reply has been read to its end.
int CClientContext::finishReply(struct soap* soap) {
  CClientContext* state = find(soap);
  if (state == nullptr) return SOAP_OK;
  state->m_bReplyEnded = true;
  return state->m_pFinishReply != nullptr ? state->m_pFinishReply(soap) : SOAP_OK;
}

}  // namespace VLT_121
