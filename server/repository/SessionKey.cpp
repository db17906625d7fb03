#include "repository/SessionKey.h"

#include <openssl/evp.h>

#include "storage/RandomToken.h"
#include "storage/StorageFailure.h"

namespace talixdb::server {

std::string sessionKey(const std::string& sessionId) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(sessionId.data(), sessionId.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw StorageFailure("cannot hash a session id");
  return hexText(std::string(reinterpret_cast<const char*>(digest), length));
}

}  // namespace talixdb::server
