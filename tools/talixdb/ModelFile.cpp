#include "ModelFile.h"

#include "CataloguePath.h"
#include "ExitCodes.h"
#include "LocalFiles.h"

namespace talixdb_cli {

int readModelFile(Context& context, const std::string& path, bool solver, ModelSpec& entry) {
  std::string content, error;
  if (!readLocalFile(path, content, error)) return context.fail(exit_code::kBadInput, error);
  error = modelFromJson(content, solver, entry);
  if (!error.empty()) return context.fail(exit_code::kBadInput, path + ": " + error);
  return exit_code::kSuccess;
}

int placeOfModel(Context& context, const ParsedArgs& args, const std::string& path, ModelSpec& entry) {
  entry.category = args.value("category", entry.category);
  entry.type = args.value("type", entry.type);
  if (entry.category.empty() || entry.type.empty())
    return context.fail(exit_code::kUsage, "no " + std::string(entry.category.empty() ? "category" : "type") +
                                               " for model " + entry.name + ": give --" +
                                               (entry.category.empty() ? "category" : "type") + " or a \"" +
                                               (entry.category.empty() ? "category" : "type") + "\" key in " + path);
  if (!isPlainName(entry.category) || !isPlainName(entry.type))
    return context.fail(exit_code::kUsage, "the category and the type must each be one name without \"/\"");
  return exit_code::kSuccess;
}

}  // namespace talixdb_cli
