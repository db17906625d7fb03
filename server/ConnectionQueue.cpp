#include "ConnectionQueue.h"

namespace talixdb::server {

bool ConnectionQueue::waitForRoom(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [this] { return m_connections.size() < m_capacity; });
}

void ConnectionQueue::push(Connection connection) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections.push_back(std::move(connection));
  }
  m_changed.notify_all();
}

std::optional<Connection> ConnectionQueue::pop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_closed || !m_connections.empty(); });
  if (m_connections.empty()) return std::nullopt;
  Connection connection = std::move(m_connections.front());
  m_connections.pop_front();
  lock.unlock();
  m_changed.notify_all();
  return connection;
}

void ConnectionQueue::close() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
  }
  m_changed.notify_all();
}

}  // namespace talixdb::server
