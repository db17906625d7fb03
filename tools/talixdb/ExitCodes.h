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
// No server address, or the connection failed in a way not named below (no
// route, closed or lost on the way).
constexpr int kUnreachable = 31;
// The login was refused (user or administrator): a wrong password, or the
// user has a live session elsewhere.
constexpr int kLoginRefused = 32;
// A local input file is missing, unreadable or not valid JSON for its purpose.
constexpr int kBadInput = 33;
// An unexpected internal failure of the tool.
constexpr int kInternal = 34;
// The server's host name cannot be resolved.
constexpr int kNameNotResolved = 35;
// Nothing listens at the server's address and port.
constexpr int kConnectionRefused = 36;
// The server did not answer in time (--timeout, or one of the library's
// limits), or the command did not end within --timeout.
constexpr int kTimedOut = 37;
// TLS failed: a certificate that cannot be verified, a server that does not
// speak TLS, unreadable trusted certificates.
constexpr int kTlsFailed = 38;
// The server that answered is not a repository server (an HTTP server of
// another kind, or plain HTTP to an https-only one).
constexpr int kNotRepository = 39;
// Ctrl-C stopped the command (128 + SIGINT, as a shell reports it); other
// signals give 128 + their number (SIGHUP 129, SIGPIPE 141, SIGTERM 143).
constexpr int kInterrupted = 130;

}  // namespace exit_code

}  // namespace talixdb_cli
