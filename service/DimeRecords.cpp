#include "DimeRecords.h"

#include <algorithm>

#include "stdsoap2.h"

namespace talixdb {

namespace {

// The record type format, in the high nibble of the flags the runtime writes
// into the second header byte; 0 is "unchanged", what continuation chunks carry.
constexpr char kTypeFormatBits = static_cast<char>(0xF0);

}  // namespace

std::uint64_t dimeChunks(std::uint64_t size) {
  if (size < kDimeRecordLimit) return 1;
  return (size + kDimeChunkBytes - 1) / kDimeChunkBytes;
}

int attachDimeFile(struct soap* soap, const void* handle, std::uint64_t size, const char* type, const char* id) {
  const char* data = static_cast<const char*>(handle);
  const std::uint64_t chunks = dimeChunks(size);
  if (chunks == 1) return soap_set_dime_attachment(soap, data, static_cast<std::size_t>(size), type, id, 0, nullptr);
  for (std::uint64_t index = 0; index < chunks; ++index) {
    const std::uint64_t bytes = std::min(kDimeChunkBytes, size - index * kDimeChunkBytes);
    const bool first = index == 0;
    int error = soap_set_dime_attachment(soap, data, static_cast<std::size_t>(bytes), first ? type : nullptr,
                                         first ? id : nullptr, 0, nullptr);
    if (error != SOAP_OK) return error;
  }
  return SOAP_OK;
}

void markDimeChunk(struct soap* soap, std::uint64_t index, std::uint64_t chunks) {
  if (chunks <= 1) return;
  if (index > 0) soap->dime.flags = static_cast<char>(soap->dime.flags & ~kTypeFormatBits);
  if (index + 1 < chunks) soap->dime.flags = static_cast<char>(soap->dime.flags | SOAP_DIME_CF);
}

bool isChunkedDimeRecord(const struct soap* soap) { return (soap->dime.flags & SOAP_DIME_CF) != 0; }

}  // namespace talixdb
