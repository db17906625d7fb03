// The server address from the environment: MODELDATABASE_HOME holds the
// endpoint URL, or names a file whose first word is that URL.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {

const char kScheme[] = "http://";
const char kServicePath[] = "/vlt/services/QuillonBinding";
constexpr size_t kBufferSize = 1024;

// One buffer for the whole library: the returned text points into it.
char g_addressBuffer[kBufferSize];

// The first whitespace-delimited word of a text file; false when unreadable.
bool readFirstWord(const char* fileName, std::string& word) {
  std::FILE* in = std::fopen(fileName, "rt");
  if (in == nullptr) return false;
  word.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF && std::isspace(c)) {
  }
  while (c != EOF && !std::isspace(c)) {
    word.push_back(static_cast<char>(c));
    c = std::fgetc(in);
  }
  std::fclose(in);
  return true;
}

}  // namespace

const char* CVLTDatabase::getURL() try {
  const char* value = std::getenv("MODELDATABASE_HOME");
  if (value == nullptr) return nullptr;
  std::string text;
  if (std::strncmp(value, kScheme, 7) == 0) {
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
  if (text.compare(0, 7, kScheme) != 0) return nullptr;
  std::memcpy(g_addressBuffer, text.c_str(), text.size() + 1);
  return g_addressBuffer + 7;
} catch (...) { return nullptr; }

}  // namespace VLT_121
