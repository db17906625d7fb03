#include "CommandArgs.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace talixdb_cli {

namespace {

// getopt_long hands back a long option as this plus the option's index, so
// that long options need no short letter.
constexpr int kLongOptionBase = 256;

bool isNegativeNumber(const std::string& arg) {
  int ignored = 0;
  return arg.size() > 1 && arg[0] == '-' && parseInteger(arg, ignored);
}

// The arguments as getopt_long takes them: the program name first, then the
// arguments from `first` on. A negative number goes in with a mark in front,
// so that getopt_long does not read it as an option, and comes back as given.
class Words {
 public:
  Words(const std::vector<std::string>& args, std::size_t first) {
    m_words.emplace_back("talixdb");
    m_marked.push_back(false);
    for (std::size_t i = first; i < args.size(); ++i) {
      m_marked.push_back(isNegativeNumber(args[i]));
      m_words.push_back(m_marked.back() ? "#" + args[i] : args[i]);
    }
    for (std::string& word : m_words) m_argv.push_back(&word[0]);
    m_argv.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(m_words.size()); }
  char** argv() { return m_argv.data(); }
  const std::string& word(int index) const { return m_words[static_cast<std::size_t>(index)]; }
  // What the user gave for a text getopt_long points to.
  std::string original(const char* text) const {
    for (std::size_t i = 0; i < m_words.size(); ++i)
      if (m_marked[i] && text == m_words[i].c_str()) return m_words[i].substr(1);
    return text;
  }

 private:
  std::vector<std::string> m_words;
  std::vector<bool> m_marked;
  std::vector<char*> m_argv;
};

std::string unknownOption(const std::string& word, const std::vector<OptionSpec>& known) {
  const std::string given = word.substr(0, word.find('='));
  std::string candidates;
  int count = 0;
  if (given.compare(0, 2, "--") == 0)
    for (const OptionSpec& described : known)
      if (described.name.compare(0, given.size() - 2, given, 2) == 0) {
        candidates += (count++ == 0 ? "" : ", ") + ("--" + described.name);
      }
  if (count > 1) return "option " + given + " is ambiguous (" + candidates + ")";
  return "unknown option " + given;
}

}  // namespace

bool ParsedArgs::has(const std::string& option) const { return m_options.count(option) != 0; }

std::string ParsedArgs::value(const std::string& option, const std::string& fallback) const {
  auto found = m_options.find(option);
  return found == m_options.end() || found->second.empty() ? fallback : found->second.back();
}

std::vector<std::string> ParsedArgs::values(const std::string& option) const {
  auto found = m_options.find(option);
  return found == m_options.end() ? std::vector<std::string>() : found->second;
}

void ParsedArgs::add(const std::string& option, const std::string& value) { m_options[option].push_back(value); }

std::string parseOptions(const std::vector<std::string>& args, std::size_t first, const std::vector<OptionSpec>& known,
                         bool stopAtArgument, ParsedArgs& parsed, std::size_t& next, bool& optionsEnded) {
  // "+": stop at the first argument; "-": hand arguments back in order.
  // ":": a missing value is told apart from an unknown option.
  std::string shortOptions = stopAtArgument ? "+:" : "-:";
  std::vector<option> longOptions;
  for (std::size_t i = 0; i < known.size(); ++i) {
    const OptionSpec& described = known[i];
    const bool takesValue = !described.valueName.empty();
    if (described.shortName != 0) shortOptions += std::string(1, described.shortName) + (takesValue ? ":" : "");
    longOptions.push_back({described.name.c_str(), takesValue ? required_argument : no_argument, nullptr,
                           kLongOptionBase + static_cast<int>(i)});
  }
  longOptions.push_back({nullptr, 0, nullptr, 0});
  auto specOf = [&](int code) -> const OptionSpec* {
    if (code >= kLongOptionBase) return &known[static_cast<std::size_t>(code - kLongOptionBase)];
    for (const OptionSpec& described : known)
      if (code > 0 && described.shortName == code) return &described;
    return nullptr;
  };

  Words words(args, first);
  optind = 0;  // a fresh scan
  opterr = 0;  // errors are reported here, in the tool's words
  int lastSeparateValue = -1;
  for (;;) {
    const int code = getopt_long(words.argc(), words.argv(), shortOptions.c_str(), longOptions.data(), nullptr);
    if (code == -1) break;
    if (code == 1) {
      parsed.positionals.push_back(words.original(optarg));
      continue;
    }
    const OptionSpec* described = code == '?' || code == ':' ? specOf(optopt) : specOf(code);
    const std::string word = words.word(optind - 1);
    if (code == ':')
      return "option " + (described != nullptr && word.compare(0, 2, "--") == 0 ? "--" + described->name : word) +
             " needs a value (" + (described != nullptr ? described->valueName : "VALUE") + ")";
    if (code == '?') {
      if (optopt >= kLongOptionBase) return "option --" + described->name + " takes no value";
      if (optopt != 0) return "unknown option -" + std::string(1, static_cast<char>(optopt));
      return unknownOption(word, known);
    }
    if (!described->repeatable && !described->lastWins && parsed.has(described->name))
      return "option --" + described->name + " given twice";
    std::string value;
    if (!described->valueName.empty()) {
      value = words.original(optarg);
      if (optarg == words.argv()[optind - 1]) lastSeparateValue = optind - 1;
    }
    parsed.add(described->name, value);
  }
  // getopt_long stops after "--", or at the first argument with "+".
  optionsEnded = optind > 1 && optind - 1 != lastSeparateValue && words.word(optind - 1) == "--";
  if (stopAtArgument) {
    next = first + static_cast<std::size_t>(optind - 1);
  } else {
    for (int i = optind; i < words.argc(); ++i) parsed.positionals.push_back(words.original(words.argv()[i]));
    next = args.size();
  }
  return "";
}

bool parseInteger(const std::string& text, int& value) {
  if (text.empty()) return false;
  std::size_t start = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (start == text.size()) return false;
  for (std::size_t i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  errno = 0;
  long parsed = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace talixdb_cli
