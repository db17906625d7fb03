#include "PasswordPrompt.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <iostream>

namespace talixdb_cli {

namespace {

// The terminal's settings while the prompt waits, for the signal handler.
termios g_saved;
const int kSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};
constexpr std::size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

extern "C" void restoreAndRaise(int signal) {
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Echo off for its lifetime; a signal on the way puts the settings back
// before the default action ends the program.
class EchoOff {
 public:
  EchoOff() {
    if (::tcgetattr(STDIN_FILENO, &g_saved) != 0) return;
    struct sigaction action {};
    action.sa_handler = restoreAndRaise;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &action, &m_previous[i]);
    m_handlersSet = true;
    termios quiet = g_saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    m_active = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (m_active) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    if (m_handlersSet)
      for (std::size_t i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &m_previous[i], nullptr);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  struct sigaction m_previous[kSignalCount] {};
  bool m_handlersSet = false;
  bool m_active = false;
};

}  // namespace

bool canPrompt() { return ::isatty(STDIN_FILENO) == 1; }

bool promptForPassword(const std::string& prompt, std::string& password) {
  bool read = false;
  {
    EchoOff quiet;
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    read = static_cast<bool>(std::getline(std::cin, password));
  }
  // The Enter that ended the line was not shown either.
  std::fputs("\n", stderr);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return read;
}

}  // namespace talixdb_cli
