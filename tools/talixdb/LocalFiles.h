// Whole-file reads and writes of local files ("-" is standard input/output).
#pragma once

#include <string>

namespace talixdb_cli {

// Reads the whole file (binary). False, with `error` in plain words, when it
// cannot be read.
bool readLocalFile(const std::string& path, std::string& content, std::string& error);
// Writes `content` to the file, replacing it, or to standard output for "-".
bool writeLocalFile(const std::string& path, const std::string& content, std::string& error);
// The folder part of a file path ("." when there is none).
std::string folderOf(const std::string& path);
// True when `path` names an existing directory.
bool isDirectory(const std::string& path);

struct TreeCount {
  long folders = 0;  // the top directory included
  long files = 0;
  unsigned long long bytes = 0;
};
// Counts the directories and regular files of the tree at `directory`
// (symbolic links not followed), leaving out files named `skipped`.
TreeCount countTree(const std::string& directory, const std::string& skipped);

}  // namespace talixdb_cli
