#include "TransferBar.h"

#include <cstdio>

#include "Supervisor.h"

namespace talixdb_cli {

namespace {

// Files below this size move without a bar: short commands stay quiet.
constexpr long long kLargeFile = 4LL << 20;
constexpr double kMiB = 1 << 20;

std::string mebibytes(long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / kMiB);
  return text;
}

}  // namespace

bool TransferBar::onTransfer(long long done, long long expected) {
  const bool finished = done >= expected;
  Supervisor::setTransferring(!finished);
  if (Supervisor::stopRequested()) {
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

bool TransferBar::interrupted() const { return m_stopped; }

std::string TransferBar::interruptedMessage() {
  // The library drops the file in transfer on both sides; an operation that
  // moves several files keeps those it moved before (and what it made for
  // them), so no more is claimed.
  return "interrupted: the transfer in progress was stopped and left no partial file; what was done before it "
         "stays";
}

}  // namespace talixdb_cli
