// Reading a password from the terminal without showing it.
#pragma once

#include <string>

namespace talixdb_cli {

// True when standard input is a terminal, where a prompt can ask.
bool canPrompt();

// Writes `prompt` to standard error and reads one line from standard input
// with echo off; the terminal's settings come back afterwards, also when the
// program is interrupted at the prompt. False at the end of input.
bool promptForPassword(const std::string& prompt, std::string& password);

}  // namespace talixdb_cli
