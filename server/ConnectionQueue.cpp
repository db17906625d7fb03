#include "ConnectionQueue.h"

namespace talixdb::server {

bool ConnectionQueue::waitForRoom(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [this] { return m_sockets.size() < m_capacity; });
}

void ConnectionQueue::push(int socket) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.push_back(socket);
  }
  m_changed.notify_all();
}

std::optional<int> ConnectionQueue::pop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_closed || !m_sockets.empty(); });
  if (m_sockets.empty()) return std::nullopt;
  int socket = m_sockets.front();
  m_sockets.pop_front();
  lock.unlock();
  m_changed.notify_all();
  return socket;
}

void ConnectionQueue::close() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
  }
  m_changed.notify_all();
}

}  // namespace talixdb::server
