// talixdb precomputed: blocks of text kept with a solver as numbered entries.
#include <cstdio>
#include <cstring>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "LocalFiles.h"

namespace talixdb_cli {

namespace {

int uploadPrecomputed(Context& context, const ParsedArgs& args);

}  // namespace

Family precomputedFamily() {
  return Family{"precomputed",
                "Store precomputed results with a solver",
                {
                    {"upload", "MODELPATH SOLVER FILE", "Store the text of FILE (\"-\": standard input) as a new entry",
                     3, 3, {}, uploadPrecomputed, ""},
                }};
}

namespace {

int uploadPrecomputed(Context& context, const ParsedArgs& args) {
  ModelPath path;
  if (int read = readModelPath(context, args.positionals[0], path)) return read;
  const std::string& solver = args.positionals[1];
  std::string content, error;
  if (!readLocalFile(args.positionals[2], content, error)) return context.fail(exit_code::kBadInput, error);
  // The entry is stored as a text property: it ends at the first zero byte.
  if (std::memchr(content.data(), '\0', content.size()) != nullptr)
    return context.fail(exit_code::kBadInput, args.positionals[2] + " holds zero bytes: precomputed results are text");
  if (int loggedIn = context.session.login()) return loggedIn;
  if (int found = requireSolver(context, path, solver)) return found;
  int result = context.db().uploadPreComputedResultsVersion1(path.full().c_str(), solver.c_str(), content.c_str());
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "cannot store precomputed results for solver " + solver + " in " +
                                              path.shown());
  std::printf("stored precomputed results for solver %s in %s\n", solver.c_str(), path.shown().c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
