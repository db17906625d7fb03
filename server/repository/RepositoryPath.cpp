#include "repository/RepositoryPath.h"

namespace talixdb::server {

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> segments;
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) segments.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return segments;
}

std::string childPath(const std::string& parentPath, const std::string& name) {
  std::string parent = canonicalPath(parentPath);
  if (parent == "/") return "/" + name;
  return parent + "/" + name;
}

std::string canonicalPath(const std::string& path) {
  std::string result;
  for (const std::string& segment : splitPath(path)) result += "/" + segment;
  return result.empty() ? "/" : result;
}

}  // namespace talixdb::server
