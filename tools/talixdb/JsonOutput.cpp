#include "JsonOutput.h"

#include <cstdio>

namespace talixdb_cli {

const OptionSpec kJsonOption{"json", 0, "", "print the result as JSON (shape below)"};

void printJson(const nlohmann::json& document) {
  // Texts from the server need not be UTF-8: such bytes become U+FFFD rather
  // than an exception.
  const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace talixdb_cli
