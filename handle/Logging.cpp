// Messages to the host's logger, prefixed with the library's name and version.
#include <string>

#include "talixdbapi/VLTDatabase.h"

namespace VLT_121 {

namespace {
const char kMessagePrefix[] = "TALIXDBAPI 1.2.1:\t";
}

int CVLTDatabase::setLoggingObject(TALIX::ILogger* logger) try {
  m_pLogger = logger;
  if (m_pLogger != nullptr) logMessage(TALIX::LogTypeSession, "Logging object attached");
  return 0;
} catch (...) { return 0; }

void CVLTDatabase::logMessage(TALIX::LogType type, const char* text) {
  if (m_pLogger == nullptr) return;
  std::string message = kMessagePrefix;
  if (text != nullptr) message += text;
  m_pLogger->log(type, message.c_str());
}

}  // namespace VLT_121
