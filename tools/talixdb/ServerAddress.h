// Server addresses as the command line and MODELDATABASE_HOME give them.
#pragma once

#include <string>

namespace talixdb_cli {

// The address that CVLTDatabase::open takes, from "HOST:PORT",
// "http://HOST:PORT" or the whole endpoint URL
// "http://HOST:PORT/vlt/services/QuillonBinding" (a trailing "/" allowed).
// Without a scheme, `portRequired` asks for the ":PORT" (so that a file name
// is not taken for a host). "" when the text is none of these.
std::string serverAddress(const std::string& text, bool portRequired);

}  // namespace talixdb_cli
