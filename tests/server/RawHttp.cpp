#include "RawHttp.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "ServiceUris.h"

namespace talixdb_test {

namespace {

// Waits until `deadline` for bytes and appends them: 1 when some came, 0 at
// the end of the connection (or a reset), -1 at the deadline.
int readSome(int fd, std::string& into, std::size_t most, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  pollfd waiting{fd, POLLIN, 0};
  if (::poll(&waiting, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) return -1;
  char buffer[16384];
  ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, most), 0);
  if (n <= 0) return 0;
  into.append(buffer, static_cast<std::size_t>(n));
  return 1;
}

// The length of the first complete reply at the start of `bytes`, or 0.
std::size_t completeReplyLength(const std::string& bytes) {
  const std::string head = bytes.substr(0, bytes.find("\r\n\r\n"));
  const std::size_t field = head.find("\r\nContent-Length: ");
  if (head.size() == bytes.size() || field == std::string::npos) return 0;
  const std::size_t end = head.size() + 4 + std::stoul(head.substr(field + 18));
  return bytes.size() >= end ? end : 0;
}

}  // namespace

RawConnection::RawConnection(int port, int receiveBuffer, const char* source)
    : m_fd(connectTo(port, receiveBuffer, source)) {}

RawConnection::~RawConnection() {
  if (m_fd >= 0) ::close(m_fd);
}

void RawConnection::endSending() { ::shutdown(m_fd, SHUT_WR); }

bool RawConnection::send(const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::string RawConnection::reply(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (completeReplyLength(m_pending) == 0 && readSome(m_fd, m_pending, SIZE_MAX, deadline) > 0) continue;
  std::size_t length = completeReplyLength(m_pending);
  if (length == 0) length = m_pending.size();
  std::string reply = m_pending.substr(0, length);
  m_pending.erase(0, length);
  return reply;
}

std::string RawConnection::read(std::size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (m_pending.size() < count && readSome(m_fd, m_pending, count - m_pending.size(), deadline) > 0) continue;
  std::string bytes = m_pending.substr(0, count);
  m_pending.erase(0, bytes.size());
  return bytes;
}

bool RawConnection::closedWithin(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string dropped;
  int got;
  while ((got = readSome(m_fd, dropped, SIZE_MAX, deadline)) > 0) dropped.clear();
  return got == 0;
}

std::string exchange(int port, const std::string& request, Ending ending, std::chrono::milliseconds timeout) {
  RawConnection connection(port);
  if (!connection.connected()) return std::string();
  connection.send(request);
  if (ending == Ending::CloseSending) connection.endSending();
  return connection.reply(timeout);
}

std::string soapPost(const std::string& action, const std::string& body, const std::string& extraHeaders) {
  return "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\n"
         "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nSOAPAction: \"" + action + "\"\r\n" + extraHeaders + "\r\n" + body;
}

std::string actionOf(const std::string& operation) { return TALIXDB_NS1_URI + operation; }

std::string loginEnvelope(const std::string& attributes, const std::string& user, const std::string& around) {
  return soapEnvelope("<ns1:LoginRequestElement>" + around + "<ns1:username" + attributes + ">" + user +
                      "</ns1:username><ns1:password>kelp482</ns1:password><ns1:domain>Default</ns1:domain>"
                      "<ns1:locale>en</ns1:locale></ns1:LoginRequestElement>");
}

}  // namespace talixdb_test
