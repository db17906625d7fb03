// The two cookie texts the server reads and writes.
#pragma once

#include <string>

namespace talixdb::server {

// The value of cookie `name` in a Cookie header value ("" when absent).
// Attributes such as "$Path" are skipped and surrounding quotes removed.
std::string cookieValue(const std::string& header, const std::string& name);

// The Set-Cookie header value naming a session: "NAME=ID; Path=/".
std::string sessionCookie(const std::string& name, const std::string& id);

}  // namespace talixdb::server
