// talixdb solver: attach a solver (a JSON file plus its local files) to a
// stored model, and fetch a stored solver's file tree.
#include <cstdio>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "LocalFiles.h"
#include "ModelFile.h"

namespace talixdb_cli {

namespace {

int importSolver(Context& context, const ParsedArgs& args);
int downloadSolver(Context& context, const ParsedArgs& args);

}  // namespace

Family solverFamily() {
  return Family{
      "solver",
      "Attach solvers to stored models and fetch their files",
      {
          {"import", "CATEGORY TYPE MODEL SOLVER.json", "Check a solver against a stored model and store it", 4, 4,
           {{"dir", 0, "LOCALDIR", "where the solver's files are (default: the folder of SOLVER.json)"}},
           importSolver,
           "SOLVER.json holds one solver in the shape of \"model upload\" (no \"solvers\" in it). The\n"
           "options of its \"file-system\" parameter name the files below LOCALDIR that are stored.\n"},
          {"download", "SOLVERPATH DIR", "Copy a stored solver's file tree into a local directory", 2, 2, {},
           downloadSolver,
           "SOLVERPATH is CATEGORY/TYPE/MODEL/SOLVER (as \"browse --solvers\" prints it),\n"
           "CATEGORY/TYPE/MODEL/Solvers/SOLVER, or either below /Repository/talixdb; any other path\n"
           "exits 1. A solver without stored files exits 0 and makes no directory.\n"},
      }};
}

namespace {

int importSolver(Context& context, const ParsedArgs& args) {
  const ModelPath path{args.positionals[0], args.positionals[1], args.positionals[2]};
  const std::string& file = args.positionals[3];
  ModelSpec entry;
  if (int read = readModelFile(context, file, true, entry)) return read;
  const std::string localDir = args.value("dir", folderOf(file));
  std::string missing = missingSolverFile(entry, localDir);
  if (!missing.empty()) return context.fail(exit_code::kBadInput, missing);
  if (int loggedIn = context.session.login()) return loggedIn;

  VLT_121::CVLTModel solver;
  fillModelObject(entry, localDir, solver);
  int result = context.db().importSolver(path.category.c_str(), path.type.c_str(), path.model.c_str(), &solver);
  if (result == VLT_121::ResultCode::kModelMissing) return context.fail(result, "no model " + path.shown());
  if (result == VLT_121::ResultCode::kSolverExists)
    return context.fail(result, "model " + path.shown() + " has a solver " + entry.name + " already");
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "cannot import solver " + entry.name + " into model " + path.shown());
  std::printf("imported solver %s into model %s\n", entry.name.c_str(), path.shown().c_str());
  return exit_code::kSuccess;
}

int downloadSolver(Context& context, const ParsedArgs& args) {
  ModelPath model;
  std::string solver;
  // Any other folder would be "downloaded" as a solver without files.
  if (!parseSolverPath(args.positionals[0], model, solver))
    return context.fail(exit_code::kRefused, "\"" + args.positionals[0] +
                                                 "\" is no solver: SOLVERPATH is CATEGORY/TYPE/MODEL/SOLVER, "
                                                 "CATEGORY/TYPE/MODEL/Solvers/SOLVER or either below " +
                                                 kDatabaseRoot);
  const std::string solverPath = model.full() + "/Solvers/" + solver;
  const std::string& directory = args.positionals[1];
  if (int loggedIn = context.session.login()) return loggedIn;
  const bool existed = isDirectory(directory);
  int result = withProgress(context.logger,
                            [&] { return context.db().downloadSolver(solverPath.c_str(), directory.c_str()); });
  if (result == VLT_121::ResultCode::kSolverMissing) return context.fail(result, "no solver at " + solverPath);
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "cannot download the files of " + solverPath);
  if (!existed && !isDirectory(directory))
    std::printf("solver %s has no stored files\n", solverPath.c_str());
  else
    std::printf("downloaded the files of %s into %s\n", solverPath.c_str(), directory.c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
