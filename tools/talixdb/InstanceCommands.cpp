// talixdb instance: numbered saved copies of a solver's working files.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "JsonOutput.h"
#include "LocalFiles.h"

namespace talixdb_cli {

namespace {

int uploadInstance(Context& context, const ParsedArgs& args);
int listInstances(Context& context, const ParsedArgs& args);
int downloadInstance(Context& context, const ParsedArgs& args);
int deleteInstance(Context& context, const ParsedArgs& args);

}  // namespace

Family instanceFamily() {
  return Family{
      "instance",
      "Save, list, fetch and delete instances (numbered copies of a solver's files)",
      {
          {"upload", "MODELPATH SOLVER LOCALDIR", "Save the solver's listed files from LOCALDIR as a new instance", 3,
           3, {{"number", 0, "N", "replace instance N (a new number is chosen when there is no instance N)"}},
           uploadInstance,
           "The files saved are those that the solver's \"file-system\" parameter lists. Prints the\n"
           "instance number.\n"},
          {"list", "MODELPATH SOLVER", "List the instances of a solver: number, upload time (UTC), folder name", 2, 2,
           {kJsonOption}, listInstances,
           "With --json: {\"instances\": [{\"number\": N, \"uploaded\": \"YYYY-MM-DDTHH:MM:SSZ\" or null,\n"
           "\"folder\": FOLDER}]}.\n"},
          {"download", "MODELPATH SOLVER NUMBER LOCALDIR", "Copy an instance into a local directory", 4, 4, {},
           downloadInstance,
           "Exits 1, copying nothing, when there is no instance NUMBER; 21 when there is no\n"
           "solver SOLVER.\n"},
          {"delete", "MODELPATH SOLVER NUMBER", "Delete an instance", 3, 3, {}, deleteInstance, ""},
      }};
}

namespace {

bool contains(int count, const char* (VLT_121::CVLTDatabase::*name)(int), VLT_121::CVLTDatabase& db,
              const std::string& wanted) {
  for (int i = 0; i < count; ++i)
    if (wanted == (db.*name)(i)) return true;
  return false;
}

// Instance folders are named "%09d-%ld": the number, then the upload time.
// The time in `format` (UTC), or "" when the name holds none.
std::string uploadTime(const std::string& folderName, const char* format) {
  std::string::size_type dash = folderName.find('-', 1);
  if (dash == std::string::npos) return "";
  std::time_t seconds = static_cast<std::time_t>(std::atol(folderName.c_str() + dash + 1));
  std::tm utc{};
  if (gmtime_r(&seconds, &utc) == nullptr) return "";
  char text[32];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

int uploadInstance(Context& context, const ParsedArgs& args) {
  ModelPath path;
  if (int read = readModelPath(context, args.positionals[0], path)) return read;
  const std::string& solver = args.positionals[1];
  const std::string& localDir = args.positionals[2];
  int number = 0;
  if (args.has("number")) {
    if (int read = readNumber(context, "--number", args.value("number"), number)) return read;
  }
  if (!isDirectory(localDir)) return context.fail(exit_code::kBadInput, localDir + " is not a directory");
  if (int loggedIn = context.session.login()) return loggedIn;
  if (int found = requireSolver(context, path, solver)) return found;

  const int requested = number;
  int result = withProgress(context.logger, [&] {
    return context.db().uploadInstance(path.full().c_str(), solver.c_str(), number, localDir.c_str());
  });
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "cannot save an instance of solver " + solver + " in " + path.shown());
  if (number == requested && requested <= 0) {
    context.logger.warning("solver " + solver + " lists no files (no \"file-system\" parameter): nothing was saved");
    return exit_code::kSuccess;
  }
  std::printf("saved instance %d of solver %s in %s\n", number, solver.c_str(), path.shown().c_str());
  return exit_code::kSuccess;
}

int listInstances(Context& context, const ParsedArgs& args) {
  ModelPath path;
  if (int read = readModelPath(context, args.positionals[0], path)) return read;
  const std::string& solver = args.positionals[1];
  if (int loggedIn = context.session.login()) return loggedIn;
  VLT_121::CVLTDatabase& db = context.db();
  {
    ConsoleLogger::OutcomesAsProgress quiet(context.logger);
    db.takeVLTSnapshot(nullptr);
  }
  db.downloadModelNames(path.category.c_str(), path.type.c_str());
  if (!contains(db.getNrDownloadedModelNames(), &VLT_121::CVLTDatabase::getDownloadedModelName, db, path.model))
    return context.fail(exit_code::kRefused, "no model " + path.shown());
  db.downloadSolverNames(path.category.c_str(), path.type.c_str(), path.model.c_str());
  if (!contains(db.getNrDownloadedSolverNames(), &VLT_121::CVLTDatabase::getDownloadedSolverName, db, solver))
    return context.fail(exit_code::kRefused, "no solver " + solver + " in model " + path.shown());
  db.downloadInstanceNames(path.category.c_str(), path.type.c_str(), path.model.c_str(), solver.c_str());
  nlohmann::json instances = nlohmann::json::array();
  for (int i = 0; i < db.getNrDownloadedInstanceNames(); ++i) {
    const std::string name = db.getDownloadedInstanceName(i);
    const int number = std::atoi(name.substr(0, 9).c_str());
    if (args.has("json")) {
      const std::string uploaded = uploadTime(name, "%Y-%m-%dT%H:%M:%SZ");
      instances.push_back({{"number", number},
                           {"uploaded", uploaded.empty() ? nlohmann::json() : nlohmann::json(uploaded)},
                           {"folder", name}});
    } else {
      const std::string uploaded = uploadTime(name, "%Y-%m-%d %H:%M:%S");
      std::printf("%d\t%s\t%s\n", number, uploaded.empty() ? "-" : uploaded.c_str(), name.c_str());
    }
  }
  if (args.has("json")) printJson({{"instances", instances}});
  return exit_code::kSuccess;
}

int downloadInstance(Context& context, const ParsedArgs& args) {
  ModelPath path;
  if (int read = readModelPath(context, args.positionals[0], path)) return read;
  const std::string& solver = args.positionals[1];
  int number = 0;
  if (int read = readNumber(context, "NUMBER", args.positionals[2], number)) return read;
  const std::string& localDir = args.positionals[3];
  if (int loggedIn = context.session.login()) return loggedIn;

  const std::string missing = "no instance " + std::to_string(number) + " of solver " + solver + " in " + path.shown();
  // For a missing instance the library would copy the solver's base files.
  if (!context.db().isInstanceUploaded(path.full().c_str(), solver.c_str(), number)) {
    if (int found = requireSolver(context, path, solver, VLT_121::ResultCode::kSolverMissing)) return found;
    return context.fail(exit_code::kRefused, missing);
  }
  const int requested = number;
  int result = withProgress(context.logger, [&] {
    return context.db().downloadInstance(path.full().c_str(), solver.c_str(), number, localDir.c_str());
  });
  if (result == VLT_121::ResultCode::kSolverMissing)
    return context.fail(result, "no solver " + solver + " in model " + path.shown());
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "cannot download instance " + std::to_string(requested) + " of solver " +
                                              solver + " in " + path.shown());
  // Deleted between the check and the download.
  if (number != requested)
    return context.fail(exit_code::kRefused, missing + " (the solver's base files were copied into " + localDir + ")");
  std::printf("downloaded instance %d of solver %s in %s into %s\n", number, solver.c_str(), path.shown().c_str(),
              localDir.c_str());
  return exit_code::kSuccess;
}

int deleteInstance(Context& context, const ParsedArgs& args) {
  ModelPath path;
  if (int read = readModelPath(context, args.positionals[0], path)) return read;
  const std::string& solver = args.positionals[1];
  int number = 0;
  if (int read = readNumber(context, "NUMBER", args.positionals[2], number)) return read;
  if (int loggedIn = context.session.login()) return loggedIn;
  if (!context.db().deleteInstance(path.category.c_str(), path.type.c_str(), path.model.c_str(), solver.c_str(),
                                   number))
    return context.fail(exit_code::kRefused, "no instance " + std::to_string(number) + " of solver " + solver +
                                                 " in " + path.shown());
  std::printf("deleted instance %d of solver %s in %s\n", number, solver.c_str(), path.shown().c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
