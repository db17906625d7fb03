// Shared by the repository client tests: a connection (proxy, session and
// client on one runtime context, as the database handle builds it), and a
// fixture on the test program's one server that gives each test a handle
// logged in as root, a client connection of the administrator, a folder
// "/Repository/<test name>" and readers of what is stored.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QuillonBinding.h"
#include "api/ApiTestSupport.h"
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

// Deletes a found object the way the library does: release, then delete.
struct ObjectDeleter {
  void operator()(VLT_121::CRepositoryObject* object) const {
    if (object == nullptr) return;
    object->release();
    delete object;
  }
};
using Object = std::unique_ptr<VLT_121::CRepositoryObject, ObjectDeleter>;

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

  // The requests the server logged after `mark` (a length of the log), one
  // "operation ok" or "operation fault [PATH]" each.
  Names clientRequestsSince(size_t mark) {
    Names requests;
    for (const std::string& line : requestsSince(mark)) {
      const size_t first = line.find(' '), second = line.find(' ', first + 1);
      const std::string operation = line.substr(0, first), outcome = line.substr(second + 1);
      const size_t last = outcome.rfind(' ');
      const std::string path = last == std::string::npos ? "" : outcome.substr(last + 1);
      requests.push_back(operation +
                         (outcome == "ok" ? " ok" : " fault" + (path.rfind('/', 0) == 0 ? " " + path : "")));
    }
    return requests;
  }

  // ---- what is stored ----
  Names children(const std::string& path) {
    Object object = find(path);
    return object ? object->getChildNames() : Names{"(missing)"};
  }
  std::string typeName(const std::string& path) {
    Object object = find(path);
    return object ? object->getTypeName() : "(missing)";
  }
  // Names in the values (properties) or declarations (dynProperties) map, in stored order.
  Names propertyNames(const std::string& path, bool declared = false) {
    Object object = find(path);
    if (!object) return {"(missing)"};
    const ns2__SoapVariantMap* map = declared ? object->object()->dynProperties : object->object()->properties;
    Names names;
    for (const ns2__SoapVariantMapItem* item : map != nullptr ? map->item : std::vector<ns2__SoapVariantMapItem*>{})
      names.push_back(item->key != nullptr ? *item->key : "(no key)");
    return names;
  }
  // A value's items, "(list)" first for a list value; {"(absent)"} when missing.
  Names value(const std::string& path, const std::string& name, bool declared = false) {
    Object object = find(path);
    const ns2__SoapVariantMap* map = !object    ? nullptr
                                     : declared ? object->object()->dynProperties
                                                : object->object()->properties;
    for (const ns2__SoapVariantMapItem* item : map != nullptr ? map->item : std::vector<ns2__SoapVariantMapItem*>{}) {
      if (item->key == nullptr || *item->key != name || item->item == nullptr) continue;
      Names items = item->item->item;
      if (item->item->itemList) items.insert(items.begin(), "(list)");
      return items;
    }
    return {"(absent)"};
  }
  // A folder with properties, written as another client could; its path or "".
  std::string makeFolder(const std::string& parent, const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& values = {},
                         const std::vector<std::pair<std::string, Names>>& lists = {}) {
    VLT_121::CRepositoryObject folder(&m_admin->binding);
    folder.setName(name);
    folder.setParent(parent);
    folder.setTypeName("Folder");
    for (const auto& v : values) folder.setUserSpecifiedProperties(v.first);
    for (const auto& l : lists) folder.setUserSpecifiedProperties(l.first);
    for (const auto& v : values) folder.setProperty(v.first, v.second);
    for (const auto& l : lists) folder.setListProperty(l.first, l.second);
    std::string made = folder.create();
    folder.release();
    return made;
  }

  std::unique_ptr<Connection> m_admin;
  std::string m_folder;
};

// Reproducible bytes of every value, zero bytes included.
inline std::string testBytes(size_t size, std::uint64_t seed = 0x9e3779b97f4a7c15ULL) {
  std::string bytes(size, '\0');
  std::uint64_t state = seed;
  for (size_t i = 0; i < size;) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (int k = 0; k < 8 && i < size; ++k, ++i) bytes[i] = static_cast<char>((state >> (8 * k)) & 0xff);
  }
  return bytes;
}

// Equality of large byte strings without printing them.
inline ::testing::AssertionResult sameBytes(const std::string& expected, const char* data, size_t size) {
  if (size != expected.size())
    return ::testing::AssertionFailure() << "size " << size << ", expected " << expected.size();
  if (size > 0 && data == nullptr) return ::testing::AssertionFailure() << "no data";
  for (size_t i = 0; i < size; ++i)
    if (data[i] != expected[i]) return ::testing::AssertionFailure() << "first difference at byte " << i;
  return ::testing::AssertionSuccess();
}
inline ::testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual) {
  return sameBytes(expected, actual.data(), actual.size());
}

}  // namespace talixdb_test
