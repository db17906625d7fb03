// File uploads and downloads (contents travel as DIME attachments) and the
// version history of files.
#include "DimeRecords.h"
#include "base/ClientText.h"
#include "operations/ServiceCall.h"
#include "operations/WireModel.h"

using namespace talixdb::server;

namespace talixdb_wire {

namespace {

constexpr const char* kContentType = "application/octet-stream";

std::string tooLarge(const std::string& name, std::uint64_t limit);

}  // namespace

int __ns1__uploadFiles(struct soap* soap, ns2__UploadFilesRequestStruct* request,
                       ns2__UploadFilesResponseStruct* response) {
  return serveSimple(soap, "uploadFiles", [&](ServiceContext& context) {
    if (request == nullptr) throw Refusal("no upload request");
    const std::uint64_t limit = context.limits().maxUpload;
    std::vector<IncomingFile> files;
    for (const ns2__UploadFile* upload : request->uploadFiles) {
      if (upload == nullptr) continue;
      std::size_t index = files.size();
      if (index >= context.attachments.size())
        throw Refusal("no attachment received for " + echo(upload->name));
      ReceivedAttachment& attachment = *context.attachments[index];
      if (upload->size > 0 && static_cast<std::uint64_t>(upload->size) > limit) throw Refusal(tooLarge(upload->name, limit));
      if (attachment.failed || !attachment.content)
        throw StorageFailure("cannot take the contents of " + echo(upload->name));
      IncomingFile file;
      file.name = upload->name;
      file.typeName = upload->typeName;
      file.declaredSize = upload->size;
      file.values = readProperties(upload->properties);
      file.content = attachment.content.get();
      files.push_back(std::move(file));
    }
    if (files.size() != context.attachments.size())
      throw Refusal("expected " + std::to_string(files.size()) + " attachments, received " +
                    std::to_string(context.attachments.size()));
    response->item = context.repository().store(context.caller, request->parent, files);
  });
}

int __ns1__downloadFiles(struct soap* soap, ns1__DownloadFilesRequestStruct* request,
                         ns2__DownloadFilesResponseStruct* response) {
  return serveOperation(soap, "downloadFiles", [&](ServiceContext& context) {
    if (request == nullptr || request->PathElement.empty()) throw Refusal("no path to download");
    const std::size_t maxPaths = context.limits().maxDownloadPaths;
    if (request->PathElement.size() > maxPaths)
      throw Refusal("too many paths: " + std::to_string(request->PathElement.size()) + ", at most " +
                    std::to_string(maxPaths) + " per downloadFiles request");
    // Every file is found before the first is attached, so that a refusal
    // never leaves a half-built attachment list behind; its bytes are opened
    // only as the reply reaches them (see DimeStreams.cpp). The first one's
    // open before the reply begins: a store that cannot give them then gets
    // a fault instead of a reply cut short.
    std::vector<Download> downloads;
    for (const std::string& path : request->PathElement)
      downloads.push_back(context.repository().fetch(context.caller, path));
    std::unique_ptr<ContentSource> first = context.repository().openDownload(downloads.front());
    soap_set_dime(soap);
    for (Download& download : downloads) {
      auto file = std::make_unique<OutgoingFile>();
      file->download = std::move(download);
      file->source = std::move(first);
      file->records = talixdb::dimeChunks(file->download.size);
      OutgoingFile* handle = file.get();
      context.downloads.push_back(std::move(file));
      const std::string& path = handle->download.path;
      if (talixdb::attachDimeFile(soap, handle, handle->download.size, kContentType, path.c_str()) != SOAP_OK) {
        soap_clr_dime(soap);
        return failInternally(soap, "cannot attach " + path);
      }
      response->item.push_back(path);
    }
    return SOAP_OK;
  });
}

int __ns1__getVersionNames(struct soap* soap, std::string path, ns1__GetVersionNamesResponseElement* response) {
  return serveSimple(soap, "getVersionNames", [&](ServiceContext& context) {
    response->names = context.repository().versionNames(context.caller, path);
  });
}

int __ns1__getChangeLogs(struct soap* soap, std::string path, ns2__ChangeLogs* response) {
  return serveSimple(soap, "getChangeLogs", [&](ServiceContext& context) {
    for (const StoredVersion& version : context.repository().changeLogs(context.caller, path)) {
      ns2__ChangeLogEntry* entry = soap_new_ns2__ChangeLogEntry(soap);
      if (entry == nullptr) continue;
      entry->creator = version.creator;
      entry->creationTime = static_cast<time_t>(version.created);
      entry->comment = version.comment;
      entry->version = std::to_string(version.number);
      response->entry.push_back(entry);
    }
  });
}

int __ns1__isVersioningSupported(struct soap* soap, std::string, bool** response) {
  return serveSimple(soap, "isVersioningSupported", [&](ServiceContext& context) {
    context.repository().requireSession(context.caller);
    *response = newBool(soap, true);
  });
}

namespace {

std::string tooLarge(const std::string& name, std::uint64_t limit) {
  return "file too large: '" + echo(name) + "' exceeds the upload limit of " + std::to_string(limit) + " bytes";
}

}  // namespace

}  // namespace talixdb_wire
