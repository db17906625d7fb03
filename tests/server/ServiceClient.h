// A client of the real server for the tests: one QuillonBinding aimed at a
// TestServer, with short helpers for the calls the tests make most.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QuillonBinding.h"
#include "support/Engines.h"
#include "support/TestServer.h"

namespace talixdb_test {

// Result of a call: the runtime's code and, for a fault, its text.
struct CallResult {
  int code = 0;
  std::string fault;
  bool ok() const { return code == 0; }
};

// For assertions: success, or the code and fault text of the failure.
::testing::AssertionResult Succeeds(const CallResult& result);

// One property as sent and read back.
struct TestProperty {
  std::string key;
  std::vector<std::string> items;
  int itemType = 5;
  bool itemList = false;
};

class ServiceClient {
 public:
  explicit ServiceClient(const TestServer& server);
  ServiceClient(const ServiceClient&) = delete;
  ServiceClient& operator=(const ServiceClient&) = delete;

  QuillonBinding& binding() { return m_binding; }
  // Sends the next calls to `server`, keeping the session cookie.
  void retarget(const TestServer& server);
  struct soap* soap() { return m_binding.soap; }
  // Frees what the runtime allocated for earlier replies (the endpoint
  // text is not in the context, so calls keep working).
  void clear();

  CallResult login(const std::string& user, const std::string& password);
  CallResult loginAsAdmin() { return login("root", kAdminPassword); }
  bool isLoggedIn(const std::string& user);
  bool logout();
  std::string sessionId();

  // The object, or a result with the fault when it cannot be read.
  CallResult find(const std::string& path, ns2__SoapModelObject& object);
  bool exists(const std::string& path);
  std::vector<std::string> childNames(const std::string& path);
  CallResult createFolder(const std::string& parent, const std::string& name, std::string* path = nullptr,
                          const std::vector<TestProperty>& properties = {});
  bool remove(const std::string& path);
  CallResult upload(const std::string& parent, const std::string& name, const std::string& bytes,
                    long long declaredSize = -1);
  CallResult download(const std::string& path, std::string& bytes);
  CallResult createUser(const std::string& name, const std::string& password);
  // `operation` "add", "remove" or "has" a permission; an answer of false
  // reads as code -100.
  CallResult permission(const std::string& operation, const std::string& path, const std::string& permission,
                        const std::string& member);

  CallResult result(int code);

 private:
  std::string m_endpoint;
  QuillonBinding m_binding;
};

// The servers of a suite that runs on both engines: one per engine, started
// (and readied by `prepare`) when a test first asks for it, and stopped by
// clear() when the suite ends.
class SuiteServers {
 public:
  TestServer& get(Engine engine, const std::vector<std::string>& args = {},
                  const std::function<void(TestServer&)>& prepare = {}) {
    std::unique_ptr<TestServer>& server = m_servers[engine];
    if (!server) {
      server = std::make_unique<TestServer>(args, "", engine);
      if (prepare) prepare(*server);
    }
    return *server;
  }
  void clear() { m_servers.clear(); }

 private:
  std::map<Engine, std::unique_ptr<TestServer>> m_servers;
};

// The running test's name without the engine a parameterised one adds.
inline std::string testName() {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  return name.substr(0, name.find('/'));
}

// Reads the properties of a map in order.
std::vector<TestProperty> readProperties(const ns2__SoapVariantMap* map);

}  // namespace talixdb_test
