#include "Help.h"

#include <algorithm>

namespace talixdb_cli {

namespace {

const char kGlobalOptions[] =
    "Global options (anywhere on the line; a value as --opt VALUE or --opt=VALUE):\n"
    "      --server ADDRESS      repository server: HOST:PORT, http://HOST:PORT or\n"
    "                            http://HOST:PORT/vlt/services/QuillonBinding (https:// for\n"
    "                            TLS); default: MODELDATABASE_HOME, which holds one of these\n"
    "                            or names a file whose first word is the endpoint URL\n"
    "      --user NAME           user to log in as (default: TALIXDB_USER, else root)\n"
    "      --password TEXT       password; other local users can see it in the process\n"
    "                            list: prefer --password-file, TALIXDB_PASSWORD, a saved\n"
    "                            login or the prompt\n"
    "      --password-file FILE  read the password from the first line of FILE\n"
    "      --domain NAME         login domain (default: TALIXDB_DOMAIN, else Default)\n"
    "      --timeout SECONDS     end the whole command after SECONDS (exit 37); without it,\n"
    "                            connecting and logging in may take 15 s\n"
    "  -v, --verbose             show progress and session messages on standard error\n"
    "  -h, --help                this text; after a subcommand, the subcommand's help\n"
    "      --version             print the version and exit\n";

const char kPasswords[] =
    "Without --password or --password-file the password is TALIXDB_PASSWORD, else the one\n"
    "saved for the server and user in the login file (below); for the administrator,\n"
    "VLT_ADMIN_PASSWORD. Failing those, it is asked for (not shown) when standard input is\n"
    "a terminal, else it is VLT_ADMIN_PASSWORD or kelp482.\n"
    "The login file, like psql's .pgpass, is TALIXDB_LOGIN_FILE, else\n"
    "$XDG_CONFIG_HOME/talixdb/logins, else ~/.config/talixdb/logins: one line per login,\n"
    "\"SERVER USER PASSWORD\" (\"*\" for any server or user; the password is the rest of the\n"
    "line). It is used only while no one but its owner may read it (chmod 600).\n";

const char kLogins[] =
    "A user may log in only while no session of theirs lives elsewhere; a session ends after\n"
    "the server's --session-timeout (default 30 minutes) without use. talixdb logs out at\n"
    "its end, also when it fails or is stopped (SIGINT, SIGTERM, SIGHUP, SIGPIPE). A\n"
    "refused login says whether the password was wrong or a session lives elsewhere (with\n"
    "its times, when the password is right); \"talixdb session end USER\" ends it, as\n"
    "administrator. Pool logins: a user name starting \"cfduser\" logs in as whichever\n"
    "account of the pool (cfduser_000, cfduser_001, ...) is free, whatever the number and\n"
    "the password given (the library counts the pool as administrator first, so\n"
    "VLT_ADMIN_PASSWORD must be right); \"db status\" shows the account taken.\n";

const char kNotes[] =
    "Administrator operations (db create, users, session) log in as VLT_ADMIN_USER with\n"
    "VLT_ADMIN_PASSWORD (default root, kelp482); --user and --password (or\n"
    "--password-file) given on the command line stand for them.\n"
    "A repository path that does not start with \"/\" lies below /Repository/talixdb.\n"
    "MODELPATH is CATEGORY/TYPE/MODEL, as \"browse --models\" prints it, and it may stand\n"
    "for CATEGORY TYPE MODEL; CATEGORY/TYPE/MODEL/SOLVER, as \"browse --solvers\" prints\n"
    "it, stands for MODELPATH SOLVER and is a SOLVERPATH. Each may also be given below\n"
    "/Repository/talixdb, a solver's also with \"/Solvers/\" before its name.\n"
    "A file of 4 MiB or more shows a progress bar while it moves when standard error is\n"
    "a terminal; Ctrl-C stops the transfer without leaving a partial file (exit 130).\n";

const char kEnvironment[] =
    "Environment:\n"
    "  MODELDATABASE_HOME     the server when --server is not given (see --server)\n"
    "  TALIXDB_USER, TALIXDB_DOMAIN  the user and domain when not given\n"
    "  TALIXDB_PASSWORD       the user's password\n"
    "  TALIXDB_LOGIN_FILE     the file of saved logins\n"
    "  VLT_ADMIN_USER, VLT_ADMIN_PASSWORD  the administrator's account (root, kelp482)\n"
    "  TALIXDB_CA_FILE        PEM file of the authorities trusted for https:// servers,\n"
    "                         instead of the system's\n"
    "  TALIXDB_CONNECT_TIMEOUT  seconds to wait for a connection (default 30)\n"
    "  TALIXDB_IO_TIMEOUT     seconds to wait for each send or receive (default 300)\n"
    "  TALIXDB_CALL_TIMEOUT   seconds one request may take as a whole (default 600, plus\n"
    "                         one per MiB moved); --timeout lowers all three\n"
    "  TALIXDB_KEEPALIVE      1: keep the connection open between requests\n";

const char kExamples[] =
    "Examples:\n"
    "  talixdb --server db.example:8080 --user alice db status\n"
    "      show the server, the account logged in and whether the database exists\n"
    "  talixdb model upload examples/pump-model.json --no-solvers\n"
    "      store the sample model of the source tree\n"
    "  talixdb solver import Equipment/Pumps/CentrifugalPump examples/flow-solver.json\n"
    "      attach the sample solver to it, with the files it lists\n"
    "  talixdb browse --solvers\n"
    "      list every solver as CATEGORY/TYPE/MODEL/SOLVER, a path every command takes\n"
    "  talixdb report upload Equipment/Pumps/CentrifugalPump/FlowSolver blade 1 r1.rep r2.rep\n"
    "      store two reports of the surface blade as numbers 1 and 2\n"
    "  talixdb report amplitudes Equipment/Pumps/CentrifugalPump/FlowSolver blade --all --csv\n"
    "      every report's amplitude on every PCA mode, for a spreadsheet\n"
    "  talixdb --user root session end alice\n"
    "      end the session a crashed host of alice left behind\n";

const char kExitStatus[] =
    "Exit status:\n"
    "  0      success\n"
    "  1      not found, refused, or a check that came out false\n"
    "  2      usage error (2 is also the library's \"category folder not made\")\n"
    "  3..30  the library's result code of the operation that failed\n"
    "  31     no server address, or the connection failed otherwise (no route, closed or\n"
    "         lost)\n"
    "  32     login refused: a wrong password, or the user has a live session elsewhere\n"
    "  33     a local input file is missing, unreadable or invalid\n"
    "  34     internal error\n"
    "  35     the server's host name cannot be resolved\n"
    "  36     connection refused: nothing listens at that address and port\n"
    "  37     time-out: no answer in time, or the command outlasted --timeout\n"
    "  38     TLS failed (a certificate that cannot be verified, no TLS at the server)\n"
    "  39     not a repository server (another HTTP server answered)\n"
    "  129    stopped by SIGHUP (128 + the signal's number; the session was ended first)\n"
    "  130    stopped by SIGINT (Ctrl-C)\n"
    "  141    stopped by SIGPIPE (standard output closed, as by \"| head\")\n"
    "  143    stopped by SIGTERM\n";

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
  for (const char* block : {kPasswords, kLogins, kNotes, kExitStatus, kEnvironment}) {
    text += block;
    text += "\n";
  }
  text += kExamples;
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
  text += "\nGlobal options (--server, --user, --password, --password-file, --domain, --timeout,\n"
          "--verbose) as in \"talixdb --help\".\n";
  return text;
}

std::string commandTitle(const Family& family, const CommandSpec& command) {
  return "talixdb " + family.name + (command.name.empty() ? "" : " " + command.name);
}

}  // namespace talixdb_cli
