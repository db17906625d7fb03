// Shared by the public-interface tests: a recording logger, scoped environment
// variables, models built in a line or two, local files, and the fixtures on
// the one server of the test program ("/Repository/talixdb" made, one worker
// thread so that its request log follows the order of the requests). Tests on
// it keep apart by naming their category or solver after themselves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/ServerLog.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace talixdb_test {

using Names = std::vector<std::string>;
using ModelPtr = std::unique_ptr<VLT_121::CVLTModel>;
constexpr const char* kDatabaseRoot = "/Repository/talixdb";

class RecordingLogger : public TALIX::ILogger {
 public:
  int log(TALIX::LogType type, const char* message) override {
    messages.emplace_back(static_cast<int>(type), message);
    return 0;
  }
  void release() override { ++releases; }
  static constexpr const char* kPrefix = "TALIXDBAPI 1.2.1:\t";
  // Messages (of one type, or all for -1) without the library prefix.
  Names texts(int type = -1) const {
    Names out;
    for (const auto& m : messages)
      if (type < 0 || m.first == type) out.push_back(m.second.substr(std::strlen(kPrefix)));
    return out;
  }
  bool contains(const std::string& text) const {
    const Names all = texts();
    return std::find(all.begin(), all.end(), text) != all.end();
  }
  std::vector<std::pair<int, std::string>> messages;
  int releases = 0;
};

// Attached to a handle for one scope, its attach message dropped.
class AttachedLogger : public RecordingLogger {
 public:
  explicit AttachedLogger(VLT_121::CVLTDatabase& db) : m_db(db) {
    m_db.setLoggingObject(this);
    messages.clear();
  }
  ~AttachedLogger() { m_db.setLoggingObject(nullptr); }

 private:
  VLT_121::CVLTDatabase& m_db;
};

class ExposedDatabase : public VLT_121::CVLTDatabase {
 public:
  using VLT_121::CVLTDatabase::getURL;
};

// Sets (or with null unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_had = true, m_old = old;
    value != nullptr ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { m_had ? setenv(m_name.c_str(), m_old.c_str(), 1) : unsetenv(m_name.c_str()); }

 private:
  std::string m_name, m_old;
  bool m_had = false;
};


struct Param {
  std::string name, type;
  Names options = {};
  std::string lower = "", upper = "", description = "", mode = "", dimensionality = "", defaultValue = "",
              restricted = "";
};
struct Port {
  std::string name, type, direction, description;
};

class ModelBuilder {
 public:
  explicit ModelBuilder(const std::string& name) : m_model(VLT_121::CVLTModel::newObject()) {
    m_model->setName(name.c_str());
  }
  ModelBuilder& description(const std::string& text) { return m_model->setDescription(text.c_str()), *this; }
  ModelBuilder& command(const std::string& text) { return m_model->setCommand(text.c_str()), *this; }
  ModelBuilder& localDir(const std::string& path) { return m_model->setLocalDir(path.c_str()), *this; }
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
    VLT_121::CVLTPort* array = VLT_121::CVLTPort::newArray(static_cast<int>(ports.size()));
    for (size_t i = 0; i < ports.size(); ++i) {
      array[i].setName(ports[i].name.c_str()), array[i].setType(ports[i].type.c_str());
      array[i].setDirection(ports[i].direction.c_str()), array[i].setDescription(ports[i].description.c_str());
    }
    m_model->setPorts(static_cast<int>(ports.size()), array);
    return *this;
  }
  ModelBuilder& parameters(const std::vector<Param>& parameters) {
    VLT_121::CVLTParameter* array = VLT_121::CVLTParameter::newArray(static_cast<int>(parameters.size()));
    for (size_t i = 0; i < parameters.size(); ++i) {
      const Param& p = parameters[i];
      VLT_121::CVLTParameter& t = array[i];
      t.setName(p.name.c_str()), t.setType(p.type.c_str()), t.setDescription(p.description.c_str());
      t.setMode(p.mode.c_str()), t.setDimensionality(p.dimensionality.c_str());
      t.setDefaultValue(p.defaultValue.c_str()), t.setRestrictedToList(p.restricted.c_str());
      t.setLowerBound(p.lower.c_str()), t.setUpperBound(p.upper.c_str());
      t.setNrOptions(static_cast<int>(p.options.size()));
      for (size_t k = 0; k < p.options.size(); ++k) t.setOption(static_cast<int>(k), p.options[k].c_str());
    }
    m_model->setParameters(static_cast<int>(parameters.size()), array);
    return *this;
  }
  // One file list parameter ("file-system") naming `files`.
  ModelBuilder& files(const Names& files) { return parameters({{"file-system", "CAPE_OPTION", files}}); }
  ModelBuilder& surface(const std::string& name, const std::string& nodes, const std::string& cells) {
    const int index = m_model->getNrSurfaces();
    m_model->addSurface(name.c_str());
    m_model->setNodePositions(index, nodes.c_str()), m_model->setGridConnectivity(index, cells.c_str());
    return *this;
  }
  ModelBuilder& grid(const std::string& nodes, const std::string& cells) {
    m_model->setNodePositions(nodes.c_str()), m_model->setGridConnectivity(cells.c_str());
    return *this;
  }
  ModelPtr build() { return std::move(m_model); }

 private:
  ModelPtr m_model;
};

// The names of a list on an object, read with its count and its getter.
template <class Object, class Count, class Get>
Names listOf(Object& object, Count count, Get get) {
  Names names;
  for (int i = 0; i < (object.*count)(); ++i) names.push_back((object.*get)(i));
  return names;
}
inline Names componentsOf(const VLT_121::CVLTModel& m) {
  return listOf(m, &VLT_121::CVLTModel::getNrComponents, &VLT_121::CVLTModel::getComponent);
}

// A model or solver as one text: its texts, lists, every field of its ports
// and parameters, and its solvers; what a round trip must keep.
inline std::string describe(const VLT_121::CVLTModel& m) {
  using VLT_121::CVLTModel;
  std::string text = std::string(m.getName()) + " '" + m.getDescription() + "' '" + m.getCommand() + "'";
  const auto list = [&text](const char* label, const Names& names) {
    text += std::string(" ") + label + "[";
    for (size_t i = 0; i < names.size(); ++i) text += (i > 0 ? "," : "") + names[i];
    text += "]";
  };
  list("components", componentsOf(m));
  list("sorted", listOf(m, &CVLTModel::getNrSortedModelComponents, &CVLTModel::getSortedModelComponent));
  list("surfaces", listOf(m, &CVLTModel::getNrSurfaces, &CVLTModel::getSurfaceName));
  for (int i = 0; i < m.getNrPorts(); ++i) {
    const VLT_121::CVLTPort& p = m.getPorts()[i];
    list("port", {p.getName(), p.getType(), p.getDirection(), p.getDescription()});
  }
  for (int i = 0; i < m.getNrParameters(); ++i) {
    const VLT_121::CVLTParameter& p = m.getParameters()[i];
    list("parameter", {p.getName(), p.getType(), p.getDescription(), p.getMode(), p.getDimensionality(),
                       p.getDefaultValue(), p.getLowerBound(), p.getUpperBound()});
    list("options", listOf(p, &VLT_121::CVLTParameter::getNrOptions, &VLT_121::CVLTParameter::getOption));
  }
  for (int i = 0; i < m.getNrSolvers(); ++i) text += " {solver " + describe(m.getSolvers()[i]) + "}";
  return text;
}
inline std::string describe(const ModelPtr& m) { return m ? describe(*m) : "(none)"; }

// Internal linkage: the client tests have helpers of the same names.
namespace {

inline void writeLocalFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readLocalFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below `root`, relative with "/", sorted.
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
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

}  // namespace

// A surface report: the magic, a zero byte, 25 header bytes the library does
// not read, then the text body.
inline std::string surfaceReport(const std::string& body) {
  return std::string("TALIX_Report_2\0", 15) + std::string(25, '#') + body;
}


class SharedServer : public ::testing::Test {
 protected:
  static TestServer& server() {
    static std::unique_ptr<TestServer> s_server;
    if (!s_server) {
      s_server = std::make_unique<TestServer>(std::vector<std::string>{"--threads", "1"});
      VLT_121::CVLTDatabase db;
      EXPECT_TRUE(db.open(s_server->address().c_str()));
      EXPECT_EQ(0, db.createTalixDb());
      db.logout();
    }
    return *s_server;
  }
  static std::string address() { return server().address(); }
  // The running test's name: its own category or solver.
  static std::string testName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }
  static std::string modelPath(const std::string& category, const std::string& type, const std::string& model) {
    return std::string(kDatabaseRoot) + "/" + category + "/" + type + "/" + model;
  }
  static int requestCount(const std::string& operation) { return loggedRequestCount(server(), operation); }
};

// A handle logged in as root on the shared server for each test (the next
// root login elsewhere is refused while it lasts).
class RootSession : public SharedServer {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_db.open(address().c_str()));
    ASSERT_TRUE(m_db.login("root", kAdminPassword, "Default", 0));
  }
  void TearDown() override { m_db.logout(); }

  // The request log lines ("<operation> <user> <outcome>") since `from` (a
  // length of the log): a marker request (the lookup of a missing category)
  // is sent and waited for, and one worker serves in order.
  Names requestsSince(size_t from) {
    const std::string marker = "log-marker-" + std::to_string(++m_markers);
    m_db.checkCategory(marker.c_str());
    const std::string text = "no such object: " + std::string(kDatabaseRoot) + "/" + marker;
    std::string log;
    for (int i = 0; i < 500 && (log = server().log()).find(text, from) == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Names lines;
    for (const LoggedRequest& request : loggedRequests(log.substr(std::min(from, log.size())))) {
      if (request.outcome.find(text) != std::string::npos) break;
      lines.push_back(request.summary());
    }
    return lines;
  }
  static size_t logSize() { return server().log().size(); }

  VLT_121::CVLTDatabase m_db;
  int m_markers = 0;
};

}  // namespace talixdb_test
