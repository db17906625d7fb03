// The --help texts: of the program, of a family of subcommands, of one
// subcommand. Built from the command descriptions, so they cannot drift.
#pragma once

#include <string>

#include "Command.h"

namespace talixdb_cli {

std::string programHelp();
std::string familyHelp(const Family& family);
std::string commandHelp(const Family& family, const CommandSpec& command);
// "talixdb model upload" or "talixdb backup".
std::string commandTitle(const Family& family, const CommandSpec& command);

}  // namespace talixdb_cli
