#include "CatalogueLookup.h"

#include "ExitCodes.h"

namespace talixdb_cli {

int readModelPath(Context& context, const std::string& text, ModelPath& path) {
  if (parseModelPath(text, path)) return exit_code::kSuccess;
  return context.fail(exit_code::kUsage, "MODELPATH must be CATEGORY/TYPE/MODEL or " + std::string(kDatabaseRoot) +
                                             "/CATEGORY/TYPE/MODEL, not \"" + text + "\"");
}

int readNumber(Context& context, const std::string& what, const std::string& text, int& number) {
  if (parseInteger(text, number)) return exit_code::kSuccess;
  return context.fail(exit_code::kUsage, what + " must be a whole number, not \"" + text + "\"");
}

int requireDatabase(Context& context) {
  if (context.db().isTalixDatabaseInstantiated()) return exit_code::kSuccess;
  return context.fail(exit_code::kRefused, "no database " + std::string(kDatabaseRoot) + " on the server at " +
                                               context.session.address() + " (create it with: talixdb db create)");
}

int findModel(Context& context, const ModelPath& path, ModelPtr& model) {
  model.reset(context.db().downloadModel(path.category.c_str(), path.type.c_str(), path.model.c_str()));
  if (model) return exit_code::kSuccess;
  return context.fail(exit_code::kRefused, "no model " + path.shown());
}

int requireSolver(Context& context, const ModelPath& path, const std::string& solver, int solverMissing) {
  ModelPtr model;
  const VLT_121::CVLTModel* found = nullptr;
  return findSolver(context, path, solver, model, found, solverMissing);
}

int findSolver(Context& context, const ModelPath& path, const std::string& solver, ModelPtr& model,
               const VLT_121::CVLTModel*& found, int solverMissing) {
  if (int present = findModel(context, path, model)) return present;
  for (int i = 0; i < model->getNrSolvers(); ++i)
    if (solver == model->getSolvers()[i].getName()) {
      found = &model->getSolvers()[i];
      return exit_code::kSuccess;
    }
  return context.fail(solverMissing, "no solver " + solver + " in model " + path.shown());
}

std::vector<std::string> declaredSurfaces(const VLT_121::CVLTModel& solver) {
  std::vector<std::string> names;
  for (int i = 0; i < solver.getNrSurfaces(); ++i) names.emplace_back(solver.getSurfaceName(i));
  return names;
}

}  // namespace talixdb_cli
