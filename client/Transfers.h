// File contents streamed through DIME attachments: an upload is read from
// its source in pieces as the request goes out, a download is written to its
// sink as the reply arrives, so neither needs the whole file in memory twice
// (a download to disk not at all). A transfer meter reports progress to the
// host and carries its request to stop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "WireTypes.h"
#include "talixdbapi/TransferProgress.h"

namespace VLT_121 {

// Progress of one file: tells the host at the start, at least every MiB and
// at the end, and remembers when the host asked to stop.
class CTransferMeter {
 public:
  explicit CTransferMeter(ITransferProgress* host) : m_pHost(host) {}
  // A transfer of `expected` bytes begins; false when the host stops it.
  bool start(std::uint64_t expected);
  // `bytes` more have moved; false when the host stops it.
  bool advance(std::uint64_t bytes);
  // The transfer is complete at what has moved (when `expected` was only a
  // bound); false when the host stops it.
  bool finish();
  bool stopped() const { return m_bStopped; }

 private:
  bool report();

  ITransferProgress* m_pHost;
  std::uint64_t m_expected = 0;
  std::uint64_t m_done = 0;
  std::uint64_t m_reported = 0;
  bool m_bStopped = false;
};

// Where an upload's bytes come from.
class CUploadSource {
 public:
  virtual ~CUploadSource() = default;
  virtual std::uint64_t size() const = 0;
  // Copies the next bytes, at most `room`, to `into`; 0 on failure.
  virtual std::size_t read(char* into, std::size_t room) = 0;
};

// `size` bytes at `data` (not copied; they must outlive the upload).
std::unique_ptr<CUploadSource> memorySource(const char* data, std::size_t size);
// The regular file at `localPath`, opened without blocking (see
// client/LocalFile.h); null when it is not a readable regular file.
std::unique_ptr<CUploadSource> fileSource(const std::string& localPath);

// Where a download's bytes go. Nothing is visible at the destination before
// commit(); a sink destroyed without it leaves nothing behind.
class CDownloadSink {
 public:
  virtual ~CDownloadSink() = default;
  // The attachment begins; `announced` is the size its record declares.
  virtual bool open(std::uint64_t announced) = 0;
  virtual bool write(const char* data, std::size_t size) = 0;
  // Makes the received bytes the result; false when that fails.
  virtual bool commit() = 0;
};

// Into one buffer of the announced size (grown only if more bytes arrive);
// its pages are taken only as bytes arrive, so an announced size that is an
// upper bound costs no memory beyond the bytes.
class CMemorySink : public CDownloadSink {
 public:
  bool open(std::uint64_t announced) override;
  bool write(const char* data, std::size_t size) override;
  bool commit() override;
  // After commit: the bytes in a new[] buffer of size() + 1 with a zero byte
  // after them, now the caller's.
  char* release() { return m_buffer.release(); }
  std::uint64_t size() const { return m_size; }

 private:
  bool reserve(std::uint64_t capacity);

  std::unique_ptr<char[]> m_buffer;
  std::uint64_t m_capacity = 0;  // bytes the buffer holds besides the zero byte
  std::uint64_t m_size = 0;
  std::uint64_t m_prefaulted = 0;  // bytes of the buffer whose pages are ready
};

// Into a temporary file beside `localPath`, made with the process's umask,
// written back to disk as it fills and synced before commit() renames it into
// place, so that a crash never leaves a short file under the final name.
class CFileSink : public CDownloadSink {
 public:
  explicit CFileSink(std::string localPath) : m_strTarget(std::move(localPath)) {}
  ~CFileSink() override;
  CFileSink(const CFileSink&) = delete;
  CFileSink& operator=(const CFileSink&) = delete;
  bool open(std::uint64_t announced) override;
  bool write(const char* data, std::size_t size) override;
  bool commit() override;

 private:
  std::string m_strTarget;
  std::string m_strTemporary;
  int m_fd = -1;
  std::uint64_t m_written = 0;
  std::uint64_t m_flushed = 0;  // bytes whose write-back has begun
  bool m_bFailed = false;
};

// While it exists, the attachment of the next request on `soap` is read from
// the source in pieces as the request goes out, as one DIME record or, from
// 2 GiB on, as chunks (DimeRecords.h). A server that answers before the
// request has gone out (it refuses the file) stops the sending; its answer
// is kept for the caller (CClientContext::takeEarlyReply).
class CUploadStream {
 public:
  CUploadStream(struct soap* soap, CUploadSource& source, CTransferMeter& meter);
  ~CUploadStream();
  CUploadStream(const CUploadStream&) = delete;
  CUploadStream& operator=(const CUploadStream&) = delete;
  // Adds the attachment to the next request; false on failure.
  bool attach(const char* type, const char* id);

  static void* open(struct soap* soap, void* handle, const char* id, const char* type, const char* options);
  static std::size_t read(struct soap* soap, void* handle, char* buffer, std::size_t size);
  static void close(struct soap* soap, void* handle);

 private:
  // True when the server has answered already; its answer is then kept.
  bool answeredEarly(struct soap* soap) noexcept;
  static void keepEarlyReply(struct soap* soap);

  struct soap* m_pSoap;
  CUploadSource& m_source;
  CTransferMeter& m_meter;
  std::uint64_t m_left;
  std::uint64_t m_records;      // DIME records the attachment travels as
  std::uint64_t m_opened = 0;   // of them begun
  std::uint64_t m_sinceCheck = 0;  // bytes sent since the connection was last looked at
  bool m_bAnswered = false;        // the server has answered before the request ended
};

// While it exists, the first attachment of a reply read on `soap` goes to
// `sink` as it arrives (later ones are read and dropped); its bytes extend
// the call's deadline (client/ClientContext.h). A chunked record announces
// only its first chunk: the sink is told the bound the reply's length sets.
class CDownloadStream {
 public:
  CDownloadStream(struct soap* soap, CDownloadSink& sink, CTransferMeter& meter);
  ~CDownloadStream();
  CDownloadStream(const CDownloadStream&) = delete;
  CDownloadStream& operator=(const CDownloadStream&) = delete;
  // True when an attachment went to the sink without a failure (that the
  // call succeeded tells that it arrived whole).
  bool received() const { return m_records > 0 && !m_bFailed; }

  static void* open(struct soap* soap, const char* id, const char* type, const char* options);
  static int write(struct soap* soap, void* handle, const char* data, std::size_t size);
  static void close(struct soap* soap, void* handle);

 private:
  struct soap* m_pSoap;
  CDownloadSink& m_sink;
  CTransferMeter& m_meter;
  int m_records = 0;
  bool m_bFailed = false;
};

}  // namespace VLT_121
