// Shared by the surface and PCA mode tests: a server holding the model
// Flow/Ducts/Duct, a handle logged in as root, and short helpers that store
// and read the reports of a solver named after the running test (uploadSurface
// makes that solver's folders on the way).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace talixdb_test {

inline const std::string kReportModelPath = "/Repository/talixdb/Flow/Ducts/Duct";

// A surface report: the magic, a zero byte, 25 header bytes the library does
// not read, then the text body.
inline std::string surfaceReport(const std::string& body) {
  std::string bytes = "TALIX_Report_2";
  bytes.push_back('\0');
  bytes.append(25, '#');
  return bytes + body;
}

class SurfaceReportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new TestServer();
    VLT_121::CVLTDatabase admin;
    ASSERT_TRUE(admin.open(s_server->address().c_str()));
    ASSERT_EQ(admin.createTalixDb(), 0);
    VLT_121::CVLTModel* model = VLT_121::CVLTModel::newObject();
    model->setName("Duct");
    EXPECT_EQ(admin.uploadModel("Flow", "Ducts", model), 0);
    VLT_121::CVLTModel::deleteObject(model);
    // A user logged in elsewhere is refused a login: end this session.
    admin.logout();
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(m_db.open(s_server->address().c_str()));
    ASSERT_TRUE(m_db.login("root", kAdminPassword, "Default", 0));
    m_solver = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override { m_db.logout(); }

  const char* solver() const { return m_solver.c_str(); }
  const char* model() const { return kReportModelPath.c_str(); }

  int store(const char* surface, int report, const std::string& bytes) {
    return m_db.uploadSurface(model(), solver(), surface, report, bytes.data(), static_cast<long>(bytes.size()));
  }
  int storeValues(const char* surface, int report, const std::string& body) {
    return store(surface, report, surfaceReport(body));
  }

  // The modes file of a surface of this test's solver ("" when there is none).
  std::string modes(const char* surface) {
    char* data = nullptr;
    long size = -1;
    EXPECT_EQ(m_db.downloadPcaModes(model(), solver(), surface, data, size), 0);
    if (data == nullptr) {
      EXPECT_EQ(size, 0);
      return std::string();
    }
    std::string text(data, static_cast<size_t>(size));
    EXPECT_TRUE(m_db.releaseMemory(data));
    return text;
  }

  // Amplitudes of a stored report; `count` receives the result.
  std::vector<double> amplitudes(const char* surface, int report, int& count) {
    double* values = nullptr;
    count = m_db.getModalAmplitudes(model(), solver(), surface, report, values);
    std::vector<double> out;
    if (values != nullptr) {
      out.assign(values, values + count);
      EXPECT_TRUE(m_db.releaseMemory(values));
    }
    return out;
  }

  inline static TestServer* s_server = nullptr;
  VLT_121::CVLTDatabase m_db;
  std::string m_solver;
};

}  // namespace talixdb_test
