// File lists: the relative paths (parts joined by "/" or "\") that a solver's
// "file-system" parameter names. One walk serves the solver's file tree and
// the instances: it makes the repository folders on the way and uploads the
// local file into the last of them.
#pragma once

#include <string>
#include <vector>

namespace VLT_121 {

class CRepositoryClient;

namespace filelist {

// The parts of a list entry; false for an entry that could reach outside the
// local folder or names no file: absolute, with a "..", "." or empty part (a
// doubled or a trailing separator).
bool splitEntry(const std::string& entry, std::vector<std::string>& parts);

// Uploads `localFolder`/entry into `repositoryRoot`/entry's folders, making
// each missing folder. 0, `folderCode` when a folder was not made, 20 when the
// entry is refused or the file was not uploaded.
int uploadEntry(CRepositoryClient& repository, const std::string& repositoryRoot, const std::string& localFolder,
                const std::string& entry, int folderCode);

}  // namespace filelist
}  // namespace VLT_121
