#include "Help.h"

#include <algorithm>

namespace talixdb_cli {

namespace {

const char kGlobalOptions[] =
    "Global options (anywhere on the line; a value as \"--opt VALUE\" or \"--opt=VALUE\"):\n"
    "      --server ADDRESS      repository server: HOST:PORT, http://HOST:PORT or\n"
    "                            http://HOST:PORT/vlt/services/QuillonBinding; default:\n"
    "                            MODELDATABASE_HOME, which holds one of these or names\n"
    "                            a file whose first word is the endpoint URL\n"
    "      --user NAME           user to log in as (default: TALIXDB_USER, else root)\n"
    "      --password TEXT       password; other local users can see it in the process\n"
    "                            list: prefer --password-file, TALIXDB_PASSWORD or the\n"
    "                            prompt\n"
    "      --password-file FILE  read the password from the first line of FILE\n"
    "      --domain NAME         login domain (default: TALIXDB_DOMAIN, else Default)\n"
    "  -v, --verbose             show progress and session messages on standard error\n"
    "  -h, --help                this text; after a subcommand, the subcommand's help\n"
    "      --version             print the version and exit\n";

const char kPasswords[] =
    "Without --password or --password-file the password is TALIXDB_PASSWORD; for the\n"
    "administrator, VLT_ADMIN_PASSWORD. Failing those, it is asked for (not shown) when\n"
    "standard input is a terminal, else it is VLT_ADMIN_PASSWORD or kelp482.\n";

const char kNotes[] =
    "Administrator operations (db create, users) log in as VLT_ADMIN_USER with\n"
    "VLT_ADMIN_PASSWORD (default root, kelp482); --user and --password (or\n"
    "--password-file) given on the command line stand for them.\n"
    "A repository path that does not start with \"/\" lies below /Repository/talixdb;\n"
    "MODELPATH is CATEGORY/TYPE/MODEL or /Repository/talixdb/CATEGORY/TYPE/MODEL.\n"
    "A file of 4 MiB or more shows a progress bar while it moves when standard error is\n"
    "a terminal; Ctrl-C stops the transfer without leaving a partial file (exit 130).\n";

const char kExitStatus[] =
    "Exit status:\n"
    "  0      success\n"
    "  1      not found, refused, or a check that came out false\n"
    "  2      usage error (2 is also the library's \"category folder not made\")\n"
    "  3..30  the library's result code of the operation that failed\n"
    "  31     no server address, the server cannot be reached, or it does not answer\n"
    "         in time (a time-out while logging in included)\n"
    "  32     login refused\n"
    "  33     a local input file is missing, unreadable or invalid\n"
    "  34     internal error\n"
    "  130    Ctrl-C stopped a file transfer\n";

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + "  " : text + std::string(width - text.size(), ' ');
}

std::string optionLabel(const OptionSpec& option) {
  std::string label = option.shortName != 0 ? std::string("-") + option.shortName + ", " : std::string("    ");
  label += "--" + option.name;
  if (!option.valueName.empty()) label += " " + option.valueName;
  return label;
}

std::string synopsis(const CommandSpec& command) {
  std::string line = command.name;
  if (!command.arguments.empty()) line += (line.empty() ? "" : " ") + command.arguments;
  return line;
}

}  // namespace

std::string programHelp() {
  std::string text =
      "usage: talixdb [global options] SUBCOMMAND [ACTION] [options] [arguments]\n\n"
      "Administers and uses a model database kept on a repository server.\n\n"
      "Subcommands:\n";
  for (const Family& family : allFamilies()) text += "  " + padded(family.name, 13) + family.summary + "\n";
  text += "\nRun \"talixdb SUBCOMMAND --help\" for its actions and options.\n\n";
  text += kGlobalOptions;
  text += "\n";
  text += kPasswords;
  text += "\n";
  text += kNotes;
  text += "\n";
  text += kExitStatus;
  return text;
}

std::string familyHelp(const Family& family) {
  if (family.commands.size() == 1 && family.commands[0].name.empty())
    return commandHelp(family, family.commands[0]);
  std::string text = "usage: talixdb " + family.name + " ACTION [options] [arguments]\n\n" + family.summary + ".\n\n";
  text += "Actions:\n";
  std::size_t width = 0;
  for (const CommandSpec& command : family.commands) width = std::max(width, synopsis(command).size() + 2);
  for (const CommandSpec& command : family.commands)
    text += "  " + padded(synopsis(command), width) + command.summary + "\n";
  text += "\nRun \"talixdb " + family.name + " ACTION --help\" for an action's options.\n";
  return text;
}

std::string commandHelp(const Family& family, const CommandSpec& command) {
  std::string text = "usage: " + commandTitle(family, command);
  if (!command.arguments.empty()) text += " " + command.arguments;
  if (!command.options.empty()) text += " [options]";
  text += "\n\n" + command.summary + ".\n";
  if (!command.options.empty()) {
    text += "\nOptions:\n";
    std::size_t width = 0;
    for (const OptionSpec& option : command.options) width = std::max(width, optionLabel(option).size() + 2);
    for (const OptionSpec& option : command.options)
      text += "  " + padded(optionLabel(option), width) + option.help + (option.repeatable ? " (repeatable)" : "") +
              "\n";
  }
  if (!command.details.empty()) text += "\n" + command.details;
  if (text.back() != '\n') text += "\n";
  text += "\nGlobal options (--server, --user, --password, --password-file, --domain, --verbose) as in\n"
          "\"talixdb --help\".\n";
  return text;
}

std::string commandTitle(const Family& family, const CommandSpec& command) {
  return "talixdb " + family.name + (command.name.empty() ? "" : " " + command.name);
}

}  // namespace talixdb_cli
