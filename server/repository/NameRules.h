// The rules for the texts the server stores and gives back: names of objects
// and users, and every other text a client may store (property names and
// values, type names, check-in comments and policies). Replies are XML 1.0,
// so a text is stored exactly as sent or not at all, and never holds a
// character XML 1.0 cannot carry.
#pragma once

#include <cstddef>
#include <string>

#include "storage/RepositoryTypes.h"

namespace talixdb::server {

// Longest name in bytes (of UTF-8), as file systems allow.
constexpr std::size_t kMaxNameBytes = 255;

// "" when `text` may be stored, else why not: it is not valid UTF-8 or holds
// a character XML 1.0 does not allow (the control characters U+0000 to
// U+001F other than tab, line feed and carriage return, and U+FFFE, U+FFFF).
std::string textProblem(const std::string& text);

// "" when `name` may name an object or a user, else why not: empty, "." or
// "..", holds "/", breaks textProblem's rule, holds any other control
// character (tab, line feed, carriage return, U+007F, and U+0080 to U+009F,
// which have no printed form either and in a name mostly betray text
// decoded with the wrong character set), or is longer than kMaxNameBytes.
std::string nameProblem(const std::string& name);

// Throws Refusal("invalid KIND name: 'NAME' (PROBLEM)") unless `name` passes,
// KIND being for example "object", "file" or "user".
void requireValidName(const std::string& name, const char* kind);

// Throws Refusal("invalid WHAT: 'TEXT' (PROBLEM)") unless `text` passes
// textProblem, WHAT being for example "type name" or "check-in comment".
void requireValidText(const std::string& text, const char* what);

// The same for every key and value of a property map.
void requireValidProperties(const PropertyList& properties);

}  // namespace talixdb::server
