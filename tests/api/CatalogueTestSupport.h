// Shared pieces of the catalogue tests: building in-memory models and solvers
// in a line or two, reading and writing local files, and a fixture that starts
// one server per suite with the database root made.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/ApiTestSupport.h"
#include "support/ServerLog.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace talixdb_test {

using Names = std::vector<std::string>;
using ModelPtr = std::unique_ptr<VLT_121::CVLTModel>;

constexpr const char* kDatabaseRoot = "/Repository/talixdb";

// One parameter as a test describes it.
struct Param {
  Param(std::string n, std::string t) : name(std::move(n)), type(std::move(t)) {}
  Param& withOptions(Names o) {
    options = std::move(o);
    return *this;
  }
  Param& withBounds(std::string lo, std::string hi) {
    lower = std::move(lo);
    upper = std::move(hi);
    return *this;
  }
  Param& withText(std::string d, std::string m, std::string dim, std::string def) {
    description = std::move(d);
    mode = std::move(m);
    dimensionality = std::move(dim);
    defaultValue = std::move(def);
    return *this;
  }
  Param& restrictedTo(std::string r) {
    restricted = std::move(r);
    return *this;
  }
  std::string name, type, description, mode, dimensionality, defaultValue, lower, upper, restricted;
  Names options;
};

struct Port {
  std::string name, type, direction, description;
};

// Builds a CVLTModel (a model or a solver) field by field.
class ModelBuilder {
 public:
  explicit ModelBuilder(const std::string& name) : m_model(VLT_121::CVLTModel::newObject()) {
    m_model->setName(name.c_str());
  }
  ModelBuilder& description(const std::string& text) {
    m_model->setDescription(text.c_str());
    return *this;
  }
  ModelBuilder& command(const std::string& text) {
    m_model->setCommand(text.c_str());
    return *this;
  }
  ModelBuilder& localDir(const std::string& path) {
    m_model->setLocalDir(path.c_str());
    return *this;
  }
  ModelBuilder& components(const Names& names) {
    m_model->setNrComponents(static_cast<int>(names.size()));
    for (size_t i = 0; i < names.size(); ++i) m_model->setComponent(static_cast<int>(i), names[i].c_str());
    return *this;
  }
  ModelBuilder& sortedComponents(const Names& names) {
    m_model->setNrSortedModelComponents(static_cast<int>(names.size()));
    for (size_t i = 0; i < names.size(); ++i) m_model->setSortedModelComponent(static_cast<int>(i), names[i].c_str());
    return *this;
  }
  ModelBuilder& ports(const std::vector<Port>& ports) {
    setPorts(*m_model, ports);
    return *this;
  }
  ModelBuilder& parameters(const std::vector<Param>& parameters) {
    setParameters(*m_model, parameters);
    return *this;
  }
  // A surface with its own grid texts.
  ModelBuilder& surface(const std::string& name, const std::string& nodes, const std::string& connectivity) {
    int index = m_model->getNrSurfaces();
    m_model->addSurface(name.c_str());
    m_model->setNodePositions(index, nodes.c_str());
    m_model->setGridConnectivity(index, connectivity.c_str());
    return *this;
  }
  ModelBuilder& grid(const std::string& nodes, const std::string& connectivity) {
    m_model->setNodePositions(nodes.c_str());
    m_model->setGridConnectivity(connectivity.c_str());
    return *this;
  }
  ModelPtr build() { return std::move(m_model); }

  static void setPorts(VLT_121::CVLTModel& model, const std::vector<Port>& ports) {
    VLT_121::CVLTPort* array = VLT_121::CVLTPort::newArray(static_cast<int>(ports.size()));
    for (size_t i = 0; i < ports.size(); ++i) {
      array[i].setName(ports[i].name.c_str());
      array[i].setType(ports[i].type.c_str());
      array[i].setDirection(ports[i].direction.c_str());
      array[i].setDescription(ports[i].description.c_str());
    }
    model.setPorts(static_cast<int>(ports.size()), array);
  }
  static void setParameters(VLT_121::CVLTModel& model, const std::vector<Param>& parameters) {
    VLT_121::CVLTParameter* array = VLT_121::CVLTParameter::newArray(static_cast<int>(parameters.size()));
    for (size_t i = 0; i < parameters.size(); ++i) fill(array[i], parameters[i]);
    model.setParameters(static_cast<int>(parameters.size()), array);
  }
  static void fill(VLT_121::CVLTParameter& target, const Param& p) {
    target.setName(p.name.c_str());
    target.setType(p.type.c_str());
    target.setDescription(p.description.c_str());
    target.setMode(p.mode.c_str());
    target.setDimensionality(p.dimensionality.c_str());
    target.setDefaultValue(p.defaultValue.c_str());
    target.setLowerBound(p.lower.c_str());
    target.setUpperBound(p.upper.c_str());
    target.setRestrictedToList(p.restricted.c_str());
    target.setNrOptions(static_cast<int>(p.options.size()));
    for (size_t k = 0; k < p.options.size(); ++k) target.setOption(static_cast<int>(k), p.options[k].c_str());
  }

 private:
  ModelPtr m_model;
};

inline Names componentsOf(const VLT_121::CVLTModel& model) {
  Names names;
  for (int i = 0; i < model.getNrComponents(); ++i) names.push_back(model.getComponent(i));
  return names;
}

inline Names sortedComponentsOf(const VLT_121::CVLTModel& model) {
  Names names;
  for (int i = 0; i < model.getNrSortedModelComponents(); ++i) names.push_back(model.getSortedModelComponent(i));
  return names;
}

inline Names surfacesOf(const VLT_121::CVLTModel& model) {
  Names names;
  for (int i = 0; i < model.getNrSurfaces(); ++i) names.push_back(model.getSurfaceName(i));
  return names;
}

inline Names optionsOf(const VLT_121::CVLTParameter& parameter) {
  Names names;
  for (int k = 0; k < parameter.getNrOptions(); ++k) names.push_back(parameter.getOption(k));
  return names;
}

inline Names portNamesOf(const VLT_121::CVLTModel& model) {
  Names names;
  for (int i = 0; i < model.getNrPorts(); ++i) names.push_back(model.getPorts()[i].getName());
  return names;
}

inline Names parameterNamesOf(const VLT_121::CVLTModel& model) {
  Names names;
  for (int i = 0; i < model.getNrParameters(); ++i) names.push_back(model.getParameters()[i].getName());
  return names;
}

// Every field a stored parameter keeps, compared with what was given.
inline void expectParameter(const VLT_121::CVLTParameter& actual, const Param& expected) {
  SCOPED_TRACE("parameter " + expected.name);
  EXPECT_STREQ(expected.name.c_str(), actual.getName());
  EXPECT_STREQ(expected.type.c_str(), actual.getType());
  EXPECT_STREQ(expected.description.c_str(), actual.getDescription());
  EXPECT_STREQ(expected.mode.c_str(), actual.getMode());
  EXPECT_STREQ(expected.dimensionality.c_str(), actual.getDimensionality());
  EXPECT_STREQ(expected.defaultValue.c_str(), actual.getDefaultValue());
  EXPECT_STREQ(expected.lower.c_str(), actual.getLowerBound());
  EXPECT_STREQ(expected.upper.c_str(), actual.getUpperBound());
  EXPECT_EQ(expected.options, optionsOf(actual));
}

inline void expectPort(const VLT_121::CVLTPort& actual, const Port& expected) {
  SCOPED_TRACE("port " + expected.name);
  EXPECT_STREQ(expected.name.c_str(), actual.getName());
  EXPECT_STREQ(expected.type.c_str(), actual.getType());
  EXPECT_STREQ(expected.direction.c_str(), actual.getDirection());
  EXPECT_STREQ(expected.description.c_str(), actual.getDescription());
}

// Attaches itself to a handle for one scope, its attach message dropped, and
// detaches on every way out, so that no handle keeps a dead logger.
class AttachedLogger : public RecordingLogger {
 public:
  explicit AttachedLogger(VLT_121::CVLTDatabase& db) : m_db(db) {
    m_db.setLoggingObject(this);
    messages.clear();
  }
  ~AttachedLogger() { m_db.setLoggingObject(nullptr); }
  AttachedLogger(const AttachedLogger&) = delete;
  AttachedLogger& operator=(const AttachedLogger&) = delete;

 private:
  VLT_121::CVLTDatabase& m_db;
};

// ---- local files ---------------------------------------------------------------
// Internal linkage: the client tests have file helpers of the same names with
// other behaviour, and the two must not meet at link time.
namespace {

inline void writeLocalFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readLocalFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool localExists(const std::string& path) { return std::filesystem::exists(path); }

// Every regular file below `root`, as paths relative to it with "/", sorted.
inline Names localTree(const std::string& root) {
  Names files;
  std::error_code ignored;
  if (!std::filesystem::exists(root, ignored)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), root).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

// Bytes that a text-mode copy would damage: a zero byte, CR LF and high bytes.
inline std::string awkwardBytes(const std::string& tag) {
  std::string bytes = tag + std::string("\0\r\n\x01\xff\xfe end\n", 11);
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i % 256));
  return bytes;
}

}  // namespace

// ---- the server ------------------------------------------------------------------

// One server per suite (one worker thread, so that its request log follows
// the order of the requests) with "/Repository/talixdb" made; every test gets
// a handle logged in as root. Tests keep apart by naming their category after
// the test.
class CatalogueServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new TestServer({"--threads", "1"});
    ScopedEnv password("VLT_ADMIN_PASSWORD", kAdminPassword);
    VLT_121::CVLTDatabase db;
    ASSERT_TRUE(db.open(s_server->address().c_str()));
    ASSERT_EQ(0, db.createTalixDb());
    db.logout();
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(m_db.open(s_server->address().c_str()));
    ASSERT_TRUE(m_db.login("root", kAdminPassword, "Default", 0));
  }
  void TearDown() override { m_db.logout(); }

  // The current test's name, a category of its own.
  static std::string testCategory() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }
  static std::string modelPath(const std::string& category, const std::string& type, const std::string& model) {
    return std::string(kDatabaseRoot) + "/" + category + "/" + type + "/" + model;
  }
  // The server's request log lines ("<operation> <user> <outcome>") written
  // since `from` (a length of log()), up to the last request made so far. The
  // server logs a request just after replying, so a marker request (a lookup
  // of a missing category, named in its fault) is sent and waited for; one
  // worker thread serves the requests in order, so every earlier line is in.
  Names requestsSince(size_t from) {
    const std::string marker = "log-marker-" + std::to_string(++m_markers);
    m_db.checkCategory(marker.c_str());
    const std::string markerText = "no such object: " + std::string(kDatabaseRoot) + "/" + marker;
    std::string log;
    for (int i = 0; i < 500; ++i) {
      log = s_server->log();
      if (log.find(markerText, from) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Names lines;
    for (const LoggedRequest& request : loggedRequests(log.substr(std::min(from, log.size())))) {
      if (request.outcome.find(markerText) != std::string::npos) break;
      lines.push_back(request.summary());
    }
    return lines;
  }
  static size_t logSize() { return s_server->log().size(); }

  static TestServer* s_server;
  VLT_121::CVLTDatabase m_db;
  int m_markers = 0;
};

inline TestServer* CatalogueServerTest::s_server = nullptr;

}  // namespace talixdb_test
