#include "support/CannedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "ServiceUris.h"

namespace talixdb_test {

namespace {

// True when `fd` has something to read (or has ended) within `ms`.
bool readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

// Reads one HTTP request: headers, then Content-Length bytes of body.
// A head and as many bytes of body as its Content-Length says.
bool isWholeRequest(const std::string& data) {
  const size_t headerEnd = data.find("\r\n\r\n");
  if (headerEnd == std::string::npos) return false;
  const size_t at = data.find("Content-Length:");
  const size_t wanted = at == std::string::npos ? 0 : std::strtoul(data.c_str() + at + 15, nullptr, 10);
  return data.size() >= headerEnd + 4 + wanted;
}

// With `rate`, at about that many bytes a second.
std::string readRequest(int fd, std::size_t rate = 0) {
  std::string data;
  char buffer[4096];
  for (ssize_t n; readable(fd, 5000) && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    data.append(buffer, static_cast<size_t>(n));
    if (rate > 0) std::this_thread::sleep_for(std::chrono::microseconds(n * 1000000 / rate));
    if (isWholeRequest(data)) break;
  }
  return data;
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// A socket listening on a free loopback port, which goes to `port`.
int listenOnLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address = loopback(0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// The next connection, or -1 after 50 ms without one.
int acceptWithin50ms(int listenFd) { return readable(listenFd, 50) ? accept(listenFd, nullptr, nullptr) : -1; }

bool sendAll(int fd, const char* data, size_t size) {
  for (ssize_t sent; size > 0; data += sent, size -= static_cast<size_t>(sent))
    if ((sent = send(fd, data, size, MSG_NOSIGNAL)) <= 0) return false;
  return true;
}

// A reply head that never ends, one byte every two seconds, until the client
// closes its end or a minute has passed.
void trickle(int fd, const std::atomic<bool>& stop) {
  const std::string head = "HTTP/1.1 200 OK\r\nX-Trickle: ";
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  for (size_t i = 0; !stop && std::chrono::steady_clock::now() < end; ++i) {
    const char byte = i < head.size() ? head[i] : 'a';
    if (send(fd, &byte, 1, MSG_NOSIGNAL) != 1 || readable(fd, 2000)) return;  // the client closed its end
  }
}

// A reply that begins with `opening` and never ends: 1 MiB of text every
// 20 ms, until the client closes its end or a minute has passed.
void flood(int fd, const std::string& opening, const std::atomic<bool>& stop) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: 999999999999\r\n\r\n";
  const std::string piece(1u << 20, 'a');
  if (!sendAll(fd, head.data(), head.size()) || !sendAll(fd, opening.data(), opening.size())) return;
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!stop && std::chrono::steady_clock::now() < end && sendAll(fd, piece.data(), piece.size()))
    if (readable(fd, 20)) return;  // the client closed its end
}

}  // namespace

int connectTo(int port, int receiveBuffer, const char* source) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in address = loopback(port);
  sockaddr_in from = loopback(0);
  const bool bound = source == nullptr || (inet_pton(AF_INET, source, &from.sin_addr) == 1 &&
                                           bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0);
  if (bound && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

std::string soapEnvelope(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/"
         "soap/envelope/\" xmlns:ns1=\"" TALIXDB_NS1_URI "\" xmlns:ns2=\"" TALIXDB_NS2_URI "\"><SOAP-ENV:Body>" +
         body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string dimeRecord(int flags, int typeFormat, const std::string& type, const std::string& id,
                       const std::string& data, std::size_t declaredSize) {
  auto padded = [](std::string bytes) { return bytes.append((4 - bytes.size() % 4) % 4, '\0'); };
  std::string header{static_cast<char>(0x08 | flags), static_cast<char>(typeFormat << 4), 0, 0,
                     static_cast<char>(id.size() >> 8), static_cast<char>(id.size() & 0xff),
                     static_cast<char>(type.size() >> 8), static_cast<char>(type.size() & 0xff)};
  for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<char>((declaredSize >> shift) & 0xff));
  return header + padded(id) + padded(type) + padded(data);
}

CannedServer::CannedServer(std::string body, Manner manner) : m_manner(manner), m_body(std::move(body)) {
  m_listenFd = listenOnLoopback(m_port);
  m_thread = std::thread([this] { serve(); });
}

CannedServer::~CannedServer() {
  m_stop = true;
  m_thread.join();
  for (int fd : m_heldConnections) close(fd);
  close(m_listenFd);
}

void CannedServer::serve() {
  while (!m_stop) {
    int fd = acceptWithin50ms(m_listenFd);
    if (fd < 0) continue;
    if (m_manner == kSilent) {
      m_heldConnections.push_back(fd);
      continue;
    }
    std::string request = readRequest(fd);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(std::move(request));
    }
    if (m_manner == kTrickle) {
      trickle(fd, m_stop);
    } else if (m_manner == kFlood) {
      flood(fd, m_body, m_stop);
    } else if (m_manner == kRaw) {
      sendAll(fd, m_body.data(), m_body.size());
    } else {
      std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
                          std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
      sendAll(fd, reply.data(), reply.size());
    }
    close(fd);
  }
}

std::vector<std::string> CannedServer::requests() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

RelayServer::RelayServer(int upstreamPort, std::vector<std::string> dropMarkers, std::size_t rate)
    : m_upstreamPort(upstreamPort), m_dropMarkers(std::move(dropMarkers)), m_rate(rate) {
  m_listenFd = listenOnLoopback(m_port);
  m_thread = std::thread([this] { serve(); });
}

RelayServer::~RelayServer() {
  m_stop = true;
  m_thread.join();
  close(m_listenFd);
}

void RelayServer::serve() {
  while (!m_stop) {
    int client = acceptWithin50ms(m_listenFd);
    if (client < 0) continue;
    std::string request = readRequest(client, m_rate);
    bool drop = !m_dropMarkers.empty();
    for (const std::string& marker : m_dropMarkers) drop = drop && request.find(marker) != std::string::npos;
    if (drop)
      ++m_dropped;
    else if (isWholeRequest(request))  // not one its client gave up
      relay(client, request);
    close(client);
  }
}

void RelayServer::relay(int client, const std::string& request) {
  const int upstream = connectTo(m_upstreamPort);
  if (upstream < 0) return;
  if (sendAll(upstream, request.data(), request.size())) {
    // The server closes the connection after its reply.
    char buffer[65536];
    for (ssize_t got; (got = recv(upstream, buffer, sizeof buffer, 0)) > 0;) {
      if (!sendAll(client, buffer, static_cast<size_t>(got))) break;
      if (m_rate > 0) std::this_thread::sleep_for(std::chrono::microseconds(got * 1000000 / m_rate));
    }
  }
  close(upstream);
}

}  // namespace talixdb_test
