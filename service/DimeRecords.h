// How one file travels as a DIME attachment, the same on both sides of the
// service. A file under 2 GiB is one record, byte for byte as it always was
// (peers may read the 32-bit record length as signed). A larger file is one
// chunked record, DIME's own way to carry more than a record length can say:
// chunks of kDimeChunkBytes, the last one holding the rest.
//
// The runtime writes each record length modulo 2^32 and knows nothing of
// chunking on output unless the whole message is HTTP-chunked, so every
// chunk is handed to it as an attachment of its own, all streamed through
// the same handle; the fdimereadopen hook calls markDimeChunk, which makes
// the chunks after the first continuations (no type, no id) and flags all
// but the last as followed by more. On input the runtime joins the chunks of
// a record itself: the fdimewrite hook sees them as one stream.
#pragma once

#include <cstdint>

struct soap;

namespace talixdb {

// Files of this size or more travel as chunked records.
constexpr std::uint64_t kDimeRecordLimit = std::uint64_t(1) << 31;
// Bytes in each chunk of a chunked record but the last.
constexpr std::uint64_t kDimeChunkBytes = std::uint64_t(1) << 30;

// Records the runtime is given for a file of `size` bytes: 1 below
// kDimeRecordLimit, else the number of chunks.
std::uint64_t dimeChunks(std::uint64_t size);

// Adds a file of `size` bytes to the message being built on `soap` (in DIME
// mode), streamed from `handle` through the context's fdimeread hooks, with
// `type` and `id` on its first record. SOAP_OK or the runtime's error.
int attachDimeFile(struct soap* soap, const void* handle, std::uint64_t size, const char* type, const char* id);

// For the fdimereadopen hook: the runtime opens chunk `index` (from 0) of a
// file of `chunks` (see dimeChunks); sets the flags its record header gets.
void markDimeChunk(struct soap* soap, std::uint64_t index, std::uint64_t chunks);

// For the fdimewriteopen hook: true when the record that begins is chunked,
// so that soap->dime.size is the length of its first chunk only.
bool isChunkedDimeRecord(const struct soap* soap);

}  // namespace talixdb
