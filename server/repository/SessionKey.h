// The key a login session is stored under: the SHA-256 of its id, so that
// whoever reads the store learns no id a client could present. The ids are
// 128 random bits, so an unsalted hash is enough.
#pragma once

#include <string>

namespace talixdb::server {

// 64 lower-case hex digits. Throws StorageFailure when hashing fails.
std::string sessionKey(const std::string& sessionId);

}  // namespace talixdb::server
