#include "net/Connection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <algorithm>

namespace talixdb::server {

int ConnectionCounts::total() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_total;
}

int ConnectionCounts::from(const std::string& address) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_byAddress.find(address);
  return found == m_byAddress.end() ? 0 : found->second;
}

void ConnectionCounts::add(const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_byAddress[address];
  ++m_total;
}

void ConnectionCounts::remove(const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_byAddress.find(address);
  if (found != m_byAddress.end() && --found->second <= 0) m_byAddress.erase(found);
  --m_total;
}

void Connection::count(std::string client, std::shared_ptr<ConnectionCounts> counts) {
  if (m_counts) return;
  counts->add(client);
  m_client = std::move(client);
  m_counts = std::move(counts);
}

Connection::~Connection() { release(); }

Connection::Connection(Connection&& other) noexcept { *this = std::move(other); }

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this == &other) return *this;
  release();
  served = other.served;
  request = std::move(other.request);
  requestComplete = other.requestComplete;
  received = std::move(other.received);
  pending = std::move(other.pending);
  replyDeadline = other.replyDeadline;
  replySent = other.replySent;
  closeAfterReply = other.closeAfterReply;
  started = other.started;
  operation = std::move(other.operation);
  user = std::move(other.user);
  m_socket = other.m_socket;
  m_client = std::move(other.m_client);
  m_tls = other.m_tls;
  m_counts = std::move(other.m_counts);
  m_budget = other.m_budget;
  m_held = other.m_held;
  other.m_socket = -1;
  other.m_tls = nullptr;
  other.m_budget = nullptr;
  other.m_held = 0;
  return *this;
}

void Connection::setClient(const std::string& client) {
  if (m_counts) {
    m_counts->add(client);
    m_counts->remove(m_client);
  }
  m_client = client;
}

void Connection::setTls(SSL* tls) {
  if (m_tls != nullptr && m_tls != tls) SSL_free(m_tls);
  m_tls = tls;
}

bool Connection::hold(HeldBytes& budget, std::uint64_t bytes) {
  if (m_budget != nullptr && m_budget != &budget) letGo();
  if (!budget.take(bytes)) return false;
  m_budget = &budget;
  m_held += bytes;
  return true;
}

void Connection::adopt(HeldBytes& budget, std::uint64_t bytes) {
  if (m_budget != nullptr && m_budget != &budget) letGo();
  m_budget = &budget;
  m_held += bytes;
}

void Connection::letGo(std::uint64_t bytes) {
  bytes = std::min(bytes, m_held);
  if (m_budget != nullptr) m_budget->give(bytes);
  m_held -= bytes;
}

void Connection::letGo() {
  if (m_budget != nullptr) m_budget->give(m_held);
  m_held = 0;
}

void Connection::release() noexcept {
  letGo();
  if (m_tls != nullptr) {
    SSL_shutdown(m_tls);  // a close_notify when the socket takes it; nothing waits for the answer
    SSL_free(m_tls);
    ERR_clear_error();
    m_tls = nullptr;
  }
  if (m_socket >= 0) ::close(m_socket);
  m_socket = -1;
  try {
    if (m_counts) m_counts->remove(m_client);
  } catch (...) {
    // A lock that cannot be taken: the count stays one too high.
  }
  m_counts.reset();
}

}  // namespace talixdb::server
