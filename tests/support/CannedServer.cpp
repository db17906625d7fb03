#include "support/CannedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "ServiceUris.h"

namespace talixdb_test {

namespace {

// Reads one HTTP request: headers, then Content-Length bytes of body.
std::string readRequest(int fd) {
  std::string data;
  char buffer[4096];
  size_t headerEnd = std::string::npos;
  size_t wanted = 0;
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) break;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (headerEnd == std::string::npos) {
      headerEnd = data.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        size_t at = data.find("Content-Length:");
        if (at == std::string::npos) at = data.find("content-length:");
        wanted = at == std::string::npos ? 0 : std::strtoul(data.c_str() + at + 15, nullptr, 10);
      }
    }
    if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + wanted) break;
  }
  return data;
}

}  // namespace

std::string soapEnvelope(const std::string& body) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
             "xmlns:ns1=\"") +
         TALIXDB_NS1_URI + "\" xmlns:ns2=\"" + TALIXDB_NS2_URI + "\"><SOAP-ENV:Body>" + body +
         "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

CannedServer::CannedServer(std::string body, bool silent) : m_silent(silent), m_body(std::move(body)) {
  m_listenFd = socket(AF_INET, SOCK_STREAM, 0);
  if (m_listenFd < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listenFd, 8) != 0)
    throw std::runtime_error("bind failed");
  socklen_t length = sizeof address;
  getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
  m_port = ntohs(address.sin_port);
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
    pollfd p{m_listenFd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept(m_listenFd, nullptr, nullptr);
    if (fd < 0) continue;
    if (m_silent) {
      m_heldConnections.push_back(fd);
      continue;
    }
    std::string request = readRequest(fd);
    std::string body;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(request);
      body = m_body;
    }
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(fd);
  }
}

std::vector<std::string> CannedServer::requests() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

void CannedServer::setBody(std::string body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_body = std::move(body);
}

}  // namespace talixdb_test
