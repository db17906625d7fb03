#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "base/ClientText.h"
#include "base/Guard.h"
#include "base/Limits.h"
#include "http/ServiceContext.h"
#include "http/ServiceHooks.h"

namespace talixdb::server {

namespace {


void* openIncoming(struct soap* soap, const char* id, const char* type, const char* options);
int writeIncoming(struct soap* soap, void* handle, const char* data, std::size_t size);
void closeIncoming(struct soap* soap, void* handle);
void* openOutgoing(struct soap* soap, void* handle, const char* id, const char* type, const char* options);
std::size_t readOutgoing(struct soap* soap, void* handle, char* buffer, std::size_t size);
void closeOutgoing(struct soap* soap, void* handle);

}  // namespace

void installDimeHooks(struct soap* soap) {
  // Each through the guard: a failure is the runtime's error value and a log line.
  soap->fdimewriteopen = [](struct soap* s, const char* id, const char* type, const char* options) {
    return guarded("staging an attachment", static_cast<void*>(nullptr), [&] { return openIncoming(s, id, type, options); });
  };
  soap->fdimewrite = [](struct soap* s, void* handle, const char* data, std::size_t size) {
    return guarded("staging an attachment", int{SOAP_EOM}, [&] { return writeIncoming(s, handle, data, size); });
  };
  soap->fdimewriteclose = [](struct soap* s, void* handle) {
    guardedRun("staging an attachment", [&] { closeIncoming(s, handle); });
  };
  soap->fdimereadopen = [](struct soap* s, void* handle, const char* id, const char* type, const char* options) {
    return guarded("sending an attachment", static_cast<void*>(nullptr),
                   [&] { return openOutgoing(s, handle, id, type, options); });
  };
  soap->fdimeread = [](struct soap* s, void* handle, char* buffer, std::size_t size) {
    return guarded("sending an attachment", std::size_t{0}, [&] { return readOutgoing(s, handle, buffer, size); });
  };
  soap->fdimereadclose = [](struct soap* s, void* handle) {
    guardedRun("sending an attachment", [&] { closeOutgoing(s, handle); });
  };
}

namespace {

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// Refuses the request once an attachment is known to be larger than the
// upload limit: by the size its DIME record or the envelope declares, or by
// the bytes received so far of a chunked one. Nothing more of it is staged.
int refuseOversize(struct soap* soap, const char* id, std::size_t index) {
  std::string name = id != nullptr && *id != '\0' ? "'" + echo(id) + "'" : "attachment " + std::to_string(index + 1);
  return refuseRequest(soap,
                       "file too large: " + name + " exceeds the upload limit of " +
                           std::to_string(ServiceContext::of(soap).limits().maxUpload) + " bytes",
                       kRepositoryFaultCode);
}

// Stages a new attachment. Bytes after a refusal are still read and dropped
// (up to twice the limit) so that the sender gets the fault rather than a
// broken connection.
void* startAttachment(struct soap* soap, ServiceContext& context, const char* id) {
  const std::uint64_t limit = context.limits().maxUpload;
  context.receiveLimit =
      std::max(context.receiveLimit, saturatingAdd(context.bytesReceived, saturatingAdd(2 * limit, 64 * 1024)));
  // The bytes of an upload get time beyond the request's head and XML part.
  if (const ConnectionPolicy* policy = context.policy(); policy != nullptr && context.transferPlace)
    context.receiveDeadline.grant(context.attachmentBytes + std::min<std::uint64_t>(soap->dime.size, limit),
                                  policy->minRate);
  const std::size_t index = context.attachments.size();
  const bool declaredTooLarge = index < context.declaredSizes.size() && context.declaredSizes[index] > 0 &&
                                static_cast<std::uint64_t>(context.declaredSizes[index]) > limit;
  if (soap->dime.size > limit || declaredTooLarge) {
    refuseOversize(soap, id, index);
    return nullptr;
  }
  auto attachment = std::make_unique<ReceivedAttachment>();
  attachment->id = id != nullptr ? id : "";
  try {
    attachment->content = context.repository().stageContent();
  } catch (...) {
    attachment->failed = true;
  }
  ReceivedAttachment* handle = attachment.get();
  context.attachments.push_back(std::move(attachment));
  return handle;
}

// A new attachment begins; nothing may throw back into the runtime.
void* openIncoming(struct soap* soap, const char* id, const char*, const char*) {
  ServiceContext& context = ServiceContext::of(soap);
  if (context.attachments.size() >= static_cast<std::size_t>(Limits::kMaxAttachments)) {
    soap->error = SOAP_DIME_ERROR;
    return nullptr;
  }
  try {
    return startAttachment(soap, context, id);
  } catch (...) {
    soap->error = SOAP_EOM;
    return nullptr;
  }
}

int writeIncoming(struct soap* soap, void* handle, const char* data, std::size_t size) {
  auto* attachment = static_cast<ReceivedAttachment*>(handle);
  ServiceContext& context = ServiceContext::of(soap);
  attachment->received += size;
  context.attachmentBytes += size;
  if (const ConnectionPolicy* policy = context.policy(); policy != nullptr && context.transferPlace)
    context.receiveDeadline.grant(context.attachmentBytes, policy->minRate);
  if (attachment->received > context.limits().maxUpload) {
    attachment->content.reset();
    try {
      return refuseOversize(soap, attachment->id.c_str(), context.attachments.size() - 1);
    } catch (...) {
      return soap->error = SOAP_EOM;
    }
  }
  if (!attachment->content) return SOAP_OK;
  if (!attachment->content->write(data, size)) {
    attachment->failed = true;
    attachment->content.reset();
  }
  return SOAP_OK;
}

void closeIncoming(struct soap*, void*) {}

// Outgoing attachments are ContentSource objects owned by the context. The
// runtime asks for pieces of a couple of KiB: they are served from a chunk
// read ahead (one per worker thread, which sends one attachment at a time)
// rather than each read from the stored file.
constexpr std::size_t kReadAhead = std::size_t(1) << 18;

struct OutgoingReader {
  ContentSource* source = nullptr;
  std::vector<char> chunk;
  std::size_t offset = 0;
  std::size_t filled = 0;
};

thread_local OutgoingReader t_outgoing;

void* openOutgoing(struct soap* soap, void* handle, const char*, const char*, const char*) {
  try {
    t_outgoing.chunk.resize(kReadAhead);
  } catch (...) {
    soap->error = SOAP_EOM;
    return nullptr;
  }
  t_outgoing.source = static_cast<ContentSource*>(handle);
  t_outgoing.offset = 0;
  t_outgoing.filled = 0;
  return &t_outgoing;
}

std::size_t readOutgoing(struct soap*, void* handle, char* buffer, std::size_t size) {
  auto& reader = *static_cast<OutgoingReader*>(handle);
  if (reader.offset == reader.filled) {
    long got = reader.source->read(reader.chunk.data(), reader.chunk.size());
    if (got <= 0) return 0;
    reader.offset = 0;
    reader.filled = static_cast<std::size_t>(got);
  }
  const std::size_t n = std::min(size, reader.filled - reader.offset);
  std::memcpy(buffer, reader.chunk.data() + reader.offset, n);
  reader.offset += n;
  return n;
}

void closeOutgoing(struct soap*, void*) {}

}  // namespace

}  // namespace talixdb::server
