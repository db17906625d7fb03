// An accepted connection as the waiting room and the workers hand it over.
// It owns its socket and TLS session and its place among the connections
// counted: whatever happens to it, its destruction closes them and frees the
// place, so an error on the way leaks no descriptor.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "http/ConnectionPolicy.h"

typedef struct ssl_st SSL;

namespace talixdb::server {

// The connections open, in all and by client address.
class ConnectionCounts {
 public:
  int total() const;
  int from(const std::string& address) const;
  void add(const std::string& address);
  void remove(const std::string& address);

 private:
  mutable std::mutex m_mutex;
  std::unordered_map<std::string, int> m_byAddress;
  int m_total = 0;
};

class Connection {
 public:
  using Clock = std::chrono::steady_clock;

  Connection() = default;
  // Takes `socket`; nothing can fail here, so it is never lost.
  explicit Connection(int socket) noexcept : m_socket(socket) {}
  // Counts the connection in `counts` under `client`, once.
  void count(std::string client, std::shared_ptr<ConnectionCounts> counts);
  ~Connection();
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int socket() const { return m_socket; }
  const std::string& client() const { return m_client; }
  // Counts the connection under another address (the real client a PROXY
  // header names).
  void setClient(const std::string& client);
  SSL* tls() const { return m_tls; }
  // Takes the TLS session over the socket.
  void setTls(SSL* tls);

  // Takes `bytes` from `budget` for the buffers below; false when it is spent.
  bool hold(HeldBytes& budget, std::uint64_t bytes);
  // Takes over `bytes` already taken from `budget` (a reply a worker held).
  void adopt(HeldBytes& budget, std::uint64_t bytes);
  // Gives back `bytes` of what it holds, or all.
  void letGo(std::uint64_t bytes);
  void letGo();

  int served = 0;                // requests served on it so far
  std::string request;           // bytes of the next request, read by the waiting room
  bool requestComplete = false;  // `request` holds it all; else the worker reads the rest from the socket
  std::string received;          // bytes read beyond that request
  std::string pending;           // bytes of a reply its client has not taken yet
  Deadline replyDeadline;        // of that reply
  std::uint64_t replySent = 0;   // bytes of the reply sent so far
  bool closeAfterReply = false;  // the reply is the connection's last
  Clock::time_point started{};   // when the request began, for the log
  std::string operation;         // of the request, for the log
  std::string user;

 private:
  void release() noexcept;
  int m_socket = -1;
  std::string m_client;
  SSL* m_tls = nullptr;
  std::shared_ptr<ConnectionCounts> m_counts;
  HeldBytes* m_budget = nullptr;
  std::uint64_t m_held = 0;
};

}  // namespace talixdb::server
