// The request log on standard error: exactly one line per served request,
//   talixdb-server: request <operation> <user or -> <ok|fault: text>
#pragma once

#include <string>

namespace talixdb::server {

// Writes one line, whole, even when several threads log at once.
void logRequest(const std::string& operation, const std::string& user, const std::string& outcome);

// The line as written (without the newline); line breaks in `outcome` become blanks.
std::string requestLine(const std::string& operation, const std::string& user, const std::string& outcome);

}  // namespace talixdb::server
