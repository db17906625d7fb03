// Catalogue and repository paths as the command line gives them.
#pragma once

#include <string>
#include <vector>

namespace talixdb_cli {

// The database root folder on the server.
extern const char kDatabaseRoot[];

struct ModelPath {
  std::string category;
  std::string type;
  std::string model;

  // "/Repository/talixdb/CATEGORY/TYPE/MODEL", as the library takes it.
  std::string full() const;
  // "CATEGORY/TYPE/MODEL", for messages.
  std::string shown() const;
};

// Reads "CATEGORY/TYPE/MODEL" or "/Repository/talixdb/CATEGORY/TYPE/MODEL".
// False when the text has another shape (or an empty part).
bool parseModelPath(const std::string& text, ModelPath& path);
// Reads a solver's path: "CATEGORY/TYPE/MODEL/SOLVER" (as browse --solvers
// prints it) or "CATEGORY/TYPE/MODEL/Solvers/SOLVER" (its repository path),
// also below "/Repository/talixdb/".
bool parseSolverPath(const std::string& text, ModelPath& model, std::string& solver);

// One form of path for every command: where a command takes "MODELPATH
// SOLVER" (by its synopsis), a solver's path may stand for both; where it
// takes "CATEGORY TYPE MODEL", a model's path may stand for the three. The
// arguments are rewritten into the long form; others are left alone.
void expandCataloguePaths(const std::string& synopsis, std::vector<std::string>& arguments);

// A repository path: kept when it starts with "/", else taken below the
// database root. Trailing slashes go ("/" alone stays).
std::string repositoryPath(const std::string& text);

// True for a name that can stand as one folder name: not empty, no "/".
bool isPlainName(const std::string& name);

}  // namespace talixdb_cli
