#include "http/HttpCookies.h"

namespace talixdb::server {

namespace {

std::string trimmed(const std::string& text);

}  // namespace

std::string cookieValue(const std::string& header, const std::string& name) {
  std::string::size_type start = 0;
  while (start <= header.size()) {
    std::string::size_type end = header.find_first_of(";,", start);
    if (end == std::string::npos) end = header.size();
    std::string pair = header.substr(start, end - start);
    std::string::size_type equals = pair.find('=');
    if (equals != std::string::npos && trimmed(pair.substr(0, equals)) == name) {
      std::string value = trimmed(pair.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      return value;
    }
    start = end + 1;
  }
  return std::string();
}

std::string sessionCookie(const std::string& name, const std::string& id, bool secure) {
  return name + "=" + id + "; Path=/; HttpOnly" + (secure ? "; Secure" : "");
}

namespace {

std::string trimmed(const std::string& text) {
  const char* blanks = " \t";
  std::string::size_type first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  std::string::size_type last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

}  // namespace

}  // namespace talixdb::server
