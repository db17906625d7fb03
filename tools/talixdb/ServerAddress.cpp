#include "ServerAddress.h"

namespace talixdb_cli {

namespace {

struct Scheme {
  const char* prefix;
  // Whether CVLTDatabase::open takes the address with its scheme; it takes a
  // plain HOST:PORT for http.
  bool kept;
};

// The schemes the library speaks. Another transport of the library is one
// more line here.
const Scheme kSchemes[] = {
    {"http://", false},
    {"https://", true},
};

const char kServicePath[] = "/vlt/services/QuillonBinding";

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "HOST:PORT" with a port of digits (HOST may be "[v6]").
bool hasPort(const std::string& authority) {
  std::string::size_type colon = authority.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == authority.size()) return false;
  return authority.find_first_not_of("0123456789", colon + 1) == std::string::npos;
}

}  // namespace

std::string serverAddress(const std::string& text, bool portRequired) {
  std::string authority = text;
  const Scheme* scheme = nullptr;
  for (const Scheme& candidate : kSchemes)
    if (startsWith(authority, candidate.prefix)) scheme = &candidate;
  if (scheme != nullptr) authority.erase(0, std::string(scheme->prefix).size());
  while (!authority.empty() && authority.back() == '/') authority.pop_back();
  if (endsWith(authority, kServicePath)) authority.erase(authority.size() - (sizeof kServicePath - 1));
  if (authority.empty() || authority.find_first_of("/ \t\r\n") != std::string::npos) return "";
  if (scheme == nullptr && portRequired && !hasPort(authority)) return "";
  return scheme != nullptr && scheme->kept ? scheme->prefix + authority : authority;
}

}  // namespace talixdb_cli
