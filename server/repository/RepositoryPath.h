// Repository paths: "/" alone is the root, every other path is "/" followed by
// names joined with "/". Lookups are lenient about doubled, leading and
// trailing separators; paths the server hands out are always canonical.
#pragma once

#include <string>
#include <vector>

namespace talixdb::server {

// The non-empty segments of `path`; "" and "/" give none (the root).
std::vector<std::string> splitPath(const std::string& path);

// The canonical path of the child `name` of the object at `parentPath`.
std::string childPath(const std::string& parentPath, const std::string& name);

// The canonical form of `path` ("/" for the root).
std::string canonicalPath(const std::string& path);

}  // namespace talixdb::server
