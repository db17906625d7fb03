// Plain socket exchanges with the server, for requests no SOAP client would send.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace talixdb_test {

// How the sending side ends: left open like a client waiting for its reply,
// or closed for writing, so that the server sees the end of the data.
enum class Ending { KeepOpen, CloseSending };

// Sends `request` to 127.0.0.1:port and returns everything the server writes
// back until it closes the connection, a complete reply with a Content-Length
// has arrived (the server may keep the connection open), or `timeout`
// passes. Send errors are ignored: a server may close early on a request it
// refuses.
std::string exchange(int port, const std::string& request, Ending ending = Ending::KeepOpen,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// The length of the first complete reply at the start of `bytes` (after
// any interim "100 Continue"), or 0 while it is incomplete or has no
// Content-Length.
std::size_t completeReplyLength(const std::string& bytes);

// A client connection to 127.0.0.1:port for tests of slow or idle clients.
class RawConnection {
 public:
  // `receiveBuffer` > 0 sets a small socket receive buffer, so that a reader
  // that stops reading soon stalls the server.
  explicit RawConnection(int port, int receiveBuffer = 0);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return m_fd >= 0; }
  // False once the server has closed or reset the connection.
  bool send(const std::string& bytes);
  // One complete reply (see completeReplyLength), or what came until
  // `timeout` or the end of the connection.
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

// An HTTP POST of `body` to the service path, with the given SOAPAction.
std::string soapPost(const std::string& action, const std::string& body, const std::string& extraHeaders = "");

// The SOAPAction of a service operation.
std::string actionOf(const std::string& operation);

// The body of a login of the administrator with the default password.
extern const char* const kLoginBody;

}  // namespace talixdb_test
