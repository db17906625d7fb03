// Shared by the administration tests: messages of one kind from the recording
// logger, and a handle logged in as the administrator for one scope.
#pragma once

#include <string>
#include <vector>

#include "api/ApiTestSupport.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace talixdb_test {

// Messages of one LogType, without the library prefix (session notes such as
// "Logging into VLT." are of another type and stay out).
inline std::vector<std::string> textsOfType(const RecordingLogger& logger, int type) {
  std::vector<std::string> out;
  for (const auto& m : logger.messages)
    if (m.first == type) out.push_back(m.second.substr(RecordingLogger::prefix().size()));
  return out;
}

// A handle opened on `server`, logged in as root, with a recording logger.
class AdminSession {
 public:
  explicit AdminSession(const TestServer& server) {
    db.setLoggingObject(&logger);
    open = db.open(server.address().c_str()) && db.login("root", kAdminPassword, "Default", 0);
  }
  // The next login as root is refused while this one lasts.
  ~AdminSession() { db.logout(); }
  AdminSession(const AdminSession&) = delete;
  AdminSession& operator=(const AdminSession&) = delete;

  RecordingLogger logger;  // outlives the handle, which releases it
  VLT_121::CVLTDatabase db;
  bool open = false;
};

}  // namespace talixdb_test
