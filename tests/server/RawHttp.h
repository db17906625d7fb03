// Plain socket exchanges with the server, for requests no SOAP client would send.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "support/CannedServer.h"

namespace talixdb_test {

// Whether the sending side stays open, like a client waiting for its reply.
enum class Ending { KeepOpen, CloseSending };

// A client connection to 127.0.0.1:port for tests of slow or idle clients.
class RawConnection {
 public:
  explicit RawConnection(int port, int receiveBuffer = 0, const char* source = nullptr);  // see connectTo
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return m_fd >= 0; }
  // False once the server has closed or reset the connection.
  bool send(const std::string& bytes);
  // Closes the sending side, so that the server sees the end of the data.
  void endSending();
  // One complete reply with a Content-Length, or what came until `timeout` or
  // the end of the connection.
  std::string reply(std::chrono::milliseconds timeout);
  // Reads up to `count` bytes, waiting at most `timeout`; "" at the end.
  std::string read(std::size_t count, std::chrono::milliseconds timeout);
  // True when the server ends the connection within `timeout`; bytes it
  // still sends are read and dropped.
  bool closedWithin(std::chrono::milliseconds timeout);

 private:
  int m_fd = -1;
  std::string m_pending;  // read beyond the last reply
};

// Sends `request` on a new connection and returns its reply (see reply()), ""
// when refused. Send errors are ignored: a server may close early on a refusal.
std::string exchange(int port, const std::string& request, Ending ending = Ending::KeepOpen,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// An HTTP POST of `body` to the service path, with the given SOAPAction.
std::string soapPost(const std::string& action, const std::string& body, const std::string& extraHeaders = "");

// The SOAPAction of a service operation.
std::string actionOf(const std::string& operation);

// A login envelope whose username element carries `attributes` and holds
// `user`, with `around` before it; the administrator's by default.
std::string loginEnvelope(const std::string& attributes = "", const std::string& user = "root",
                          const std::string& around = "");

}  // namespace talixdb_test
