// A client of the real server for the tests: one QuillonBinding aimed at a
// TestServer, with short helpers for the calls the tests make most.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/QuillonBinding.h"
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

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Bytes that differ with `seed` and along their length.
std::string patterned(std::size_t size, unsigned seed = 0);

class ServiceClient {
 public:
  explicit ServiceClient(const TestServer& server) { retarget(server); }
  // A client of the service at `endpoint` (a balancer in front of servers).
  explicit ServiceClient(const std::string& endpoint) : m_endpoint(endpoint) {
    m_binding.endpoint = m_endpoint.c_str();
  }
  ServiceClient(const ServiceClient&) = delete;
  ServiceClient& operator=(const ServiceClient&) = delete;

  QuillonBinding& binding() { return m_binding; }
  // Sends the next calls to `server`, keeping the session cookie.
  void retarget(const TestServer& server) {
    m_endpoint = server.endpoint();
    m_binding.endpoint = m_endpoint.c_str();
  }
  struct soap* soap() { return m_binding.soap; }
  // Frees what the runtime allocated for earlier replies (the endpoint
  // text is not in the context, so calls keep working).
  void clear();

  CallResult login(const std::string& user, const std::string& password);
  CallResult loginAsAdmin() { return login("root", kAdminPassword); }
  bool isLoggedIn(const std::string& user);
  std::string sessionId();

  // The object, or a result with the fault when it cannot be read.
  CallResult find(const std::string& path, ns2__SoapModelObject& object);
  bool exists(const std::string& path);
  std::vector<std::string> childNames(const std::string& path);
  CallResult createFolder(const std::string& parent, const std::string& name, std::string* path = nullptr);
  bool remove(const std::string& path);
  CallResult upload(const std::string& parent, const std::string& name, const std::string& bytes,
                    long long declaredSize = -1);
  CallResult download(const std::string& path, std::string& bytes);
  CallResult createUser(const std::string& name, const std::string& password);
  CallResult addPermission(const std::string& path, const std::string& permission, const std::string& member);
  // The outcome of a call made through binding() that returned `code`.
  CallResult result(int code);

 private:
  std::string m_endpoint;
  QuillonBinding m_binding;
};

}  // namespace talixdb_test
