// talixdb: the command-line tool over the TALIXDBAPI library, for people who
// administer and use a model database without writing a host.
//
//   talixdb [global options] SUBCOMMAND [ACTION] [options] [arguments]
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "CataloguePath.h"
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

// Global options stand anywhere: before the subcommand, between it and its
// action, and among the action's own options and arguments.
int run(const std::vector<std::string>& args) {
  const std::vector<OptionSpec>& globals = globalOptionSpecs();
  ParsedArgs parsed;
  std::size_t at = 0;
  bool optionsEnded = false;
  std::string error = parseOptions(args, 0, globals, true, parsed, at, optionsEnded);
  if (!error.empty()) return usageError(error, "talixdb");

  const Family* family = nullptr;
  const CommandSpec* command = nullptr;
  if (at < args.size()) {
    family = findFamily(args[at]);
    if (family == nullptr) {
      if (parsed.has("version")) return printVersion();
      return usageError("unknown subcommand \"" + args[at] + "\"", "talixdb");
    }
    ++at;
    if (family->commands.size() == 1 && family->commands[0].name.empty()) {
      command = &family->commands[0];
    } else {
      if (!optionsEnded) error = parseOptions(args, at, globals, true, parsed, at, optionsEnded);
      if (!error.empty()) return usageError(error, "talixdb " + family->name);
      if (at < args.size()) {
        command = findCommand(*family, args[at]);
        if (command == nullptr)
          return usageError("unknown action \"" + args[at] + "\" of " + family->name + " (actions: " +
                                actionList(*family) + ")",
                            "talixdb " + family->name);
        ++at;
      }
    }
  }
  if (command != nullptr) {
    const std::string title = commandTitle(*family, *command);
    if (optionsEnded) {
      parsed.positionals.assign(args.begin() + static_cast<std::ptrdiff_t>(at), args.end());
    } else {
      std::vector<OptionSpec> known = globals;
      known.insert(known.end(), command->options.begin(), command->options.end());
      error = parseOptions(args, at, known, false, parsed, at, optionsEnded);
      if (!error.empty()) return usageError(error + " (" + title.substr(std::string("talixdb ").size()) + ")", title);
    }
  }

  GlobalOptions options;
  int read = readGlobalOptions(parsed, options, error);
  if (read == exit_code::kUsage) return usageError(error, "talixdb");
  if (options.version) return printVersion();
  if (family == nullptr) {
    if (options.help) return printHelp(programHelp());
    return usageError("no subcommand given", "talixdb");
  }
  if (command == nullptr) {
    if (options.help) return printHelp(familyHelp(*family));
    return usageError(family->name + " needs an action: " + actionList(*family), "talixdb " + family->name);
  }
  const std::string title = commandTitle(*family, *command);
  const std::string shortTitle = title.substr(std::string("talixdb ").size());
  if (options.help) return printHelp(commandHelp(*family, *command));

  expandCataloguePaths(command->arguments, parsed.positionals);
  int given = static_cast<int>(parsed.positionals.size());
  if (given < command->minPositionals)
    return usageError(shortTitle + " needs " + command->arguments, title);
  if (command->maxPositionals >= 0 && given > command->maxPositionals)
    return usageError("too many arguments for " + shortTitle + " (expected " +
                          (command->arguments.empty() ? std::string("none") : command->arguments) + ")",
                      title);
  // A password file that cannot be read: local input, after the usage.
  if (read != exit_code::kSuccess) {
    std::fprintf(stderr, "talixdb: %s\n", error.c_str());
    return read;
  }

  ConsoleLogger logger(options.verbose);
  Supervisor supervisor(logger);
  supervisor.setDeadline(options.timeout);
  Session session(options, logger, supervisor);
  Context context{options, logger, session, supervisor};
  const int result = command->handler(context, parsed);
  if (!Supervisor::stopRequested()) return result;
  logger.finalError(session.transfers().interrupted() ? TransferBar::interruptedMessage()
                                                      : supervisor.stopMessage());
  return supervisor.exitStatus();
}

}  // namespace
