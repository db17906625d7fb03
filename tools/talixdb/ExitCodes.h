// Exit status of the talixdb program. Operations that return a library
// result code (ResultCodes.h, 2 to 30) exit with that code unchanged; the
// codes below cover what the library reports as true/false or a pointer, and
// the failures of the tool itself.
#pragma once

#include <string>

namespace talixdb_cli {
namespace exit_code {

constexpr int kSuccess = 0;
// Not found, refused, or a check that came out false.
constexpr int kRefused = 1;
// The command line is wrong (unknown option, missing argument, bad number).
constexpr int kUsage = 2;
// No server address, the server cannot be reached, or it does not answer in
// time (a time-out while logging in included).
constexpr int kUnreachable = 31;
// The server refused the login (user or administrator).
constexpr int kLoginRefused = 32;
// A local input file is missing, unreadable or not valid JSON for its purpose.
constexpr int kBadInput = 33;
// An unexpected internal failure of the tool.
constexpr int kInternal = 34;
// Ctrl-C stopped a file transfer (128 + SIGINT, as a shell reports it).
constexpr int kInterrupted = 130;

}  // namespace exit_code

}  // namespace talixdb_cli
