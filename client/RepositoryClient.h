// CRepositoryClient: finds, creates and deletes repository objects and moves
// file contents in and out, one service call per request. Nothing throws;
// failures are null, "" or false.
#pragma once

#include <stdexcept>
#include <string>

#include "client/QuillonBinding.h"
#include "client/RepositoryObject.h"
#include "talixdbapi/TransferProgress.h"

namespace VLT_121 {

class CUploadSource;
class CDownloadSink;

// A read the server did not answer (connection lost, memory out), thrown
// where it must not be taken for an object that is not there.
struct RepositoryUnanswered : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class CRepositoryClient {
 public:
  explicit CRepositoryClient(QuillonBinding* binding);

  // The object at `path` (caller releases and deletes it), or null: see
  // lastCallAnswered for why.
  CRepositoryObject* findByPath(std::string path);
  // True when the server answered the last findByPath, upload or download,
  // with a result or with a fault ("no such object"); false when the call
  // failed on the way (no connection, a time-out, a dropped connection).
  bool lastCallAnswered() const;
  // As findByPath, but null only when there is no such object: a call the
  // server did not answer throws RepositoryUnanswered.
  CRepositoryObject* findExisting(std::string path);
  // Throws RepositoryUnanswered naming `path` unless the last call was answered.
  void requireAnswer(const std::string& path) const;
  // A child as findChildren lists it: its name and its own children's names.
  struct Child {
    std::string name;
    std::vector<std::string> childNames;
  };
  // The children of the object at `path` that the caller may read, in one
  // request; empty when there are none or the object cannot be read.
  std::vector<Child> findChildren(const std::string& path);
  // Why the last upload or download failed, as the server said it (the file
  // too large for its limit or its store, say); "" when it did not say.
  const std::string& lastFailure() const { return m_strLastFailure; }
  // Path of the new folder, or "" (also when the parent is missing).
  std::string createFolder(std::string parentPath, std::string name);
  // True when the server deleted the object (and everything below it).
  bool deleteObject(const char* path);
  // File contents travel streamed (client/Transfers.h). `progress` hears of
  // every upload and download and may stop one, which then fails; null for
  // none. Not owned.
  void setTransferProgress(ITransferProgress* progress) { m_pProgress = progress; }

  // Stores `size` bytes (size 0: strlen(data)) as the file at `path`,
  // creating missing folders on the way. The server's answer, or "".
  std::string uploadFile(std::string path, const char* data, int size);
  // The same with exactly `size` bytes, 0 meaning an empty file.
  std::string uploadBytes(const std::string& path, const char* data, size_t size);
  // Uploads a local file into `folderPath` under its own name, read as it is
  // sent; "" when the local file is not a readable regular file (a directory,
  // a FIFO or a device is refused without blocking) or the upload fails.
  std::string uploadLocalFile(std::string folderPath, std::string localPath);
  // Writes the file at `path` to `localPath` as it arrives (into a temporary
  // file beside it, renamed into place at the end). The server's answer, or
  // "" (target untouched, no temporary file left).
  std::string downloadFileToDisk(std::string path, std::string localPath);
  // The file's bytes in a new[] buffer of size + 1 with a zero byte after
  // them, received straight into it; the caller owns it. "" and the outputs
  // untouched on failure.
  std::string downloadFileToMemory(std::string path, char** data, int* size);
  // As above with a 64-bit size.
  std::string downloadFileToMemory(std::string path, char** data, long* size);
  // malloc'ed copy of the server's answer (caller frees), or null on failure.
  char* createUser(const char* user, const char* password);

  // Operations no library code calls yet.
  CRepositoryObject** query(std::string text, int* count);
  char* move(const char* source, const char* destination);
  bool checkin(const char* id, const char* comment, bool recursive);
  bool checkout(const char* id, bool recursive);
  bool isCheckedOut(const char* path);
  bool isCheckinEnabled(const char* path);
  bool isVersioningSupported(const char* path);
  bool setCheckinPolicy(const char* objectId, const char* policy, bool recursive);

  QuillonBinding* binding() const { return m_pBinding; }

 private:
  // Makes the missing folders above `path` and stores the source's bytes as
  // the file there.
  std::string upload(const std::string& path, CUploadSource& source);
  // Sends downloadFiles for one path; its attachment goes to `sink`, which
  // is committed when the whole reply was read.
  std::string download(const std::string& path, CDownloadSink& sink);

  QuillonBinding* m_pBinding;
  ITransferProgress* m_pProgress = nullptr;
  int m_iLastResult = SOAP_OK;
  std::string m_strLastFailure;
};

}  // namespace VLT_121
