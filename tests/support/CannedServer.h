// A loopback HTTP peer for wire tests: it records each request it receives and
// answers with a fixed reply (or, in silent mode, never answers).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace talixdb_test {

class CannedServer {
 public:
  // `body` is the SOAP envelope sent back in a 200 reply; `silent` accepts
  // connections and never answers.
  explicit CannedServer(std::string body, bool silent = false);
  ~CannedServer();
  CannedServer(const CannedServer&) = delete;
  CannedServer& operator=(const CannedServer&) = delete;

  int port() const { return m_port; }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  std::string endpoint() const { return "http://" + address() + "/vlt/services/QuillonBinding"; }
  // The raw requests (headers and body) received so far.
  std::vector<std::string> requests();
  void setBody(std::string body);

 private:
  void serve();
  int m_listenFd = -1;
  int m_port = 0;
  bool m_silent;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::string m_body;
  std::vector<std::string> m_requests;
  std::vector<int> m_heldConnections;
  std::thread m_thread;
};

// Envelope around a body, with the service's namespaces declared.
std::string soapEnvelope(const std::string& body);

}  // namespace talixdb_test
