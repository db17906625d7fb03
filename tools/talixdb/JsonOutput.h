// --json: a command's result as one JSON document on standard output, in the
// shape its --help gives; messages stay on standard error.
#pragma once

#include <nlohmann/json.hpp>

#include "CommandArgs.h"

namespace talixdb_cli {

extern const OptionSpec kJsonOption;

// Writes `document`, indented, and a line end to standard output.
void printJson(const nlohmann::json& document);

}  // namespace talixdb_cli
