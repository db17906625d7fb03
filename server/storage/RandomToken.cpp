#include "storage/RandomToken.h"

#include <sys/random.h>

#include <cerrno>

#include "storage/StorageFailure.h"

namespace talixdb::server {

std::string randomToken() { return hexText(randomBytes(16)); }

std::string hexText(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 0x0f]);
  }
  return text;
}

std::string randomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t filled = 0;
  while (filled < count) {
    ssize_t got = getrandom(&bytes[filled], count - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw StorageFailure("random source unavailable");
    filled += static_cast<std::size_t>(got);
  }
  return bytes;
}

}  // namespace talixdb::server
