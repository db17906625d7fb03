// OpenSSL's text for one of its error codes, for messages to people.
#pragma once

#include <openssl/err.h>

#include <cstring>
#include <string>

namespace talixdb {

// The reason alone ("certificate verify failed", "No such file or
// directory"), or OpenSSL's full error line when it has no text for it.
inline std::string openSslErrorText(unsigned long error) {
  if (ERR_SYSTEM_ERROR(error)) return std::strerror(static_cast<int>(ERR_GET_REASON(error)));
  if (const char* reason = ERR_reason_error_string(error)) return reason;
  char line[256];
  ERR_error_string_n(error, line, sizeof line);
  return line;
}

}  // namespace talixdb
