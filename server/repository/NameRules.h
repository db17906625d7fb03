// The one rule for the names the server gives objects and users: what a
// create, an upload, a move's destination and createUser may name. A name is
// stored exactly as sent or not at all.
#pragma once

#include <cstddef>
#include <string>

namespace talixdb::server {

// Longest name in bytes (of UTF-8), as file systems allow.
constexpr std::size_t kMaxNameBytes = 255;

// "" when `name` may name an object or a user, else why not: empty, "." or
// "..", holds "/", holds a control character (U+0000 to U+001F, U+007F, and
// U+0080 to U+009F, which have no printed form either and in a name mostly
// betray text decoded with the wrong character set), is not valid UTF-8, or
// is longer than kMaxNameBytes.
std::string nameProblem(const std::string& name);

// Throws Refusal("invalid KIND name: 'NAME' (PROBLEM)") unless `name` passes,
// KIND being for example "object", "file" or "user".
void requireValidName(const std::string& name, const char* kind);

}  // namespace talixdb::server
