// talixdb users: the pool of computational (CFD) user accounts, managed as
// administrator.
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

}  // namespace

Family usersFamily() {
  return Family{
      "users",
      "Manage the pool of computational users (cfduser_000, ...), as administrator",
      {
          {"create", "N", "Create the database together with N pool users (cfduser_000, cfduser_001, ...)", 1, 1, {}, createUsers,
           "Pool users are created only together with a new database: on a server where\n"
           "/Repository/talixdb exists, nothing is done and the exit status is 1. Each user's\n"
           "password is its name.\n"},
          {"count", "", "Print the number of pool users", 0, 0, {kJsonOption}, countUsers,
           "With --json: {\"count\": N}.\n"},
          {"disconnect", "", "End the sessions of all pool users", 0, 0, {}, disconnectUsers, ""},
          {"delete", "", "Delete all pool users", 0, 0, {}, deleteUsers, ""},
      }};
}

namespace {

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
  withProgress(context.logger, [&] { context.db().disconnectAllTalixUsers(); });
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
