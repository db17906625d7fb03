// Salted password hashes (SHA-512 crypt, "$6$" with a random salt); clear
// passwords are never stored.
#pragma once

#include <string>

namespace talixdb::server {

// A new hash of `password` with a fresh random salt. Throws StorageFailure
// when hashing is unavailable.
std::string hashPassword(const std::string& password);

// True when `password` matches `hash` made by hashPassword.
bool verifyPassword(const std::string& password, const std::string& hash);

// A hash like hashPassword's of a random password, made once per process: a
// login for an unknown user is checked against it, so that it costs as much
// as one with a wrong password.
const std::string& unknownUserHash();

}  // namespace talixdb::server
