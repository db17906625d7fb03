// talixdb model: upload, download, compatibility check and deletion of models
// kept as JSON files.
#include <cstdio>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "LocalFiles.h"
#include "ModelFile.h"

namespace talixdb_cli {

namespace {

int uploadModel(Context& context, const ParsedArgs& args);
int downloadModel(Context& context, const ParsedArgs& args);
int checkCompatibility(Context& context, const ParsedArgs& args);
int deleteModel(Context& context, const ParsedArgs& args);

const OptionSpec kCategoryOption{"category", 0, "CATEGORY", "category of the model (default: the file's \"category\")"};
const OptionSpec kTypeOption{"type", 0, "TYPE", "model type (default: the file's \"type\")"};

}  // namespace

Family modelFamily() {
  return Family{
      "model",
      "Store, fetch, check and delete models, kept as JSON files",
      {
          {"upload", "FILE.json", "Store a model and the solvers listed in its file", 1, 1,
           {kCategoryOption,
            kTypeOption,
            {"dir", 0, "LOCALDIR", "where the solvers' files are (default: the folder of FILE.json)"},
            {"no-solvers", 0, "", "store the model only, not its solvers"},
            {"replace", 0, "", "replace a stored model of that name, with its solvers, reports and instances"}},
           uploadModel,
           "FILE.json holds {\"category\", \"type\", \"name\", \"description\", \"ports\": [{\"name\",\n"
           "\"description\", \"type\", \"direction\"}], \"parameters\": [{\"name\", \"description\", \"type\",\n"
           "\"mode\", \"dimensionality\", \"defaultValue\", \"lowerBound\", \"upperBound\", \"options\": [...],\n"
           "\"restrictedToList\"}], \"species\": [...], \"solvers\": [...]}; a solver adds \"command\",\n"
           "\"sortedModelComponents\", \"surfaces\": [{\"name\", \"nodePositions\", \"gridConnectivity\"}],\n"
           "\"nodePositions\" and \"gridConnectivity\". \"model download\" writes the same shape.\n"
           "All or nothing: when a part cannot be stored, or the command is stopped, what it stored\n"
           "(the model, and the category and type when it made them) is removed again.\n"
           "examples/pump-model.json is a model to start from.\n"},
          {"download", "CATEGORY TYPE MODEL", "Write a stored model with its solvers as JSON", 3, 3,
           {{"output", 'o', "FILE.json", "write to FILE.json instead of standard output"}}, downloadModel, ""},
          {"check-compat", "FILE.json", "Check that every part of a model and of its solvers is in the catalogue", 1,
           1, {kCategoryOption, kTypeOption}, checkCompatibility,
           "Exits 0 when every port, parameter and solver of the file has a folder of that name in\n"
           "the catalogue and the file lists at least one solver; 1 otherwise, naming the first miss.\n"},
          {"delete", "CATEGORY TYPE MODEL", "Delete a stored model with everything below it", 3, 3, {}, deleteModel,
           ""},
      }};
}

namespace {

// Reports on the console, also once a stop has muted the usual messages.
void tell(Context& context, const std::string& text) {
  if (Supervisor::stopRequested())
    context.logger.finalError(text);
  else
    context.logger.error(text);
}

// Whether the listing just filled holds `wanted`.
bool isListed(VLT_121::CVLTDatabase& db, int (VLT_121::CVLTDatabase::*count)(),
              const char* (VLT_121::CVLTDatabase::*name)(int), const std::string& wanted) {
  for (int i = 0; i < (db.*count)(); ++i)
    if (wanted == (db.*name)(i)) return true;
  return false;
}

// Removes what a failed or stopped upload stored: the model, and the type
// and category folders it made on the way, each only when a fresh snapshot
// shows it empty (they may have gained other models meanwhile).
void undoUpload(Context& context, const ModelPath& path, bool madeCategory, bool madeType) {
  const std::string leftOver = "model " + path.shown() +
                               " may be stored in part: remove it with: talixdb model delete " + path.category +
                               " " + path.type + " " + path.model;
  if (Supervisor::stopRequested() && context.session.resumeAfterStop() != exit_code::kSuccess)
    return tell(context, leftOver);
  using Db = VLT_121::CVLTDatabase;
  Db& db = context.db();
  ConsoleLogger::OutcomesAsProgress quiet(context.logger);
  if (!db.deleteItem(path.full().c_str())) return tell(context, leftOver);
  std::string removed = "model " + path.shown();
  const std::string category = std::string(kDatabaseRoot) + "/" + path.category;
  if (madeType) {
    db.takeVLTSnapshot(nullptr);
    db.downloadTypeNames(path.category.c_str());
    if (isListed(db, &Db::getNrDownloadedTypeNames, &Db::getDownloadedTypeName, path.type) &&
        !db.downloadModelNames(path.category.c_str(), path.type.c_str()) &&
        db.deleteItem((category + "/" + path.type).c_str()))
      removed += ", type " + path.category + "/" + path.type;
  }
  if (madeCategory) {
    db.takeVLTSnapshot(nullptr);
    db.downloadCategoryNames();
    if (isListed(db, &Db::getNrDownloadedCategoryNames, &Db::getDownloadedCategoryName, path.category) &&
        !db.downloadTypeNames(path.category.c_str()) && db.deleteItem(category.c_str()))
      removed += ", category " + path.category;
  }
  tell(context, "removed what this upload stored: " + removed);
}

int uploadModel(Context& context, const ParsedArgs& args) {
  const std::string& file = args.positionals[0];
  ModelSpec entry;
  if (int read = readModelFile(context, file, false, entry)) return read;
  if (int placed = placeOfModel(context, args, file, entry)) return placed;
  if (args.has("no-solvers")) entry.solvers.clear();
  const std::string localDir = args.value("dir", folderOf(file));
  for (const ModelSpec& solver : entry.solvers) {
    std::string missing = missingSolverFile(solver, localDir);
    if (!missing.empty()) return context.fail(exit_code::kBadInput, missing);
  }
  const ModelPath path{entry.category, entry.type, entry.name};
  if (int loggedIn = context.session.login()) return loggedIn;
  if (int present = requireDatabase(context)) return present;
  VLT_121::CVLTDatabase& db = context.db();
  if (args.has("replace")) {
    ModelPtr stored(db.downloadModel(path.category.c_str(), path.type.c_str(), path.model.c_str()));
    ConsoleLogger::OutcomesAsProgress quiet(context.logger);
    if (stored && !db.deleteItem(path.full().c_str()))
      return context.fail(exit_code::kRefused, "the stored model " + path.shown() + " was not deleted");
    if (stored) std::printf("deleted the stored model %s (--replace)\n", path.shown().c_str());
  }
  const bool madeCategory = !db.checkCategory(path.category.c_str());
  const bool madeType = madeCategory || !db.checkType(path.type.c_str(), path.category.c_str());
  // Stopped before anything was stored: nothing to undo.
  if (Supervisor::stopRequested()) return exit_code::kInterrupted;

  VLT_121::CVLTModel model;
  fillModelObject(entry, localDir, model);
  int result = db.uploadModel(path.category.c_str(), path.type.c_str(), &model);
  if (result == VLT_121::ResultCode::kModelExists)
    return context.fail(result, "model " + path.shown() +
                                    " exists already: give --replace to replace it (its solvers, reports and "
                                    "instances go with it)");
  if (result != VLT_121::ResultCode::kSuccess) {
    context.failWithResult(result, "cannot upload model " + path.shown());
    undoUpload(context, path, madeCategory, madeType);
    return result;
  }
  for (int i = 0; i < model.getNrSolvers(); ++i) {
    VLT_121::CVLTModel& solver = model.getSolvers()[i];
    context.logger.progress("importing solver " + std::string(solver.getName()));
    result = db.importSolver(path.category.c_str(), path.type.c_str(), path.model.c_str(), &solver);
    if (result != VLT_121::ResultCode::kSuccess || Supervisor::stopRequested()) {
      context.failWithResult(result, "cannot import solver " + std::string(solver.getName()) + " of model " +
                                         path.shown());
      undoUpload(context, path, madeCategory, madeType);
      return result != VLT_121::ResultCode::kSuccess ? result : exit_code::kInterrupted;
    }
  }
  std::printf("uploaded model %s", path.shown().c_str());
  if (model.getNrSolvers() > 0) std::printf(" with %d solver(s)", model.getNrSolvers());
  std::printf("\n");
  return exit_code::kSuccess;
}

// A grid file of a solver (of one surface, or the unnamed one for null).
std::string downloadGrid(Context& context, const std::string& modelPath, const std::string& solver,
                         const char* surface, bool connectivity) {
  RegisteredBuffer<char> data(context.db());
  long size = 0;
  if (connectivity)
    context.db().downloadSurfaceGridConnectivity(modelPath.c_str(), solver.c_str(), data.slot(), size, surface);
  else
    context.db().downloadSurfaceNodePositions(modelPath.c_str(), solver.c_str(), data.slot(), size, surface);
  if (data.get() == nullptr || size <= 0) return "";
  return std::string(data.get(), static_cast<std::size_t>(size));
}

int downloadModel(Context& context, const ParsedArgs& args) {
  const ModelPath path{args.positionals[0], args.positionals[1], args.positionals[2]};
  if (int loggedIn = context.session.login()) return loggedIn;
  ModelPtr model;
  if (int found = findModel(context, path, model)) return found;
  ModelSpec entry = specFromModelObject(*model);
  entry.category = path.category;
  entry.type = path.type;
  // A stored solver keeps its grids as files; the model object does not carry them.
  const std::string modelPath = path.full();
  for (ModelSpec& solver : entry.solvers) {
    for (SurfaceSpec& surface : solver.surfaces) {
      surface.nodePositions = downloadGrid(context, modelPath, solver.name, surface.name.c_str(), false);
      surface.gridConnectivity = downloadGrid(context, modelPath, solver.name, surface.name.c_str(), true);
    }
    if (solver.surfaces.empty()) {
      solver.nodePositions = downloadGrid(context, modelPath, solver.name, nullptr, false);
      solver.gridConnectivity = downloadGrid(context, modelPath, solver.name, nullptr, true);
    }
  }
  // Grids missing for Ctrl-C would make a file that looks whole.
  if (context.session.transfers().interrupted()) return exit_code::kInterrupted;
  const std::string output = args.value("output", "-");
  std::string error;
  if (!writeLocalFile(output, modelToJson(entry), error))
    return context.fail(VLT_121::ResultCode::kLocalNotMade, error);
  if (output != "-") std::printf("wrote model %s to %s\n", path.shown().c_str(), output.c_str());
  return exit_code::kSuccess;
}

int checkCompatibility(Context& context, const ParsedArgs& args) {
  const std::string& file = args.positionals[0];
  ModelSpec entry;
  if (int read = readModelFile(context, file, false, entry)) return read;
  if (int placed = placeOfModel(context, args, file, entry)) return placed;
  if (entry.solvers.empty())
    return context.fail(exit_code::kRefused, file + " lists no solver: the check needs at least one");
  const ModelPath path{entry.category, entry.type, entry.name};
  if (int loggedIn = context.session.login()) return loggedIn;
  VLT_121::CVLTModel model;
  fillModelObject(entry, folderOf(file), model);
  if (!context.db().checkModelCompatibility(path.category.c_str(), path.type.c_str(), path.model.c_str(), &model))
    return context.fail(exit_code::kRefused, file + " does not match model " + path.shown() + " in the catalogue");
  std::printf("%s matches model %s and its solvers in the catalogue\n", file.c_str(), path.shown().c_str());
  return exit_code::kSuccess;
}

int deleteModel(Context& context, const ParsedArgs& args) {
  const ModelPath path{args.positionals[0], args.positionals[1], args.positionals[2]};
  if (int loggedIn = context.session.login()) return loggedIn;
  ModelPtr model;
  if (int found = findModel(context, path, model)) return found;
  ConsoleLogger::OutcomesAsProgress quiet(context.logger);
  if (!context.db().deleteItem(path.full().c_str()))
    return context.fail(exit_code::kRefused, "model " + path.shown() + " was not deleted");
  std::printf("deleted model %s\n", path.shown().c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
