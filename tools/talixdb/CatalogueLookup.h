// Checks that subcommands make before they act, each reporting in plain words
// what is missing ("no model Equipment/Pumps/X").
#pragma once

#include <string>
#include <vector>

#include "CataloguePath.h"
#include "Command.h"
#include "ExitCodes.h"
#include "LibraryObjects.h"

namespace talixdb_cli {

// Reads a MODELPATH argument; a usage error (exit 2) when it has another shape.
int readModelPath(Context& context, const std::string& text, ModelPath& path);
// Reads a whole-number argument; a usage error when it is not one.
int readNumber(Context& context, const std::string& what, const std::string& text, int& number);
// 0 when the database root exists, else kRefused with a hint to create it.
int requireDatabase(Context& context);
// Downloads the model with its solvers; kRefused with "no model ..." when absent.
int findModel(Context& context, const ModelPath& path, ModelPtr& model);
// 0 when the model has a solver of that name; else kRefused when the model
// is missing, `solverMissing` when the solver is.
int requireSolver(Context& context, const ModelPath& path, const std::string& solver,
                  int solverMissing = exit_code::kRefused);
// The same, keeping the model and pointing `found` at its solver.
int findSolver(Context& context, const ModelPath& path, const std::string& solver, ModelPtr& model,
               const VLT_121::CVLTModel*& found, int solverMissing = exit_code::kRefused);
// The surfaces a solver declares, in order.
std::vector<std::string> declaredSurfaces(const VLT_121::CVLTModel& solver);

}  // namespace talixdb_cli
