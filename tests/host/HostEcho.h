// The test host's own gSOAP code behind an interface without gSOAP types, so
// that the tests can link it in each way a host does: as objects, as objects
// after the library, as a shared library before or after it.
#pragma once

#include <atomic>
#include <string>
#include <thread>

struct soap;

namespace host_echo {

// Serves the echo operation on 127.0.0.1 (a free port) in a thread of its
// own, one request per connection, until destroyed (not copied: it owns a thread).
class Server {
 public:
  Server();
  ~Server();
  int port() const { return m_port; }

 private:
  void serve();
  struct soap* m_soap;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// Calls echo on 127.0.0.1:port with `ticket` in the request's SOAP Header;
// returns the reply and the ticket of the reply's header as "reply|ticket",
// or "error N" when the call fails.
std::string call(int port, const std::string& text, const std::string& ticket);

}  // namespace host_echo
