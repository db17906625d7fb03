#include "ModelFile.h"

#include "CataloguePath.h"
#include "ExitCodes.h"
#include "LocalFiles.h"

namespace talixdb_cli {

int readModelFile(Context& context, const std::string& path, bool solver, ModelSpec& spec) {
  std::string content, error;
  if (!readLocalFile(path, content, error)) return context.fail(exit_code::kBadInput, error);
  error = modelFromJson(content, solver, spec);
  if (!error.empty()) return context.fail(exit_code::kBadInput, path + ": " + error);
  return exit_code::kSuccess;
}

int placeOfModel(Context& context, const ParsedArgs& args, const std::string& path, ModelSpec& spec) {
  spec.category = args.value("category", spec.category);
  spec.type = args.value("type", spec.type);
  if (spec.category.empty() || spec.type.empty())
    return context.fail(exit_code::kUsage, "no " + std::string(spec.category.empty() ? "category" : "type") +
                                               " for model " + spec.name + ": give --" +
                                               (spec.category.empty() ? "category" : "type") + " or a \"" +
                                               (spec.category.empty() ? "category" : "type") + "\" key in " + path);
  if (!isPlainName(spec.category) || !isPlainName(spec.type))
    return context.fail(exit_code::kUsage, "the category and the type must each be one name without \"/\"");
  return exit_code::kSuccess;
}

}  // namespace talixdb_cli
