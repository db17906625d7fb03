#include "RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ServiceUris.h"

namespace talixdb_test {

std::string exchange(int port, const std::string& request, Ending ending, std::chrono::milliseconds timeout) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return std::string();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return std::string();
  }
  std::size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  if (ending == Ending::CloseSending) ::shutdown(fd, SHUT_WR);
  std::string reply;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) break;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return reply;
}

std::string soapPost(const std::string& action, const std::string& body, const std::string& extraHeaders) {
  return "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\n"
         "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nSOAPAction: \"" + action + "\"\r\n" + extraHeaders + "\r\n" + body;
}

std::string actionOf(const std::string& operation) { return TALIXDB_NS1_URI + operation; }

}  // namespace talixdb_test
