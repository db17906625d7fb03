#include "CommandArgs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace talixdb_cli {

namespace {

bool looksLikeNumber(const std::string& arg) {
  int ignored = 0;
  return parseInteger(arg, ignored);
}

const OptionSpec* findLong(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& entry : specs)
    if (entry.name == name) return &entry;
  return nullptr;
}

const OptionSpec* findShort(const std::vector<OptionSpec>& specs, char name) {
  for (const OptionSpec& entry : specs)
    if (entry.shortName != 0 && entry.shortName == name) return &entry;
  return nullptr;
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

std::string parseCommandArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                             ParsedArgs& parsed) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-' || looksLikeNumber(arg)) {
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionSpec* entry = nullptr;
    std::string shown, value;
    bool hasValue = false;
    if (arg.compare(0, 2, "--") == 0) {
      std::string::size_type equals = arg.find('=');
      hasValue = equals != std::string::npos;
      shown = hasValue ? arg.substr(0, equals) : arg;
      if (hasValue) value = arg.substr(equals + 1);
      entry = findLong(specs, shown.substr(2));
    } else {
      shown = arg.substr(0, 2);
      if (arg.size() > 2) {
        hasValue = true;
        value = arg.substr(2);
      }
      entry = findShort(specs, arg[1]);
    }
    if (entry == nullptr) return "unknown option " + shown;
    if (entry->valueName.empty()) {
      if (hasValue) return "option " + shown + " takes no value";
    } else if (!hasValue) {
      if (i + 1 >= args.size()) return "option " + shown + " needs a value (" + entry->valueName + ")";
      value = args[++i];
    }
    if (!entry->repeatable && parsed.has(entry->name)) return "option --" + entry->name + " given twice";
    parsed.add(entry->name, value);
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
