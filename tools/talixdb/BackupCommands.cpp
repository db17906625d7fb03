// talixdb backup and restore: repository folder trees, with the properties
// of every folder, to and from local directory trees.
#include <cstdio>

#include "CataloguePath.h"
#include "Command.h"
#include "ExitCodes.h"
#include "LocalFiles.h"

namespace talixdb_cli {

namespace {

int backup(Context& context, const ParsedArgs& args);
int restore(Context& context, const ParsedArgs& args);

}  // namespace

Family backupFamily() {
  return Family{"backup",
                "Copy a repository folder tree with its properties into a local directory",
                {{"", "REMOTE LOCAL", "Copy the repository folder tree REMOTE into the local directory LOCAL", 2, 2, {},
                  backup,
                  "REMOTE is a repository path (below /Repository/talixdb unless it starts with \"/\").\n"
                  "LOCAL must not exist, or be empty. Progress goes to standard error.\n"}}};
}

Family restoreFamily() {
  return Family{"restore",
                "Rebuild a repository folder tree from a backup",
                {{"", "REMOTE LOCAL", "Replace the repository folder tree REMOTE by the backup in LOCAL", 2, 2, {},
                  restore,
                  "REMOTE must lie as deep as the folder the backup was taken from (the same number of\n"
                  "\"/\"); what is at REMOTE is replaced. Progress goes to standard error.\n"}}};
}

namespace {

int backup(Context& context, const ParsedArgs& args) {
  const std::string remote = repositoryPath(args.positionals[0]);
  const std::string& local = args.positionals[1];
  if (int loggedIn = context.session.login()) return loggedIn;
  int result = withProgress(context.logger,
                            [&] { return context.db().backupTALIXFolder(remote.c_str(), local.c_str()); });
  if (result == VLT_121::ResultCode::kNotFound) return context.fail(result, "no folder " + remote + " to back up");
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "the backup of " + remote + " into " + local + " failed");
  std::printf("backed up %s into %s\n", remote.c_str(), local.c_str());
  return exit_code::kSuccess;
}

int restore(Context& context, const ParsedArgs& args) {
  const std::string remote = repositoryPath(args.positionals[0]);
  const std::string& local = args.positionals[1];
  if (!isDirectory(local)) return context.fail(exit_code::kBadInput, local + " is not a directory");
  if (int loggedIn = context.session.login()) return loggedIn;
  int result = withProgress(context.logger,
                            [&] { return context.db().restoreTALIXFolder(remote.c_str(), local.c_str()); });
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "the restore of " + remote + " from " + local + " failed");
  std::printf("restored %s from %s\n", remote.c_str(), local.c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
