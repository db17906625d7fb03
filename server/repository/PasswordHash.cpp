#include "repository/PasswordHash.h"

#include <crypt.h>

#include <memory>

#include "storage/RandomToken.h"
#include "storage/StorageFailure.h"

namespace talixdb::server {

namespace {

// crypt_r() with its large work area on the heap; "" when it fails.
std::string cryptText(const std::string& password, const std::string& setting);

}  // namespace

std::string hashPassword(const std::string& password) {
  static const char kSaltAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string salt;
  for (unsigned char byte : randomBytes(16)) salt.push_back(kSaltAlphabet[byte % 64]);
  std::string hash = cryptText(password, "$6$" + salt + "$");
  if (hash.empty()) throw StorageFailure("password hashing is unavailable");
  return hash;
}

bool verifyPassword(const std::string& password, const std::string& hash) {
  if (hash.empty()) return false;
  std::string computed = cryptText(password, hash);
  if (computed.size() != hash.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < hash.size(); ++i)
    difference |= static_cast<unsigned char>(computed[i] ^ hash[i]);
  return difference == 0;
}

const std::string& unknownUserHash() {
  static const std::string hash = hashPassword(randomToken());
  return hash;
}

namespace {

std::string cryptText(const std::string& password, const std::string& setting) {
  auto work = std::make_unique<crypt_data>();
  const char* result = crypt_r(password.c_str(), setting.c_str(), work.get());
  if (result == nullptr || result[0] == '*') return std::string();
  return result;
}

}  // namespace

}  // namespace talixdb::server
