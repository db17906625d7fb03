// A bounded queue of accepted connections between the accepting thread and
// the workers. Closing it lets the workers drain what is queued and stop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace talixdb::server {

// One accepted connection and its peer's address, for the log.
struct Connection {
  int socket = -1;
  std::string client;
};

class ConnectionQueue {
 public:
  explicit ConnectionQueue(std::size_t capacity) : m_capacity(capacity) {}

  // Waits up to `timeout` for room; true when a push would not block.
  bool waitForRoom(std::chrono::milliseconds timeout);
  // Adds a connection (the queue may briefly exceed its capacity).
  void push(Connection connection);
  // The next connection; nothing once the queue is closed and empty.
  std::optional<Connection> pop();
  void close();

 private:
  std::size_t m_capacity;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<Connection> m_connections;
  bool m_closed = false;
};

}  // namespace talixdb::server
