// talixdb: the command-line tool over the TALIXDBAPI library, for people who
// administer and use a model database without writing a host.
//
//   talixdb [global options] SUBCOMMAND [ACTION] [options] [arguments]
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "Command.h"
#include "ExitCodes.h"
#include "Help.h"
#include "talixdbapi/Version.h"

using namespace talixdb_cli;

namespace {

int run(const std::vector<std::string>& args);

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "talixdb: internal error: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "talixdb: internal error\n");
  }
  return exit_code::kInternal;
}

namespace {

int usageError(const std::string& message, const std::string& helpCommand) {
  std::fprintf(stderr, "talixdb: %s\ntalixdb: see \"%s --help\"\n", message.c_str(), helpCommand.c_str());
  return exit_code::kUsage;
}

int printHelp(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return exit_code::kSuccess;
}

// The tool's version; the library's too when the one loaded differs.
int printVersion() {
  std::printf("talixdb %s", TALIXDBAPI_VERSION_STRING);
  if (std::strcmp(VLT_121::getLibraryVersion(), TALIXDBAPI_VERSION_STRING) != 0)
    std::printf(" (library %s)", VLT_121::getLibraryVersion());
  std::printf("\n");
  return exit_code::kSuccess;
}

const Family* findFamily(const std::string& name) {
  for (const Family& family : allFamilies())
    if (family.name == name) return &family;
  return nullptr;
}

const CommandSpec* findCommand(const Family& family, const std::string& name) {
  for (const CommandSpec& command : family.commands)
    if (command.name == name) return &command;
  return nullptr;
}

std::string actionList(const Family& family) {
  std::string list;
  for (const CommandSpec& command : family.commands) list += (list.empty() ? "" : ", ") + command.name;
  return list;
}

int run(const std::vector<std::string>& args) {
  GlobalOptions options;
  std::vector<std::string> rest;
  std::string error = extractGlobalOptions(args, options, rest);
  if (!error.empty()) return usageError(error, "talixdb");
  if (options.version) return printVersion();
  if (rest.empty()) {
    if (options.help) return printHelp(programHelp());
    return usageError("no subcommand given", "talixdb");
  }
  const Family* family = findFamily(rest.front());
  if (family == nullptr) {
    if (!rest.front().empty() && rest.front()[0] == '-') return usageError("unknown option " + rest.front(), "talixdb");
    return usageError("unknown subcommand \"" + rest.front() + "\"", "talixdb");
  }
  rest.erase(rest.begin());

  const CommandSpec* command = nullptr;
  if (family->commands.size() == 1 && family->commands[0].name.empty()) {
    command = &family->commands[0];
  } else {
    if (rest.empty() || (!rest.front().empty() && rest.front()[0] == '-')) {
      if (options.help) return printHelp(familyHelp(*family));
      return usageError(family->name + " needs an action: " + actionList(*family),
                        "talixdb " + family->name);
    }
    command = findCommand(*family, rest.front());
    if (command == nullptr)
      return usageError("unknown action \"" + rest.front() + "\" of " + family->name + " (actions: " +
                            actionList(*family) + ")",
                        "talixdb " + family->name);
    rest.erase(rest.begin());
  }
  const std::string title = commandTitle(*family, *command);
  const std::string shortTitle = title.substr(std::string("talixdb ").size());
  if (options.help) return printHelp(commandHelp(*family, *command));

  ParsedArgs parsed;
  error = parseCommandArgs(rest, command->options, parsed);
  if (!error.empty()) return usageError(error + " (" + shortTitle + ")", title);
  int given = static_cast<int>(parsed.positionals.size());
  if (given < command->minPositionals)
    return usageError(shortTitle + " needs " + command->arguments, title);
  if (command->maxPositionals >= 0 && given > command->maxPositionals)
    return usageError("too many arguments for " + shortTitle + " (expected " +
                          (command->arguments.empty() ? std::string("none") : command->arguments) + ")",
                      title);

  ConsoleLogger logger(options.verbose);
  Session session(options, logger);
  Context context{options, logger, session};
  return command->handler(context, parsed);
}

}  // namespace
