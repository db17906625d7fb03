// Options and positional arguments of one subcommand.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace talixdb_cli {

struct OptionSpec {
  std::string name;       // long name without the dashes: "output" for --output
  char shortName = 0;     // 'o' for -o; 0 when there is none
  std::string valueName;  // "FILE"; empty for a flag that takes no value
  std::string help;
  bool repeatable = false;
};

class ParsedArgs {
 public:
  std::vector<std::string> positionals;

  bool has(const std::string& option) const;
  // The value of an option given once (its last value), or `fallback`.
  std::string value(const std::string& option, const std::string& fallback = "") const;
  // Every value of a repeatable option, in command-line order.
  std::vector<std::string> values(const std::string& option) const;
  void add(const std::string& option, const std::string& value);

 private:
  std::map<std::string, std::vector<std::string>> m_options;
};

// Parses `args` against `specs`. A lone "-" and negative numbers are
// positionals; "--" ends the options. Returns "" or a usage error.
std::string parseCommandArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                             ParsedArgs& parsed);

// A whole decimal int, sign allowed, nothing else around it.
bool parseInteger(const std::string& text, int& value);

}  // namespace talixdb_cli
