// The server address from the environment: MODELDATABASE_HOME holds the
// endpoint URL, or names a file whose first word is that URL. An "http://"
// endpoint gives its host part; an "https://" one gives "https://HOST[:PORT]",
// which open() reaches over TLS.
#include <cstdlib>
#include <cstring>
#include <string>

#include "client/LocalFile.h"
#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

const char kScheme[] = "http://";
const char kTlsScheme[] = "https://";
const char kServicePath[] = "/vlt/services/QuillonBinding";
constexpr size_t kBufferSize = 1024;

// One buffer for the whole library: the returned text points into it.
char g_addressBuffer[kBufferSize];

// The first whitespace-delimited word of a text file; false when it is not a
// readable regular file.
bool readFirstWord(const char* fileName, std::string& word) {
  std::string text;
  if (!localfile::readRegularFile(fileName, text)) return false;
  const char* blanks = " \t\n\v\f\r";
  size_t start = text.find_first_not_of(blanks);
  word = start == std::string::npos ? std::string() : text.substr(start, text.find_first_of(blanks, start) - start);
  return true;
}

}  // namespace

const char* CVLTDatabase::getURL() try {
  const char* value = std::getenv("MODELDATABASE_HOME");
  if (value == nullptr) return nullptr;
  std::string text;
  if (std::strncmp(value, kScheme, 7) == 0 || std::strncmp(value, kTlsScheme, 8) == 0) {
    text = value;
  } else if (!readFirstWord(value, text)) {
    return nullptr;
  }
  // Too long for the buffer: refused rather than cut short.
  if (text.size() >= kBufferSize) return nullptr;
  const size_t pathLength = sizeof kServicePath - 1;
  if (text.size() < pathLength || text.compare(text.size() - pathLength, pathLength, kServicePath) != 0)
    return nullptr;
  text.resize(text.size() - pathLength);
  const bool tls = text.compare(0, 8, kTlsScheme) == 0;
  if (!tls && text.compare(0, 7, kScheme) != 0) return nullptr;
  std::memcpy(g_addressBuffer, text.c_str(), text.size() + 1);
  return tls ? g_addressBuffer : g_addressBuffer + 7;
} catch (...) { return nullptr; }

}  // namespace VLT_121
