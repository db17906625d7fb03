// talixdb db, category and type: the upper levels of the catalogue.
#include <cstdio>

#include "CatalogueLookup.h"
#include "Command.h"
#include "ExitCodes.h"
#include "JsonOutput.h"

namespace talixdb_cli {

namespace {

int createDatabase(Context& context, const ParsedArgs& args);
int showStatus(Context& context, const ParsedArgs& args);
int addCategory(Context& context, const ParsedArgs& args);
int checkCategory(Context& context, const ParsedArgs& args);
int addType(Context& context, const ParsedArgs& args);
int checkType(Context& context, const ParsedArgs& args);

}  // namespace

Family databaseFamily() {
  return Family{
      "db",
      "Create the database on the server, or show its status",
      {
          {"create", "", "Create the database root /Repository/talixdb, logging in as administrator", 0, 0, {},
           createDatabase,
           "Exits 1 when the database exists already.\n"},
          {"status", "", "Show the server, the login and whether the database exists", 0, 0, {kJsonOption},
           showStatus,
           "Exits 0 when the database exists, 1 when it does not.\n"
           "USER is the account logged in: for a pool login (--user cfduser...), the free account\n"
           "of the pool that was taken.\n"
           "With --json: {\"server\": ADDRESS, \"user\": NAME, \"pool\": true when a pool login took\n"
           "NAME, \"domain\": NAME, \"database\": \"/Repository/talixdb\", \"exists\": true or false}.\n"},
      }};
}

Family categoryFamily() {
  return Family{"category",
                "Add or check a category of models",
                {
                    {"add", "CATEGORY", "Add a category folder to the database", 1, 1, {}, addCategory, ""},
                    {"check", "CATEGORY", "Tell whether a category exists (exit 0) or not (exit 1)", 1, 1, {},
                     checkCategory, ""},
                }};
}

Family typeFamily() {
  return Family{"type",
                "Add or check a model type within a category",
                {
                    {"add", "CATEGORY TYPE", "Add a model type folder to an existing category", 2, 2, {}, addType,
                     ""},
                    {"check", "CATEGORY TYPE", "Tell whether a model type exists (exit 0) or not (exit 1)", 2, 2,
                     {}, checkType, ""},
                }};
}

namespace {

int createDatabase(Context& context, const ParsedArgs&) {
  if (int opened = context.session.openAsAdministrator()) return opened;
  int result = context.db().createTalixDb();
  if (result == VLT_121::ResultCode::kSuccess) {
    std::printf("created the database %s\n", kDatabaseRoot);
    return exit_code::kSuccess;
  }
  // The administrator stays logged in unless the login itself was refused.
  if (!context.db().isLoggedIn())
    return context.session.loginFailed("administrator " + Session::administratorName(),
                                       "set VLT_ADMIN_USER / VLT_ADMIN_PASSWORD, or give --user / --password");
  if (context.db().isTalixDatabaseInstantiated())
    return context.fail(exit_code::kRefused, "the database " + std::string(kDatabaseRoot) + " exists already");
  return context.fail(exit_code::kRefused, "the database " + std::string(kDatabaseRoot) + " was not made");
}

int showStatus(Context& context, const ParsedArgs& args) {
  if (int loggedIn = context.session.login()) return loggedIn;
  bool present = context.db().isTalixDatabaseInstantiated();
  // A pool login works as whichever free account the library took.
  const std::string account = context.session.account();
  const bool pool = account != context.options.user;
  if (args.has("json")) {
    printJson({{"server", context.session.address()},
               {"user", account},
               {"pool", pool},
               {"domain", context.options.domain},
               {"database", std::string(kDatabaseRoot)},
               {"exists", present}});
    return present ? exit_code::kSuccess : exit_code::kRefused;
  }
  std::printf("server:   %s\n", context.session.address().c_str());
  std::printf("user:     %s (domain %s)\n", account.c_str(), context.options.domain.c_str());
  if (pool)
    std::printf("          a free account of the pool, taken for %s (pool logins ignore the password)\n",
                context.options.user.c_str());
  std::printf("database: %s %s\n", kDatabaseRoot, present ? "exists" : "does not exist");
  return present ? exit_code::kSuccess : exit_code::kRefused;
}

int addCategory(Context& context, const ParsedArgs& args) {
  const std::string& category = args.positionals[0];
  if (!isPlainName(category)) return context.fail(exit_code::kUsage, "CATEGORY must be one name without \"/\"");
  if (int loggedIn = context.session.login()) return loggedIn;
  if (int present = requireDatabase(context)) return present;
  if (context.db().checkCategory(category.c_str()))
    return context.fail(exit_code::kRefused, "category " + category + " exists already");
  int result = context.db().addCategory(category.c_str());
  if (result != VLT_121::ResultCode::kSuccess) return context.failWithResult(result, "cannot add category " + category);
  std::printf("added category %s\n", category.c_str());
  return exit_code::kSuccess;
}

int checkCategory(Context& context, const ParsedArgs& args) {
  const std::string& category = args.positionals[0];
  if (int loggedIn = context.session.login()) return loggedIn;
  if (!context.db().checkCategory(category.c_str()))
    return context.fail(exit_code::kRefused, "no category " + category);
  std::printf("category %s exists\n", category.c_str());
  return exit_code::kSuccess;
}

int addType(Context& context, const ParsedArgs& args) {
  const std::string& category = args.positionals[0];
  const std::string& type = args.positionals[1];
  if (!isPlainName(category) || !isPlainName(type))
    return context.fail(exit_code::kUsage, "CATEGORY and TYPE must each be one name without \"/\"");
  if (int loggedIn = context.session.login()) return loggedIn;
  if (!context.db().checkCategory(category.c_str()))
    return context.fail(exit_code::kRefused, "no category " + category);
  if (context.db().checkType(type.c_str(), category.c_str()))
    return context.fail(exit_code::kRefused, "type " + category + "/" + type + " exists already");
  int result = context.db().addType(type.c_str(), category.c_str());
  if (result != VLT_121::ResultCode::kSuccess)
    return context.failWithResult(result, "cannot add type " + category + "/" + type);
  std::printf("added type %s/%s\n", category.c_str(), type.c_str());
  return exit_code::kSuccess;
}

int checkType(Context& context, const ParsedArgs& args) {
  const std::string& category = args.positionals[0];
  const std::string& type = args.positionals[1];
  if (int loggedIn = context.session.login()) return loggedIn;
  // The library takes the type first.
  if (!context.db().checkType(type.c_str(), category.c_str()))
    return context.fail(exit_code::kRefused, "no type " + category + "/" + type);
  std::printf("type %s/%s exists\n", category.c_str(), type.c_str());
  return exit_code::kSuccess;
}

}  // namespace
}  // namespace talixdb_cli
