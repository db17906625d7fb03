#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "DimeRecords.h"
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

// How a fault names an attachment: by its DIME id, else by its place.
std::string attachmentName(const char* id, std::size_t index) {
  return id != nullptr && *id != '\0' ? "'" + echo(id) + "'" : "attachment " + std::to_string(index + 1);
}

// Refuses the request once an attachment is known to be larger than the
// upload limit: by the size its DIME record or the envelope declares, or by
// the bytes received so far of a chunked one. Nothing more of it is staged.
int refuseOversize(struct soap* soap, const char* id, std::size_t index) {
  return refuseRequest(soap,
                       "file too large: " + attachmentName(id, index) + " exceeds the upload limit of " +
                           std::to_string(ServiceContext::of(soap).limits().maxUpload) + " bytes",
                       kRepositoryFaultCode);
}

// Refuses an attachment the store has no room for, by the size the envelope
// declares, when the engine can tell its free space.
int refuseNoRoom(struct soap* soap, const char* id, std::size_t index, std::uint64_t declared, std::uint64_t space) {
  return refuseRequest(soap,
                       "no room for " + attachmentName(id, index) + ": it needs " + std::to_string(declared) +
                           " bytes and the store has " + std::to_string(space) + " bytes free",
                       kRepositoryFaultCode);
}

// The size the envelope declares for attachment `index`, or -1 when it
// declares none.
std::int64_t declaredSize(const ServiceContext& context, std::size_t index) {
  return index < context.declaredSizes.size() ? context.declaredSizes[index] : -1;
}

// Stages a new attachment. Bytes after a refusal are still read and dropped
// (up to twice the limit) so that the sender gets the fault rather than a
// broken connection. Its time grows only with the bytes that arrive
// (writeIncoming), never with a size it declares.
void* startAttachment(struct soap* soap, ServiceContext& context, const char* id) {
  const std::uint64_t limit = context.limits().maxUpload;
  context.receiveLimit =
      std::max(context.receiveLimit, saturatingAdd(context.bytesReceived, saturatingAdd(2 * limit, 64 * 1024)));
  const std::size_t index = context.attachments.size();
  const std::int64_t declared = declaredSize(context, index);
  if (soap->dime.size > limit || (declared > 0 && static_cast<std::uint64_t>(declared) > limit)) {
    refuseOversize(soap, id, index);
    return nullptr;
  }
  if (declared > 0) {
    std::optional<std::uint64_t> space;
    try {
      space = context.repository().contentSpace();
    } catch (...) {
      // Not known: the writes tell when the store is full.
    }
    if (space && static_cast<std::uint64_t>(declared) > *space) {
      refuseNoRoom(soap, id, index, static_cast<std::uint64_t>(declared), *space);
      return nullptr;
    }
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
  const std::size_t index = context.attachments.size() - 1;
  const std::int64_t declared = declaredSize(context, index);
  const bool beyondDeclared = declared >= 0 && attachment->received > static_cast<std::uint64_t>(declared);
  if (attachment->received > context.limits().maxUpload || beyondDeclared) {
    attachment->content.reset();
    try {
      if (!beyondDeclared) return refuseOversize(soap, attachment->id.c_str(), index);
      return refuseRequest(soap, "size mismatch: attachment " + std::to_string(index + 1) + " holds more than the " +
                                     std::to_string(declared) + " bytes declared for it",
                           kRepositoryFaultCode);
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

// Outgoing attachments are OutgoingFile objects owned by the context, each
// sent as one DIME record or several chunks (DimeRecords.h). A file's bytes
// are opened when its first record begins and closed after its last. The
// runtime asks for pieces of a couple of KiB: they are served from a chunk
// read ahead (one per worker thread, which sends one attachment at a time)
// rather than each read from the store.
constexpr std::size_t kReadAhead = std::size_t(1) << 18;

struct OutgoingReader {
  OutgoingFile* file = nullptr;
  std::vector<char> chunk;
  std::size_t offset = 0;
  std::size_t filled = 0;
};

thread_local OutgoingReader t_outgoing;

// The reply cannot go on: the connection is cut, the client sees a short
// reply, and the log gets a second line saying why.
void* failOutgoing(struct soap* soap, const std::string& why) noexcept {
  ServiceContext& context = ServiceContext::of(soap);
  try {
    if (context.cut.empty()) context.cut = why;
  } catch (...) {
    context.cut = "late";
  }
  soap->error = SOAP_EOF;
  return nullptr;
}

void* openOutgoing(struct soap* soap, void* handle, const char*, const char*, const char*) {
  auto* file = static_cast<OutgoingFile*>(handle);
  const std::uint64_t index = file->opened++;
  if (index == 0) {
    try {
      t_outgoing.chunk.resize(kReadAhead);
      if (!file->source) file->source = ServiceContext::of(soap).repository().openDownload(file->download);
    } catch (const std::exception& failure) {
      return failOutgoing(soap, std::string("the contents could not be sent: ") + failure.what());
    } catch (...) {
      return failOutgoing(soap, "the contents could not be sent");
    }
    t_outgoing.file = file;
    t_outgoing.offset = 0;
    t_outgoing.filled = 0;
  }
  markDimeChunk(soap, index, file->records);
  return &t_outgoing;
}

std::size_t readOutgoing(struct soap*, void* handle, char* buffer, std::size_t size) {
  auto& reader = *static_cast<OutgoingReader*>(handle);
  if (reader.offset == reader.filled) {
    long got = reader.file->source->read(reader.chunk.data(), reader.chunk.size());
    if (got <= 0) return 0;
    reader.offset = 0;
    reader.filled = static_cast<std::size_t>(got);
  }
  const std::size_t n = std::min(size, reader.filled - reader.offset);
  std::memcpy(buffer, reader.chunk.data() + reader.offset, n);
  reader.offset += n;
  return n;
}

// After a file's last record its source is closed (a descriptor, or a
// reading transaction), so that the next file is opened alone.
void closeOutgoing(struct soap*, void* handle) {
  OutgoingFile* file = static_cast<OutgoingReader*>(handle)->file;
  if (file != nullptr && file->opened >= file->records) file->source.reset();
}

}  // namespace

}  // namespace talixdb::server
