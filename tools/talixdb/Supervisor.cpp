#include "Supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ExitCodes.h"

namespace talixdb_cli {

namespace {

// The signals that stop a command, and what they were set to before.
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_previous[kSignalCount];
bool g_installed[kSignalCount] = {};

// Shared with the signal handler: lock-free atomics and a pipe only.
std::atomic<int> g_stopSignal{0};  // the first stopping signal; -1 for the deadline
std::atomic<bool> g_transferring{false};
int g_wakePipe[2] = {-1, -1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

// How long the copy that ends the session may wait for the server, and how
// long a stopped command may take to end once its deadline has passed.
const char kGuardSeconds[] = "5";
constexpr auto kStopGrace = std::chrono::seconds(2);
// When the note about a slow connection appears.
constexpr auto kNoteAfter = std::chrono::seconds(2);

extern "C" void onStopSignal(int signal) {
  int none = 0;
  if (!g_stopSignal.compare_exchange_strong(none, signal)) {
    // A closed pipe stays closed: the writes that follow fail on their own.
    if (signal == SIGPIPE) return;
    // A second signal ends the program at once.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  const char byte = 's';
  ssize_t ignored = ::write(g_wakePipe[1], &byte, 1);
  (void)ignored;
}

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "Ctrl-C (SIGINT)";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case SIGPIPE:
      return "a closed output (SIGPIPE)";
    default:
      return "a signal";
  }
}

// Sets an environment variable for its lifetime.
class EnvironmentSetting {
 public:
  EnvironmentSetting(const char* name, const char* value) : m_name(name) {
    if (const char* before = std::getenv(name)) m_before = before, m_had = true;
    ::setenv(name, value, 1);
  }
  ~EnvironmentSetting() {
    if (m_had)
      ::setenv(m_name, m_before.c_str(), 1);
    else
      ::unsetenv(m_name);
  }
  EnvironmentSetting(const EnvironmentSetting&) = delete;
  EnvironmentSetting& operator=(const EnvironmentSetting&) = delete;

 private:
  const char* m_name;
  std::string m_before;
  bool m_had = false;
};

}  // namespace

Supervisor::Supervisor(ConsoleLogger& logger) : m_logger(logger) {
  if (::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) g_wakePipe[0] = g_wakePipe[1] = -1;
  for (int i = 0; i < kSignalCount; ++i) {
    if (::sigaction(kSignals[i], nullptr, &g_previous[i]) != 0 || g_previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    g_installed[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
  }
  m_thread = std::thread([this] { watch(); });
}

Supervisor::~Supervisor() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
  }
  m_wake.notify_all();
  const char byte = 'e';
  ssize_t ignored = ::write(g_wakePipe[1], &byte, 1);
  (void)ignored;
  m_thread.join();
  for (int i = 0; i < kSignalCount; ++i)
    if (g_installed[i]) ::sigaction(kSignals[i], &g_previous[i], nullptr);
  for (int& end : g_wakePipe) {
    if (end >= 0) ::close(end);
    end = -1;
  }
}

void Supervisor::setDeadline(int seconds) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_hasDeadline = seconds > 0;
  m_deadlineSeconds = seconds;
  m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  m_wake.notify_all();
}

void Supervisor::connecting(const std::string& address, int limitSeconds) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_address = address;
  m_connecting = true;
  m_connectStart = std::chrono::steady_clock::now();
  m_connectLimit = limitSeconds;
  m_wake.notify_all();
}

void Supervisor::connected() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_connecting = false;
  if (m_noteShown) m_logger.clearStatus();
  m_noteShown = false;
}

void Supervisor::sessionStarted(const VLT_121::CVLTDatabase& db) {
  // The copy reads its time limits now: it must not wait long for a server
  // that does not answer.
  EnvironmentSetting call("TALIXDB_CALL_TIMEOUT", kGuardSeconds);
  EnvironmentSetting connect("TALIXDB_CONNECT_TIMEOUT", kGuardSeconds);
  EnvironmentSetting io("TALIXDB_IO_TIMEOUT", kGuardSeconds);
  auto guard = std::make_unique<VLT_121::CVLTDatabase>(db);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_guard = std::move(guard);
  m_sessionEnded = false;
  // A stop that came during the login ends the session it made.
  if (stopRequested()) endSession();
}

void Supervisor::sessionEnded() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_guard.reset();
}

bool Supervisor::sessionEndedByStop() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_sessionEnded;
}

bool Supervisor::stopRequested() { return g_stopSignal.load() != 0; }

void Supervisor::setTransferring(bool transferring) { g_transferring.store(transferring); }

int Supervisor::exitStatus() const {
  const int signal = g_stopSignal.load();
  return signal > 0 ? 128 + signal : exit_code::kTimedOut;
}

std::string Supervisor::stopMessage() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return stopText();
}

std::string Supervisor::stopText() const {
  const int signal = g_stopSignal.load();
  std::string text = signal > 0 ? std::string("stopped by ") + signalName(signal)
                                : "time-out: the command did not end within --timeout " +
                                      std::to_string(m_deadlineSeconds) + " s";
  if (m_sessionEnded) text += "; the session was ended";
  return text;
}

// Ends the session through the copy; with m_mutex held.
void Supervisor::endSession() {
  if (!m_guard || m_sessionEnded) return;
  m_guard->logout();
  m_sessionEnded = true;
}

// With m_mutex held: a stop without a session ends the program as the
// signal's default action would, unless a transfer must first stop cleanly.
void Supervisor::stop() {
  if (m_guard) {
    endSession();
    return;
  }
  const int signal = g_stopSignal.load();
  if (signal > 0 && !g_transferring.load()) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}

void Supervisor::watch() {
  using Clock = std::chrono::steady_clock;
  bool stopped = false;
  Clock::time_point stoppedAt{};
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_finished) {
    // The next moment something is due, at most a second away.
    Clock::time_point due = Clock::now() + std::chrono::seconds(1);
    if (m_connecting && !m_noteShown && m_connectStart + kNoteAfter < due) due = m_connectStart + kNoteAfter;
    if (m_hasDeadline && !stopped && m_deadline < due) due = m_deadline;
    lock.unlock();
    struct pollfd wake = {g_wakePipe[0], POLLIN, 0};
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
    if (::poll(&wake, 1, wait > 0 ? static_cast<int>(wait) : 0) > 0) {
      char bytes[16];
      while (::read(g_wakePipe[0], bytes, sizeof bytes) > 0) {
      }
    }
    lock.lock();
    if (m_finished) break;
    const Clock::time_point now = Clock::now();
    if (m_connecting && !m_noteShown && now >= m_connectStart + kNoteAfter) {
      m_logger.status("waiting for " + m_address + "...");
      m_noteShown = true;
    }
    if (m_hasDeadline && !stopped && now >= m_deadline) {
      int none = 0;
      g_stopSignal.compare_exchange_strong(none, -1);
    }
    const bool connectionTimedOut =
        m_connecting && m_connectLimit > 0 && now >= m_connectStart + std::chrono::seconds(m_connectLimit);
    if (stopRequested() && !stopped) {
      stopped = true;
      stoppedAt = now;
      stop();
    }
    // Nothing to undo before a login, and a command past its deadline that
    // does not come to an end (a request the server never answers) is ended
    // here; a transfer in progress ends by its own limits.
    const bool overdue = stopped && g_stopSignal.load() < 0 && now >= stoppedAt + kStopGrace;
    if ((connectionTimedOut && !m_guard) || (overdue && !g_transferring.load())) {
      m_logger.finalError(connectionTimedOut ? "no answer from " + m_address + " within " +
                                                   std::to_string(m_connectLimit) + " s (--timeout sets the limit)"
                                             : stopText());
      std::_Exit(exit_code::kTimedOut);
    }
  }
}

}  // namespace talixdb_cli
