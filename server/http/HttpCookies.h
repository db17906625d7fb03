// The two cookie texts the server reads and writes.
#pragma once

#include <string>

namespace talixdb::server {

// The value of cookie `name` in a Cookie header value ("" when absent).
// Attributes such as "$Path" are skipped and surrounding quotes removed.
std::string cookieValue(const std::string& header, const std::string& name);

// The Set-Cookie header value naming a session: "NAME=ID; Path=/; HttpOnly"
// (no script of a page may read it), and "; Secure" after it for a session
// begun over TLS, so that a client never sends it over plain HTTP.
std::string sessionCookie(const std::string& name, const std::string& id, bool secure);

}  // namespace talixdb::server
