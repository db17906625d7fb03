// talixdb users and session: the pool of computational (CFD) user accounts
// and the sessions of users, managed as administrator.
#include <cstdio>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "JsonOutput.h"

namespace talixdb_cli {

namespace {

int createUsers(Context& context, const ParsedArgs& args);
int countUsers(Context& context, const ParsedArgs& args);
int disconnectUsers(Context& context, const ParsedArgs& args);
int deleteUsers(Context& context, const ParsedArgs& args);
int endSession(Context& context, const ParsedArgs& args);

}  // namespace

Family usersFamily() {
  return Family{
      "users",
      "Manage the pool of computational users (cfduser_000, ...), as administrator",
      {
          {"create", "N", "Create the database together with N pool users (cfduser_000, cfduser_001, ...)", 1, 1,
           {}, createUsers,
           "Pool users are created only together with a new database: on a server where\n"
           "/Repository/talixdb exists, nothing is done and the exit status is 1. Each user's\n"
           "password is its name.\n"},
          {"count", "", "Print the number of pool users", 0, 0, {kJsonOption}, countUsers,
           "With --json: {\"count\": N}.\n"},
          {"disconnect", "", "End the sessions of all pool users", 0, 0, {}, disconnectUsers,
           "Also ends what the library's way (logging each in and out) leaves: the sessions\n"
           "each pool user has elsewhere.\n"},
          {"delete", "", "Delete all pool users", 0, 0, {}, deleteUsers, ""},
      }};
}

Family sessionFamily() {
  return Family{
      "session",
      "End the sessions of a user, as administrator",
      {
          {"end", "USER", "End every session of USER at once, as administrator", 1, 1, {}, endSession,
           "A user may log in only while no session of theirs lives, and a session lives on for\n"
           "the server's --session-timeout (default 30 minutes) after its last use: a host that\n"
           "died keeps its user out until then. This ends the user's sessions now; the server\n"
           "does it for the administrator's deletion of /System/Users/USER/Sessions. Exits 0 also\n"
           "when USER had no live session.\n"},
      }};
}

namespace {

// Ends the sessions of `user` through the server's administrator path; with
// the administrator logged in. 0 (`ended` tells whether one lived), or the
// failure with a message.
int endSessionsOf(Context& context, const std::string& user, bool& ended) {
  const std::string path = "/System/Users/" + user + "/Sessions";
  ConsoleLogger::OutcomesAsProgress quiet(context.logger);
  ended = context.db().deleteItem(path.c_str());
  const std::string why = context.db().getLastErrorText();
  if (ended || why.empty()) return exit_code::kSuccess;
  const int status = connectionFailureStatus(why);
  return context.fail(status != 0 ? status : exit_code::kRefused, "cannot end the sessions of " + user + ": " + why);
}

int endSession(Context& context, const ParsedArgs& args) {
  const std::string& user = args.positionals[0];
  if (!isPlainName(user)) return context.fail(exit_code::kUsage, "USER must be one name without \"/\"");
  if (int loggedIn = context.session.loginAsAdministrator()) return loggedIn;
  bool ended = false;
  if (int failed = endSessionsOf(context, user, ended)) return failed;
  if (ended)
    std::printf("ended the sessions of %s\n", user.c_str());
  else
    std::printf("%s had no live session\n", user.c_str());
  return exit_code::kSuccess;
}

int createUsers(Context& context, const ParsedArgs& args) {
  int count = 0;
  if (int read = readNumber(context, "N", args.positionals[0], count)) return read;
  if (count < 0) return context.fail(exit_code::kUsage, "N must not be negative");
  VLT_121::CVLTDatabase& db = context.db();
  // The library makes pool users only along with a new database root.
  if (int loggedIn = context.session.loginAsAdministrator()) return loggedIn;
  const bool existed = db.isTalixDatabaseInstantiated();
  db.logout();
  if (existed)
    return context.fail(exit_code::kRefused, "pool users are created only together with a new database, and " +
                                                 std::string(kDatabaseRoot) + " exists already");
  int created = withProgress(context.logger, [&] { return db.instantiateCFDUsers(count); });
  if (created != count)
    return context.fail(exit_code::kRefused, "created " + std::to_string(created) + " of " + std::to_string(count) +
                                                 " pool users");
  std::printf("created the database %s and %d pool user(s)\n", kDatabaseRoot, created);
  return exit_code::kSuccess;
}

int countUsers(Context& context, const ParsedArgs& args) {
  if (int checked = context.session.checkAdministrator()) return checked;
  const int count = context.db().getNrCFDUsers();
  if (args.has("json"))
    printJson({{"count", count}});
  else
    std::printf("%d\n", count);
  return exit_code::kSuccess;
}

int disconnectUsers(Context& context, const ParsedArgs&) {
  if (int checked = context.session.checkAdministrator()) return checked;
  const int count = context.db().getNrCFDUsers();
  withProgress(context.logger, [&] { context.db().disconnectAllTalixUsers(); });
  // The library logs each account in and out, which ends only the session it
  // made itself; those the accounts have elsewhere are ended here.
  if (int loggedIn = context.session.loginAsAdministrator()) return loggedIn;
  for (int k = 0; k < count; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "cfduser_%03d", k);
    bool ended = false;
    if (int failed = endSessionsOf(context, name, ended)) return failed;
  }
  std::printf("disconnected the pool users\n");
  return exit_code::kSuccess;
}

int deleteUsers(Context& context, const ParsedArgs&) {
  if (int checked = context.session.checkAdministrator()) return checked;
  int before = context.db().getNrCFDUsers();
  withProgress(context.logger, [&] { context.db().deleteAllTalixUsers(); });
  int after = context.db().getNrCFDUsers();
  if (after != 0)
    return context.fail(exit_code::kRefused, std::to_string(after) + " of " + std::to_string(before) +
                                                 " pool users were not deleted");
  std::printf("deleted %d pool user(s)\n", before);
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
