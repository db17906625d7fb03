// Shared by the repository client tests: a connection (proxy, session and
// client on one runtime context, as the database handle builds it), and a
// fixture on the test program's one server that gives each test a handle
// logged in as root, a client connection of the administrator, a folder
// "/Repository/<test name>" and readers of what is stored.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "api/ApiTestSupport.h"
#include "client/QuillonBinding.h"
#include "client/RepositoryClient.h"
#include "client/RepositoryObject.h"
#include "client/RepositorySession.h"

namespace talixdb_test {

struct Connection {
  explicit Connection(const TestServer& server) : endpoint(server.endpoint()), session(&binding), client(&binding) {
    binding.endpoint = endpoint.c_str();
  }
  bool login(const std::string& user, const std::string& password) {
    return session.login(user.c_str(), password.c_str(), "Default", 0, 0, user == "root");
  }
  std::string endpoint;  // the binding keeps a pointer into it
  QuillonBinding binding;
  VLT_121::CRepositorySession session;
  VLT_121::CRepositoryClient client;
};

using Object = std::unique_ptr<VLT_121::CRepositoryObject>;  // its destructor releases what it holds
using Values = std::vector<std::pair<std::string, Names>>;  // names and their items

class ClientTest : public RootSession {
 protected:
  void SetUp() override {
    RootSession::SetUp();
    m_admin = std::make_unique<Connection>(server());
    ASSERT_TRUE(m_admin->login("root", kAdminPassword));
    m_folder = client().createFolder("/Repository", testName());
    ASSERT_EQ("/Repository/" + testName(), m_folder);
  }
  void TearDown() override {
    m_admin->session.logout();
    RootSession::TearDown();
  }
  VLT_121::CRepositoryClient& client() { return m_admin->client; }
  VLT_121::CRepositorySession& session() { return m_admin->session; }
  Object find(const std::string& path) { return Object(client().findByPath(path)); }
  bool exists(const std::string& path) { return find(path) != nullptr; }

  // ---- what is stored ----
  Names children(const std::string& path) {
    Object object = find(path);
    return object ? object->getChildNames() : Names{"(missing)"};
  }
  // The values (properties) or declarations (dynProperties), in stored order.
  Values stored(const std::string& path, bool declared = false) {
    Object object = find(path);
    if (!object) return {{"(missing)", {}}};
    const ns2__SoapVariantMap* map = declared ? object->object()->dynProperties : object->object()->properties;
    Values values;
    for (const ns2__SoapVariantMapItem* item : map != nullptr ? map->item : std::vector<ns2__SoapVariantMapItem*>{})
      values.emplace_back(item->key != nullptr ? *item->key : "(no key)", item->item->item);
    return values;
  }
  // A folder with declared values, written as another client could (names
  // starting with "m_asz" as lists); its path or "".
  std::string makeFolder(const std::string& parent, const std::string& name, const Values& values = {}) {
    VLT_121::CRepositoryObject folder(&m_admin->binding);
    folder.setName(name);
    folder.setParent(parent);
    folder.setTypeName("Folder");
    for (const auto& value : values) folder.setUserSpecifiedProperties(value.first);
    for (const auto& [key, items] : values)
      key.rfind("m_asz", 0) == 0 ? folder.setListProperty(key, items) : folder.setProperty(key, items.at(0));
    return folder.create();
  }

  std::unique_ptr<Connection> m_admin;
  std::string m_folder;
};

// Reproducible bytes of every value, zero bytes included.
inline std::string testBytes(size_t size, std::uint64_t seed = 1) {
  std::string bytes(size, '\0');
  std::mt19937_64 random(seed);
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

}  // namespace talixdb_test
