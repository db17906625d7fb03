// Builds against the installed library: opens the server named on the command
// line, logs in as administrator and says whether the database exists.
#include <cstdio>

#include "talixdbapi/VLTDatabase.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s HOST:PORT [PASSWORD]\n", argv[0]);
    return 2;
  }
  VLT_121::CVLTDatabase db;
  if (!db.open(argv[1])) {
    std::fprintf(stderr, "cannot reach %s\n", argv[1]);
    return 1;
  }
  if (!db.login("root", argc > 2 ? argv[2] : "kelp482", "Default", 0)) {
    std::fprintf(stderr, "login refused\n");
    return 1;
  }
  std::printf("database %s\n", db.isTalixDatabaseInstantiated() ? "present" : "absent");
  db.logout();
  return 0;
}
