// Shared pieces of the repository client tests: a connection (proxy, session
// and client on one runtime context) aimed at the real server, a fixture that
// starts one server per suite and gives each test its own folder, and byte
// helpers for file contents.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "QuillonBinding.h"
#include "client/RepositoryClient.h"
#include "client/RepositoryObject.h"
#include "client/RepositorySession.h"
#include "support/ServerLog.h"
#include "support/TestServer.h"

namespace talixdb_test {

// One client of the server, as the database handle builds it.
struct Connection {
  explicit Connection(const TestServer& server)
      : endpoint(server.endpoint()), session(&binding), client(&binding) {
    binding.endpoint = endpoint.c_str();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool login(const std::string& user, const std::string& password) {
    return session.login(user.c_str(), password.c_str(), "Default", 0, 0, user == "root");
  }

  std::string endpoint;  // the binding keeps a pointer into it
  QuillonBinding binding;
  VLT_121::CRepositorySession session;
  VLT_121::CRepositoryClient client;
};

// Deletes a found handle the way the library does: release, then delete.
struct HandleDeleter {
  void operator()(VLT_121::CRepositoryObject* object) const {
    if (object == nullptr) return;
    object->release();
    delete object;
  }
};
using Handle = std::unique_ptr<VLT_121::CRepositoryObject, HandleDeleter>;

class RepositoryFixture : public ::testing::Test {
 protected:
  // One worker thread: requests are served, and logged, strictly in order.
  static void SetUpTestSuite() { s_server = new TestServer({"--threads", "1"}); }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }

  void SetUp() override {
    m_admin = std::make_unique<Connection>(*s_server);
    ASSERT_TRUE(m_admin->login("root", kAdminPassword));
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    m_folder = m_admin->client.createFolder("/Repository", name);
    ASSERT_EQ("/Repository/" + name, m_folder);
  }

  VLT_121::CRepositoryClient& client() { return m_admin->client; }
  VLT_121::CRepositorySession& session() { return m_admin->session; }

  Handle find(const std::string& path) { return Handle(client().findByPath(path)); }
  bool exists(const std::string& path) { return find(path) != nullptr; }

  // Marks the place in the request log where the next requests begin, with a
  // lookup of a path of its own; the answer is the mark for requestsSince.
  std::string logMark() {
    std::string mark = "/talixdb-test-mark-" + std::to_string(++s_marks);
    Handle ignored(client().findByPath(mark));
    return mark;
  }

  // The requests the server logged after `mark`, one "operation outcome" text
  // each; a refusal reads "operation fault PATH" when its text ends with a
  // path. A closing lookup makes sure that the line of the last request
  // before it has been written (the one worker serves and logs in order).
  std::vector<std::string> requestsSince(const std::string& mark) {
    std::string end = logMark();
    std::vector<std::string> requests;
    bool started = false;
    for (const LoggedRequest& request : loggedRequests(s_server->log())) {
      const std::string& operation = request.operation;
      const std::string& outcome = request.outcome;
      size_t space = outcome.rfind(' ');
      std::string last = space == std::string::npos ? outcome : outcome.substr(space + 1);
      if (!started) {
        started = last == mark;
        continue;
      }
      if (last == end) break;
      if (outcome == "ok")
        requests.push_back(operation + " ok");
      else
        requests.push_back(operation + " fault" + (last.compare(0, 1, "/") == 0 ? " " + last : ""));
    }
    return requests;
  }

  static inline TestServer* s_server = nullptr;
  std::unique_ptr<Connection> m_admin;
  std::string m_folder;  // "/Repository/<test name>", made for each test
  static inline int s_marks = 0;  // marks are unique within the server's log
};

// Reproducible bytes of every value, zero bytes included.
inline std::string testBytes(size_t size, std::uint64_t seed = 0x9e3779b97f4a7c15ULL) {
  std::string bytes(size, '\0');
  std::uint64_t state = seed;
  size_t i = 0;
  while (i < size) {
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
  if (size == 0) return ::testing::AssertionSuccess();
  if (data == nullptr) return ::testing::AssertionFailure() << "no data";
  for (size_t i = 0; i < size; ++i)
    if (data[i] != expected[i]) return ::testing::AssertionFailure() << "first difference at byte " << i;
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual) {
  return sameBytes(expected, actual.data(), actual.size());
}

inline std::string readLocalFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeLocalFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace talixdb_test
