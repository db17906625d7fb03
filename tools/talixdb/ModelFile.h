// Model and solver files given on the command line.
#pragma once

#include <string>

#include "Command.h"
#include "ModelSpec.h"

namespace talixdb_cli {

// Reads and checks a model file (`solver` false) or a solver file. 0, or
// exit_code::kBadInput with "FILE: what is wrong".
int readModelFile(Context& context, const std::string& path, bool solver, ModelSpec& entry);

// The category and type a model goes to: --category / --type, else the
// file's "category" / "type". 0, or a usage error naming what is missing.
int placeOfModel(Context& context, const ParsedArgs& args, const std::string& path, ModelSpec& entry);

}  // namespace talixdb_cli
