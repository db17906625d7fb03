#include "Command.h"

#include "ExitCodes.h"
#include "talixdbapi/ResultCodes.h"

namespace talixdb_cli {

int Context::fail(int code, const std::string& message) {
  logger.error(message);
  return code;
}

int Context::failWithResult(int code, const std::string& what) {
  logger.error(what + ": " + VLT_121::getResultText(code) + " (code " + std::to_string(code) + ")");
  return code;
}

const std::vector<Family>& allFamilies() {
  static const std::vector<Family> families = {
      databaseFamily(), categoryFamily(), typeFamily(),    modelFamily(),   solverFamily(),
      reportFamily(),   instanceFamily(), browseFamily(),  backupFamily(),  restoreFamily(),
      usersFamily(),    sessionFamily(),  serversFamily(),  precomputedFamily(),
  };
  return families;
}

}  // namespace talixdb_cli
