#include "net/WorkerPool.h"

#include <sys/socket.h>

#include <exception>
#include <system_error>

#include "base/Guard.h"

namespace talixdb::server {

WorkerPool::WorkerPool(int ready, int most, std::chrono::seconds linger, MakeWorker make, KeepConnection keep)
    : m_ready(ready),
      m_most(most < ready ? ready : most),
      m_linger(linger),
      m_make(std::move(make)),
      m_keep(std::move(keep)) {}

WorkerPool::~WorkerPool() { stop(std::chrono::milliseconds(0)); }

void WorkerPool::start() {
  // All storage connections first: a refusal leaves no thread behind.
  std::list<Slot> made;
  for (int i = 0; i < m_ready; ++i) made.emplace_back().worker = m_make();
  std::lock_guard<std::mutex> lock(m_mutex);
  for (Slot& slot : made) {
    ++m_waiting;
    slot.thread = std::thread(&WorkerPool::run, this, std::ref(slot));
  }
  m_slots.splice(m_slots.end(), made);
}

void WorkerPool::submit(Connection connection) {
  std::unique_lock<std::mutex> lock(m_mutex);
  joinFinished(lock);
  if (m_stopping) return;  // the connection closes
  m_queue.push_back(std::move(connection));
  if (m_waiting < static_cast<int>(m_queue.size()) && static_cast<int>(m_slots.size()) < m_most) startExtra(lock);
  m_work.notify_one();
}

// One worker more. When its thread cannot start (out of threads or memory),
// the queued request waits for the workers there are; the newest is refused
// once more wait than there are workers to take them soon.
void WorkerPool::startExtra(std::unique_lock<std::mutex>&) {
  Slot& slot = m_slots.emplace_back();
  slot.extra = true;
  ++m_waiting;
  try {
    slot.thread = std::thread(&WorkerPool::run, this, std::ref(slot));
    return;
  } catch (const std::system_error& problem) {
    --m_waiting;
    m_slots.pop_back();
    m_startFailures.write("cannot start one more worker (" + std::string(problem.what()) + "): " +
                          std::to_string(m_slots.size()) + " serve");
    if (m_queue.size() > m_slots.size()) {
      m_refusals.write("refused a request from " + m_queue.back().client() + ": " +
                       std::to_string(m_queue.size() - 1) + " wait for a worker already");
      m_queue.pop_back();
    }
  }
}

void WorkerPool::stop(std::chrono::milliseconds grace) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_stopping = true;
  m_work.notify_all();
  m_idle.wait_for(lock, grace, [this] { return m_queue.empty() && m_busy == 0; });
  // Out of time: what waits is closed, what runs is cut. A socket in service
  // is still open here: its worker closes it only after it has given it up
  // under this lock.
  m_queue.clear();
  for (Slot& slot : m_slots)
    if (slot.socket >= 0) ::shutdown(slot.socket, SHUT_RDWR);
  std::list<Slot> slots;
  slots.splice(slots.end(), m_slots);
  lock.unlock();
  for (Slot& slot : slots)
    if (slot.thread.joinable()) slot.thread.join();
}

WorkerPool::Load WorkerPool::load() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return Load{static_cast<int>(m_slots.size()), m_busy, static_cast<int>(m_queue.size())};
}

int WorkerPool::size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_slots.size());
}

void WorkerPool::run(Slot& slot) {
  if (!slot.worker) {
    try {
      std::unique_ptr<Worker> worker = m_make();
      std::lock_guard<std::mutex> lock(m_mutex);
      slot.worker = std::move(worker);
    } catch (const std::exception& problem) {
      m_startFailures.write(std::string("cannot start one more worker: ") + problem.what());
      std::lock_guard<std::mutex> lock(m_mutex);
      --m_waiting;
      slot.finished = true;
      return;
    }
  }
  std::unique_lock<std::mutex> lock(m_mutex);
  const auto hasWork = [this] { return !m_queue.empty() || m_stopping; };
  for (;;) {
    if (slot.extra) {
      m_work.wait_for(lock, m_linger, hasWork);
    } else {
      m_work.wait(lock, hasWork);
    }
    if (m_queue.empty()) {
      // Stopping, or an extra worker without work for a while.
      --m_waiting;
      slot.finished = true;
      return;
    }
    Connection connection = std::move(m_queue.front());
    m_queue.pop_front();
    --m_waiting;
    ++m_busy;
    slot.socket = connection.socket();
    lock.unlock();
    const bool kept = slot.worker->serve(connection);
    lock.lock();
    slot.socket = -1;
    --m_busy;
    ++m_waiting;
    const bool stopping = m_stopping;
    lock.unlock();
    if (kept && !stopping) guardedRun("giving a connection back", [&] { m_keep(std::move(connection)); });
    connection = Connection();  // closed here, unless given back
    lock.lock();
    m_idle.notify_all();
  }
}

// Joins extra workers that ended; their storage connections go with them.
void WorkerPool::joinFinished(std::unique_lock<std::mutex>& lock) {
  std::list<Slot> finished;
  for (auto slot = m_slots.begin(); slot != m_slots.end();) {
    auto next = std::next(slot);
    if (slot->finished) finished.splice(finished.end(), m_slots, slot);
    slot = next;
  }
  if (finished.empty()) return;
  lock.unlock();
  for (Slot& slot : finished) slot.thread.join();
  finished.clear();
  lock.lock();
}

}  // namespace talixdb::server
