#include "client/Transfers.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "DimeRecords.h"
#include "client/ClientContext.h"
#include "client/LocalFile.h"

namespace VLT_121 {

namespace {

// The host hears of a transfer at least this often.
constexpr std::uint64_t kReportStep = std::uint64_t(1) << 20;
// An upload looks for an early answer of the server every this many bytes.
constexpr std::uint64_t kAnswerCheckStep = std::uint64_t(1) << 20;
// An early answer is read for at most this long, and this much of it kept.
constexpr int kEarlyReplyMillis = 1000;
constexpr std::size_t kEarlyReplyBytes = 64 * 1024;
// A download to disk starts the write-back of what it wrote every this many bytes.
constexpr std::uint64_t kWriteBackStep = std::uint64_t(8) << 20;
// A local file is read in pieces of this size and handed to the runtime in
// the smaller pieces it asks for.
constexpr std::size_t kFileChunk = std::size_t(1) << 18;

class MemorySource : public CUploadSource {
 public:
  MemorySource(const char* data, std::size_t size) : m_data(data), m_size(size) {}
  std::uint64_t size() const override { return m_size; }
  std::size_t read(char* into, std::size_t room) override {
    const std::size_t n = std::min(room, m_size - m_offset);
    std::memcpy(into, m_data + m_offset, n);
    m_offset += n;
    return n;
  }

 private:
  const char* m_data;
  std::size_t m_size;
  std::size_t m_offset = 0;
};

class FileSource : public CUploadSource {
 public:
  FileSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size), m_chunk(kFileChunk) {}
  ~FileSource() override { ::close(m_fd); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  std::uint64_t size() const override { return m_size; }
  std::size_t read(char* into, std::size_t room) override {
    if (m_offset == m_filled && !refill()) return 0;
    const std::size_t n = std::min(room, m_filled - m_offset);
    std::memcpy(into, m_chunk.data() + m_offset, n);
    m_offset += n;
    return n;
  }

 private:
  bool refill() {
    for (;;) {
      ssize_t got = ::read(m_fd, m_chunk.data(), m_chunk.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // an error, or the file became shorter
      m_offset = 0;
      m_filled = static_cast<std::size_t>(got);
      return true;
    }
  }

  int m_fd;
  std::uint64_t m_size;
  std::vector<char> m_chunk;
  std::size_t m_offset = 0;
  std::size_t m_filled = 0;
};

// A download to memory has the pages of its buffer made ready this far ahead
// of the bytes received, in one call rather than one fault per page; never
// far beyond what arrived, so that an announced size that the bytes do not
// follow costs no memory.
constexpr std::uint64_t kPrefaultAhead = std::uint64_t(16) << 20;

void prefault(char* buffer, std::uint64_t from, std::uint64_t to) {
  constexpr std::uintptr_t kPage = 4096;
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(buffer);
  const std::uintptr_t begin = (base + from + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (base + to) & ~(kPage - 1);
  // Where the kernel cannot, the pages come one fault at a time as before.
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

// ---- progress ------------------------------------------------------------

bool CTransferMeter::start(std::uint64_t expected) {
  m_expected = expected;
  m_done = 0;
  return report();
}

bool CTransferMeter::advance(std::uint64_t bytes) {
  if (m_bStopped) return false;
  if (bytes == 0) return true;
  m_done += bytes;
  if (m_done > m_expected) m_expected = m_done;  // more than announced
  if (m_done - m_reported >= kReportStep || m_done == m_expected) return report();
  return true;
}

bool CTransferMeter::finish() {
  if (m_bStopped) return false;
  if (m_expected == m_done && m_reported == m_done) return true;
  m_expected = m_done;
  return report();
}

bool CTransferMeter::report() {
  m_reported = m_done;
  if (m_pHost == nullptr) return true;
  bool goOn = false;
  try {
    goOn = m_pHost->onTransfer(static_cast<long long>(m_done), static_cast<long long>(m_expected));
  } catch (...) {
    goOn = false;
  }
  if (!goOn) m_bStopped = true;
  return goOn;
}

// ---- sources ---------------------------------------------------------------

std::unique_ptr<CUploadSource> memorySource(const char* data, std::size_t size) {
  return std::make_unique<MemorySource>(data, size);
}

std::unique_ptr<CUploadSource> fileSource(const std::string& localPath) {
  std::uint64_t size = 0;
  int fd = localfile::openRegularFile(localPath, size);
  if (fd < 0) return nullptr;
  try {
    return std::make_unique<FileSource>(fd, size);
  } catch (...) {
    ::close(fd);
    return nullptr;
  }
}

// ---- sinks -----------------------------------------------------------------

bool CMemorySink::reserve(std::uint64_t capacity) {
  if (capacity >= std::numeric_limits<std::size_t>::max()) return false;
  std::unique_ptr<char[]> larger(new (std::nothrow) char[static_cast<std::size_t>(capacity) + 1]);
  if (!larger) return false;
  if (m_size > 0) std::memcpy(larger.get(), m_buffer.get(), static_cast<std::size_t>(m_size));
  m_buffer = std::move(larger);
  m_capacity = capacity;
  return true;
}

bool CMemorySink::open(std::uint64_t announced) { return reserve(announced); }

bool CMemorySink::write(const char* data, std::size_t size) {
  const std::uint64_t needed = m_size + size;
  if (needed > m_capacity && !reserve(std::max(needed, m_capacity + m_capacity / 2))) return false;
  if (needed > m_prefaulted) {
    const std::uint64_t until = std::min(m_capacity, m_prefaulted + kPrefaultAhead);
    prefault(m_buffer.get(), m_prefaulted, until);
    m_prefaulted = until;
  }
  if (size > 0) std::memcpy(m_buffer.get() + m_size, data, size);
  m_size = needed;
  return true;
}

bool CMemorySink::commit() {
  if (!m_buffer && !reserve(0)) return false;
  m_buffer[static_cast<std::size_t>(m_size)] = '\0';
  return true;
}

CFileSink::~CFileSink() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_strTemporary.empty()) std::remove(m_strTemporary.c_str());
}

bool CFileSink::open(std::uint64_t) {
  if (m_fd >= 0) return false;
  m_fd = localfile::createBeside(m_strTarget, m_strTemporary);
  return m_fd >= 0;
}

bool CFileSink::write(const char* data, std::size_t size) {
  if (m_fd < 0 || m_bFailed) return false;
  if (!writeAll(m_fd, data, size)) m_bFailed = true;
  m_written += size;
  // Write-back begins as the file fills, so that the sync before the rename
  // finds little left to write and the page cache holds few dirty pages.
  if (!m_bFailed && m_written - m_flushed >= kWriteBackStep) {
    ::sync_file_range(m_fd, static_cast<off_t>(m_flushed), static_cast<off_t>(m_written - m_flushed),
                      SYNC_FILE_RANGE_WRITE);
    m_flushed = m_written;
  }
  return !m_bFailed;
}

bool CFileSink::commit() {
  if (m_fd < 0 || m_bFailed) return false;
  bool ok = ::fdatasync(m_fd) == 0;
  ok = ::close(m_fd) == 0 && ok;
  m_fd = -1;
  if (!ok || std::rename(m_strTemporary.c_str(), m_strTarget.c_str()) != 0) return false;
  m_strTemporary.clear();
  return true;
}

// ---- the runtime's streaming hooks -------------------------------------------

CUploadStream::CUploadStream(struct soap* soap, CUploadSource& source, CTransferMeter& meter)
    : m_pSoap(soap),
      m_source(source),
      m_meter(meter),
      m_left(source.size()),
      m_records(talixdb::dimeChunks(source.size())) {
  // The runtime asks for pieces of a couple of KiB and gathers them in its
  // output buffer, which it sends in full packets.
  soap->fdimereadopen = open;
  soap->fdimeread = read;
  soap->fdimereadclose = close;
}

CUploadStream::~CUploadStream() {
  m_pSoap->fdimereadopen = nullptr;
  m_pSoap->fdimeread = nullptr;
  m_pSoap->fdimereadclose = nullptr;
}

bool CUploadStream::attach(const char* type, const char* id) {
  soap_set_dime(m_pSoap);
  return talixdb::attachDimeFile(m_pSoap, this, m_left, type, id) == SOAP_OK;
}

void* CUploadStream::open(struct soap* soap, void* handle, const char*, const char*, const char*) {
  auto* stream = static_cast<CUploadStream*>(handle);
  talixdb::markDimeChunk(soap, stream->m_opened++, stream->m_records);
  return handle;
}

std::size_t CUploadStream::read(struct soap* soap, void* handle, char* buffer, std::size_t size) {
  auto* stream = static_cast<CUploadStream*>(handle);
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, stream->m_left));
  // The runtime goes on to the next chunk after a failed one: an answer
  // already read stays as it is.
  if (stream->m_bAnswered) {
    soap->error = SOAP_EOF;
    return 0;
  }
  stream->m_sinceCheck += wanted;
  if (stream->m_sinceCheck >= kAnswerCheckStep) {
    stream->m_sinceCheck = 0;
    if ((stream->m_bAnswered = stream->answeredEarly(soap))) {
      soap->error = SOAP_EOF;
      return 0;
    }
  }
  const std::size_t got = wanted > 0 ? stream->m_source.read(buffer, wanted) : 0;
  // The host hears of these bytes before they go: a stop at the last report
  // still keeps the request from completing.
  if (got == 0 || !stream->m_meter.advance(got)) {
    // The runtime goes on to wait for a reply to what it sent so far;
    // ending the connection fails the call now, and tells the server.
    if (soap_valid_socket(soap->socket)) ::shutdown(soap->socket, SHUT_RDWR);
    soap->error = SOAP_EOF;
    return 0;
  }
  stream->m_left -= got;
  return got;
}

void CUploadStream::close(struct soap*, void*) {}

bool CUploadStream::answeredEarly(struct soap* soap) noexcept {
  if (!soap_valid_socket(soap->socket) || soap->ssl != nullptr) return false;
  pollfd connection{soap->socket, POLLIN, 0};
  if (::poll(&connection, 1, 0) <= 0) return false;
  // The server answers and closes; what it sends within the time is kept
  // (nothing when memory runs out: the upload stops all the same).
  try {
    keepEarlyReply(soap);
  } catch (...) {
  }
  return true;
}

void CUploadStream::keepEarlyReply(struct soap* soap) {
  pollfd connection{soap->socket, POLLIN, 0};
  std::string reply;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEarlyReplyMillis);
  char piece[4096];
  while (reply.size() < kEarlyReplyBytes) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    connection.revents = 0;
    if (left.count() <= 0 || ::poll(&connection, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t got = ::recv(soap->socket, piece, sizeof piece, 0);
    if (got <= 0) break;
    reply.append(piece, static_cast<std::size_t>(got));
  }
  if (CClientContext* context = CClientContext::of(soap)) context->keepEarlyReply(std::move(reply));
}

CDownloadStream::CDownloadStream(struct soap* soap, CDownloadSink& sink, CTransferMeter& meter)
    : m_pSoap(soap), m_sink(sink), m_meter(meter) {
  CClientContext* context = CClientContext::of(soap);
  if (context == nullptr) {
    m_bFailed = true;
    return;
  }
  context->setIncoming(this);
  soap->fdimewriteopen = open;
  soap->fdimewrite = write;
  soap->fdimewriteclose = close;
}

CDownloadStream::~CDownloadStream() {
  // The runtime lists a streamed attachment with this object as its data:
  // that is not memory of the context.
  for (soap_multipart* part = m_pSoap->dime.list; part != nullptr; part = part->next)
    if (part->ptr == reinterpret_cast<const char*>(this)) part->ptr = nullptr;
  m_pSoap->fdimewriteopen = nullptr;
  m_pSoap->fdimewrite = nullptr;
  m_pSoap->fdimewriteclose = nullptr;
  if (CClientContext* context = CClientContext::of(m_pSoap)) context->setIncoming(nullptr);
}

void* CDownloadStream::open(struct soap* soap, const char*, const char*, const char*) {
  CClientContext* context = CClientContext::of(soap);
  auto* stream = context != nullptr ? static_cast<CDownloadStream*>(context->incoming()) : nullptr;
  if (stream == nullptr) {
    soap->error = SOAP_DIME_ERROR;
    return nullptr;
  }
  // A chunked record's full length is known only at its end; the reply's
  // length bounds it.
  std::uint64_t announced = soap->dime.size;
  if (talixdb::isChunkedDimeRecord(soap))
    announced = std::max<std::uint64_t>(announced, context->replyBodyLeft(soap));
  if (++stream->m_records == 1 && !(stream->m_sink.open(announced) && stream->m_meter.start(announced))) {
    stream->m_bFailed = true;
    soap->error = SOAP_EOF;
    return nullptr;
  }
  return stream;
}

int CDownloadStream::write(struct soap* soap, void* handle, const char* data, std::size_t size) {
  auto* stream = static_cast<CDownloadStream*>(handle);
  if (stream->m_records != 1) return SOAP_OK;  // a further attachment is dropped
  if (CClientContext* context = CClientContext::of(soap)) context->creditAttachment(size);
  if (stream->m_sink.write(data, size) && stream->m_meter.advance(size)) return SOAP_OK;
  stream->m_bFailed = true;
  return SOAP_EOF;
}

void CDownloadStream::close(struct soap* soap, void* handle) {
  auto* stream = static_cast<CDownloadStream*>(handle);
  if (stream->m_records != 1 || stream->m_bFailed || soap->error != SOAP_OK) return;
  if (!stream->m_meter.finish()) {
    stream->m_bFailed = true;
    soap->error = SOAP_EOF;
  }
}

}  // namespace VLT_121
