// talixdb backup and restore: repository folder trees, with the properties
// of every folder, to and from local directory trees.
#include <sys/stat.h>

#include <cstdio>

#include "CataloguePath.h"
#include "Command.h"
#include "ExitCodes.h"
#include "LocalFiles.h"
#include "admin/BackupPropertiesFile.h"

namespace talixdb_cli {

namespace {

int backup(Context& context, const ParsedArgs& args);
int restore(Context& context, const ParsedArgs& args);

const OptionSpec kQuietOption{"quiet", 'q', "", "print nothing but errors"};

const char kShowing[] =
    "On a terminal a progress line shows on standard error while it runs; at the end one\n"
    "line sums up the folders, files and bytes (on standard output). --verbose shows the\n"
    "library's messages instead of the progress line.\n";

}  // namespace

Family backupFamily() {
  return Family{"backup",
                "Copy a repository folder tree with its properties into a local directory",
                {{"", "REMOTE LOCAL", "Copy the repository folder tree REMOTE into the local directory LOCAL", 2, 2,
                  {kQuietOption}, backup,
                  std::string("REMOTE is a repository path (below /Repository/talixdb unless it starts with \"/\").\n"
                              "LOCAL must not exist, or be empty.\n") +
                      kShowing}}};
}

Family restoreFamily() {
  return Family{"restore",
                "Rebuild a repository folder tree from a backup",
                {{"", "REMOTE LOCAL", "Replace the repository folder tree REMOTE by the backup in LOCAL", 2, 2,
                  {kQuietOption}, restore,
                  std::string("REMOTE must lie as deep as the folder the backup was taken from (the same number of\n"
                              "\"/\"); what is at REMOTE is replaced.\n") +
                      kShowing}}};
}

namespace {

// "1 folder", "2 folders".
std::string counted(unsigned long long count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::string(prefix).size(), prefix) == 0;
}

// Follows a backup or restore through the library's progress messages (one
// per folder begun, and for a restore one per file) and shows where it is on
// the terminal's status line: a bar when the total is known, else a count.
class TransferProgress final : public ConsoleLogger::ProgressListener {
 public:
  // `total`: folders and files to come, 0 when unknown. With --verbose the
  // messages are shown as they are.
  TransferProgress(ConsoleLogger& logger, const char* action, long total)
      : m_logger(logger), m_action(action), m_total(total) {
    if (!m_logger.verbose()) m_logger.setProgressListener(this);
  }
  ~TransferProgress() {
    m_logger.setProgressListener(nullptr);
    m_logger.clearStatus();
  }
  TransferProgress(const TransferProgress&) = delete;
  TransferProgress& operator=(const TransferProgress&) = delete;

  void onProgress(const std::string& text) override {
    std::string current;
    if (startsWith(text, "Start downloading ") || startsWith(text, "Start Restoring ")) {
      ++m_folders;
      current = text.substr(text.find(' ', 6) + 1);
      if (!current.empty() && current.back() == '.') current.pop_back();
    } else if (startsWith(text, "Uploading File: ")) {
      ++m_files;
      current = text.substr(16);
    } else {
      return;
    }
    m_logger.status(line(current));
  }

 private:
  std::string line(const std::string& current) const {
    std::string text = m_action;
    if (m_total > 0) {
      const long done = m_folders + m_files < m_total ? m_folders + m_files : m_total;
      text += " " + progressBar(done, m_total) + " " + std::to_string(done) + "/" + std::to_string(m_total);
    } else {
      text += " " + counted(static_cast<unsigned long long>(m_folders), "folder");
    }
    return text + "  " + current;
  }

  ConsoleLogger& m_logger;
  const char* m_action;
  long m_total;
  long m_folders = 0;
  long m_files = 0;
};

// The library's refusals of these cases name other causes ("Invalid folder
// format", "Error creating ..."), and hosts match on them: the tool looks first.

// LOCAL must not exist, or be an empty directory.
int checkBackupTarget(Context& context, const std::string& local) {
  struct stat info {};
  if (::stat(local.c_str(), &info) != 0) return exit_code::kSuccess;
  if (!S_ISDIR(info.st_mode))
    return context.fail(exit_code::kBadInput, local + " exists and is no directory: back up into a new directory");
  if (countTree(local, "").folders > 1 || countTree(local, "").files > 0)
    return context.fail(exit_code::kBadInput,
                        local + " is not empty: back up into a new or empty directory (a backup never mixes "
                                "with other files)");
  return exit_code::kSuccess;
}

// The backup's top folder must sit as deep as REMOTE.
int checkRestoreSource(Context& context, const std::string& remote, const std::string& local) {
  const std::string file = local + "/" + VLT_121::backupPropertiesFileName();
  std::string bytes, error;
  VLT_121::BackupPropertiesFile properties;
  if (!readLocalFile(file, bytes, error) || !VLT_121::parseBackupProperties(bytes, properties))
    return context.fail(exit_code::kBadInput, local + " holds no backup made by talixdb backup (its " +
                                                  VLT_121::backupPropertiesFileName() + " is missing or unreadable)");
  const int depth = VLT_121::slashDepth(remote);
  if (properties.depth == depth) return exit_code::kSuccess;
  std::string example = remote;
  while (VLT_121::slashDepth(example) > properties.depth) example.erase(example.rfind('/'));
  while (VLT_121::slashDepth(example) < properties.depth) example += "/NAME";
  return context.fail(exit_code::kBadInput,
                      "the backup in " + local + " is of a folder at depth " + std::to_string(properties.depth) +
                          " (counting \"/\"), and " + remote + " lies at depth " + std::to_string(depth) +
                          ": restore it to a folder as deep, such as " + example);
}

std::string summary(const TreeCount& count) {
  return counted(static_cast<unsigned long long>(count.folders), "folder") + ", " +
         counted(static_cast<unsigned long long>(count.files), "file") + ", " + counted(count.bytes, "byte");
}

int readQuiet(Context& context, const ParsedArgs& args, bool& quiet) {
  quiet = args.has("quiet");
  if (quiet && context.options.verbose) return context.fail(exit_code::kUsage, "give --quiet or --verbose, not both");
  if (quiet) context.logger.setQuiet();
  return exit_code::kSuccess;
}

int backup(Context& context, const ParsedArgs& args) {
  const std::string remote = repositoryPath(args.positionals[0]);
  const std::string& local = args.positionals[1];
  bool quiet = false;
  if (int read = readQuiet(context, args, quiet)) return read;
  if (int target = checkBackupTarget(context, local)) return target;
  if (int loggedIn = context.session.login()) return loggedIn;
  int result = VLT_121::ResultCode::kSuccess;
  {
    TransferProgress progress(context.logger, "backup", 0);
    result = context.db().backupTALIXFolder(remote.c_str(), local.c_str());
  }
  if (result == VLT_121::ResultCode::kNotFound) return context.fail(result, "no folder " + remote + " to back up");
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "the backup of " + remote + " into " + local + " failed");
  if (!quiet)
    std::printf("backed up %s into %s: %s\n", remote.c_str(), local.c_str(),
                summary(countTree(local, VLT_121::backupPropertiesFileName())).c_str());
  return exit_code::kSuccess;
}

int restore(Context& context, const ParsedArgs& args) {
  const std::string remote = repositoryPath(args.positionals[0]);
  const std::string& local = args.positionals[1];
  bool quiet = false;
  if (int read = readQuiet(context, args, quiet)) return read;
  if (!isDirectory(local)) return context.fail(exit_code::kBadInput, local + " is not a directory");
  if (int source = checkRestoreSource(context, remote, local)) return source;
  const TreeCount count = countTree(local, VLT_121::backupPropertiesFileName());
  if (int loggedIn = context.session.login()) return loggedIn;
  int result = VLT_121::ResultCode::kSuccess;
  {
    TransferProgress progress(context.logger, "restore", count.folders + count.files);
    result = context.db().restoreTALIXFolder(remote.c_str(), local.c_str());
  }
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "the restore of " + remote + " from " + local + " failed");
  if (!quiet) std::printf("restored %s from %s: %s\n", remote.c_str(), local.c_str(), summary(count).c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
