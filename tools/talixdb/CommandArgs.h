// Options and positional arguments, read with getopt_long: every option that
// takes a value takes it as "--name VALUE" or "--name=VALUE" ("-o VALUE" or
// "-oVALUE" for a short one).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace talixdb_cli {

struct OptionSpec {
  std::string name;       // long name without the dashes: "output" for --output
  char shortName = 0;     // 'o' for -o; 0 when there is none
  std::string valueName;  // "FILE"; empty for a flag that takes no value
  std::string help;
  // Each value is kept (values()); otherwise a second use is a usage error.
  bool repeatable = false;
  // A later use replaces an earlier one (the global options).
  bool lastWins = false;
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

// Reads options from args[first] on. With `stopAtArgument`, reading stops at
// the first argument that is no option (its index goes to `next`; args.size()
// when there is none); otherwise every argument is read and the others become
// positionals, in order. "--" ends the options; `optionsEnded` tells whether
// one was met. A lone "-" and whole negative numbers are arguments, not
// options. Returns "" or a usage error.
std::string parseOptions(const std::vector<std::string>& args, std::size_t first, const std::vector<OptionSpec>& known,
                         bool stopAtArgument, ParsedArgs& parsed, std::size_t& next, bool& optionsEnded);

// A whole decimal int, sign allowed, nothing else around it.
bool parseInteger(const std::string& text, int& value);

}  // namespace talixdb_cli
