#include "TransferBar.h"

#include <atomic>
#include <cstdio>

namespace talixdb_cli {

namespace {

// Files below this size move without a bar: short commands stay quiet.
constexpr long long kLargeFile = 4LL << 20;
constexpr double kMiB = 1 << 20;

// Shared with the signal handler, so lock-free atomics only.
std::atomic<bool> g_inTransfer{false};
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onInterrupt(int signal) {
  if (g_inTransfer.load()) {
    g_interrupted.store(true);
    return;
  }
  // The action is the default again (SA_RESETHAND): the program ends as usual.
  ::raise(signal);
}

std::string mebibytes(long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / kMiB);
  return text;
}

}  // namespace

bool TransferBar::onTransfer(long long done, long long expected) {
  const bool finished = done >= expected;
  g_inTransfer.store(!finished);
  if (g_interrupted.load()) {
    if (!m_stopped) {
      m_stopped = true;
      m_logger.clearStatus();
      m_logger.mute();
    }
    return false;
  }
  if (done == 0) m_percentShown = -1;
  if (expected >= kLargeFile) {
    // One redraw per percent, however often the library reports.
    const int percent = static_cast<int>(done * 100 / expected);
    if (percent != m_percentShown) {
      if (!m_barShown) m_statusBefore = m_logger.statusText();
      m_barShown = true;
      m_percentShown = percent;
      m_logger.status("transfer " + progressBar(done, expected) + " " + mebibytes(done) + "/" + mebibytes(expected) +
                      " MiB");
    }
  }
  if (finished) {
    if (m_barShown) {
      // The status line of the operation comes back, if it had one.
      if (m_statusBefore.empty())
        m_logger.clearStatus();
      else
        m_logger.status(m_statusBefore);
    }
    m_barShown = false;
  }
  return true;
}

bool TransferBar::interrupted() const { return g_interrupted.load(); }

std::string TransferBar::interruptedMessage() {
  // The library drops the file in transfer on both sides; an operation that
  // moves several files keeps those it moved before (and what it made for
  // them), so no more is claimed.
  return "interrupted: the transfer in progress was stopped and left no partial file; what was done before it "
         "stays";
}

InterruptCatcher::InterruptCatcher() {
  if (::sigaction(SIGINT, nullptr, &m_previous) != 0 || m_previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // Once caught, Ctrl-C is back at its default: a second one ends a
  // transfer that does not come to a stop.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  m_installed = ::sigaction(SIGINT, &action, nullptr) == 0;
}

InterruptCatcher::~InterruptCatcher() {
  if (m_installed) ::sigaction(SIGINT, &m_previous, nullptr);
}

}  // namespace talixdb_cli
