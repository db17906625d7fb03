// Looking at what the catalogue operations stored, through a repository
// client of its own logged in as root, beside the handle under test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QuillonBinding.h"
#include "api/CatalogueTestSupport.h"
#include "client/RepositoryClient.h"
#include "client/RepositoryObject.h"
#include "client/RepositorySession.h"

namespace talixdb_test {

// One property as stored: its items and whether it is a list.
struct StoredValue {
  bool present = false;
  bool list = false;
  Names items;
};

class RepositoryInspector {
 public:
  explicit RepositoryInspector(const std::string& endpoint)
      : m_endpoint(endpoint), m_session(&m_binding), m_client(&m_binding) {
    m_binding.endpoint = m_endpoint.c_str();
  }
  ~RepositoryInspector() { m_session.logout(); }
  RepositoryInspector(const RepositoryInspector&) = delete;
  RepositoryInspector& operator=(const RepositoryInspector&) = delete;

  bool login() { return m_session.login("root", kAdminPassword, "Default", 0, 0, true); }

  std::unique_ptr<VLT_121::CRepositoryObject> find(const std::string& path) {
    return std::unique_ptr<VLT_121::CRepositoryObject>(m_client.findByPath(path));
  }
  bool exists(const std::string& path) { return find(path) != nullptr; }
  // Child names in the server's order; empty when there is no such object.
  Names children(const std::string& path) {
    auto object = find(path);
    return object ? object->getChildNames() : Names{};
  }
  std::string typeName(const std::string& path) {
    auto object = find(path);
    return object ? object->getTypeName() : std::string("(missing)");
  }
  // Names in the properties (values) map, in stored order.
  Names valueNames(const std::string& path) {
    auto object = find(path);
    return object ? keys(object->object()->properties) : Names{"(missing)"};
  }
  // Names in the dynProperties (declarations) map, in stored order.
  Names declaredNames(const std::string& path) {
    auto object = find(path);
    return object ? keys(object->object()->dynProperties) : Names{"(missing)"};
  }
  // The declaration values, one per declared name.
  Names declarationValues(const std::string& path) {
    Names values;
    auto object = find(path);
    if (!object || object->object()->dynProperties == nullptr) return values;
    for (const ns2__SoapVariantMapItem* item : object->object()->dynProperties->item)
      values.push_back(item != nullptr && item->item != nullptr && !item->item->item.empty() ? item->item->item.front()
                                                                                             : std::string("(none)"));
    return values;
  }
  StoredValue value(const std::string& path, const std::string& name) {
    StoredValue stored;
    auto object = find(path);
    if (!object || object->object()->properties == nullptr) return stored;
    for (const ns2__SoapVariantMapItem* item : object->object()->properties->item) {
      if (item == nullptr || item->key == nullptr || *item->key != name || item->item == nullptr) continue;
      stored.present = true;
      stored.list = item->item->itemList;
      stored.items = item->item->item;
    }
    return stored;
  }
  // A single (non-list) value's text, or "(absent)".
  std::string text(const std::string& path, const std::string& name) {
    StoredValue stored = value(path, name);
    if (!stored.present) return "(absent)";
    if (stored.list || stored.items.size() != 1) return "(not a single value)";
    return stored.items.front();
  }
  // A list value's items; {"(absent)"} when missing, {"(single)"} when not a list.
  Names list(const std::string& path, const std::string& name) {
    StoredValue stored = value(path, name);
    if (!stored.present) return {"(absent)"};
    if (!stored.list) return {"(single)"};
    return stored.items;
  }
  // A folder with properties, written as a catalogue writer would; its path or "".
  std::string makeFolder(const std::string& parent, const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& values = {},
                         const std::vector<std::pair<std::string, Names>>& lists = {}) {
    VLT_121::CRepositoryObject folder(&m_binding);
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
  VLT_121::CRepositoryClient& client() { return m_client; }

 private:
  static Names keys(const ns2__SoapVariantMap* map) {
    Names names;
    if (map == nullptr) return names;
    for (const ns2__SoapVariantMapItem* item : map->item)
      if (item != nullptr && item->key != nullptr) names.push_back(*item->key);
    return names;
  }

  std::string m_endpoint;
  QuillonBinding m_binding;
  VLT_121::CRepositorySession m_session;
  VLT_121::CRepositoryClient m_client;
};

// The catalogue server fixture with an inspector logged in beside the handle.
class StorageTest : public CatalogueServerTest {
 protected:
  void SetUp() override {
    CatalogueServerTest::SetUp();
    m_repo = std::make_unique<RepositoryInspector>(s_server->endpoint());
    ASSERT_TRUE(m_repo->login());
  }
  void TearDown() override {
    m_repo.reset();
    CatalogueServerTest::TearDown();
  }
  std::unique_ptr<RepositoryInspector> m_repo;
};

}  // namespace talixdb_test
