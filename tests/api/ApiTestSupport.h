// Shared pieces of the public-interface tests: a recording logger and a
// handle subclass that reaches the protected address lookup.
#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "talixdbapi/VLTDatabase.h"

namespace talixdb_test {

class RecordingLogger : public TALIX::ILogger {
 public:
  int log(TALIX::LogType type, const char* message) override {
    messages.emplace_back(static_cast<int>(type), message);
    return 0;
  }
  void release() override { ++releases; }

  // Messages without the library prefix, for readable expectations.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.second.substr(prefix().size()));
    return out;
  }
  bool contains(const std::string& text) const {
    for (const auto& t : texts())
      if (t == text) return true;
    return false;
  }
  static const std::string& prefix() {
    static const std::string p = "TALIXDBAPI 1.2.1:\t";
    return p;
  }

  std::vector<std::pair<int, std::string>> messages;
  int releases = 0;
};

class ExposedDatabase : public VLT_121::CVLTDatabase {
 public:
  using VLT_121::CVLTDatabase::getURL;
};

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (m_had) m_old = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_had)
      setenv(m_name.c_str(), m_old.c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name, m_old;
  bool m_had = false;
};

}  // namespace talixdb_test
