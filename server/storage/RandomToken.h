// Unguessable identifiers from the kernel's random source.
#pragma once

#include <string>

namespace talixdb::server {

// 128 random bits as 32 lower-case hex digits. Throws StorageFailure when the
// random source cannot be read.
std::string randomToken();

// `count` random bytes.
std::string randomBytes(std::size_t count);

// Bytes as lower-case hex digits, two per byte.
std::string hexText(const std::string& bytes);

}  // namespace talixdb::server
