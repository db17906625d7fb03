#include <algorithm>
#include <limits>

#include "ServiceContext.h"
#include "ServiceHooks.h"

namespace talixdb::server {

namespace {

// More attachments than this in one request are refused outright.
constexpr std::size_t kMaxAttachments = 64;

void* openIncoming(struct soap* soap, const char* id, const char* type, const char* options);
int writeIncoming(struct soap* soap, void* handle, const char* data, std::size_t size);
void closeIncoming(struct soap* soap, void* handle);
void* openOutgoing(struct soap* soap, void* handle, const char* id, const char* type, const char* options);
std::size_t readOutgoing(struct soap* soap, void* handle, char* buffer, std::size_t size);
void closeOutgoing(struct soap* soap, void* handle);

}  // namespace

void installDimeHooks(struct soap* soap) {
  soap->fdimewriteopen = openIncoming;
  soap->fdimewrite = writeIncoming;
  soap->fdimewriteclose = closeIncoming;
  soap->fdimereadopen = openOutgoing;
  soap->fdimeread = readOutgoing;
  soap->fdimereadclose = closeOutgoing;
}

namespace {

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// Stages a new attachment, or marks it dropped when its record is already
// larger than the upload limit. Bytes beyond the limit are still read and
// dropped (up to twice the limit) so that the sender gets a fault rather
// than a broken connection.
void* startAttachment(struct soap* soap, ServiceContext& context) {
  auto attachment = std::make_unique<ReceivedAttachment>();
  const std::uint64_t limit = context.limits().maxUpload;
  if (soap->dime.size > limit) {
    attachment->oversize = true;
  } else {
    try {
      attachment->content = context.storage().stageContent();
    } catch (...) {
      attachment->failed = true;
    }
  }
  context.receiveLimit =
      std::max(context.receiveLimit, saturatingAdd(context.bytesReceived, saturatingAdd(2 * limit, 64 * 1024)));
  ReceivedAttachment* handle = attachment.get();
  context.attachments.push_back(std::move(attachment));
  return handle;
}

// A new attachment begins; nothing may throw back into the runtime.
void* openIncoming(struct soap* soap, const char*, const char*, const char*) {
  ServiceContext& context = ServiceContext::of(soap);
  if (context.attachments.size() >= kMaxAttachments) {
    soap->error = SOAP_DIME_ERROR;
    return nullptr;
  }
  try {
    return startAttachment(soap, context);
  } catch (...) {
    soap->error = SOAP_EOM;
    return nullptr;
  }
}

int writeIncoming(struct soap* soap, void* handle, const char* data, std::size_t size) {
  auto* attachment = static_cast<ReceivedAttachment*>(handle);
  attachment->received += size;
  if (!attachment->content) return SOAP_OK;
  if (attachment->received > ServiceContext::of(soap).limits().maxUpload) {
    attachment->oversize = true;
    attachment->content.reset();
  } else if (!attachment->content->write(data, size)) {
    attachment->failed = true;
    attachment->content.reset();
  }
  return SOAP_OK;
}

void closeIncoming(struct soap*, void*) {}

// Outgoing attachments are ContentSource objects owned by the context.
void* openOutgoing(struct soap*, void* handle, const char*, const char*, const char*) { return handle; }

std::size_t readOutgoing(struct soap*, void* handle, char* buffer, std::size_t size) {
  long got = static_cast<ContentSource*>(handle)->read(buffer, size);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void closeOutgoing(struct soap*, void*) {}

}  // namespace

}  // namespace talixdb::server
