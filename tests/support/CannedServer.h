// Loopback HTTP peers for tests: a canned server that records each request it
// receives and answers with a fixed reply (or never answers, or trickles), and
// a relay in front of a real server that can drop chosen requests; and
// connections to such peers.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace talixdb_test {

class CannedServer {
 public:
  enum Manner {
    kAnswer,   // a 200 reply with the body
    kSilent,   // accepts connections and never answers
    kTrickle,  // sends a reply head that never ends, one byte every 2 s, for
               // up to a minute or until the client goes
    kRaw,      // sends the body as the whole reply, head and all
    kFlood,    // sends a 200 reply that begins with the body and never ends,
               // 1 MiB of text every 20 ms, for up to a minute or until the
               // client goes
  };
  // `body` is the SOAP envelope sent back in a 200 reply (kRaw: the reply).
  explicit CannedServer(std::string body, Manner manner = kAnswer);
  ~CannedServer();
  CannedServer(const CannedServer&) = delete;
  CannedServer& operator=(const CannedServer&) = delete;

  int port() const { return m_port; }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  std::string endpoint() const { return "http://" + address() + "/vlt/services/QuillonBinding"; }
  // The raw requests (headers and body) received so far.
  std::vector<std::string> requests();

 private:
  void serve();
  int m_listenFd = -1;
  int m_port = 0;
  Manner m_manner;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;  // guards m_requests
  const std::string m_body;
  std::vector<std::string> m_requests;
  std::vector<int> m_heldConnections;
  std::thread m_thread;
};

// Passes each request to the server on 127.0.0.1:`upstreamPort` and its reply
// back, one connection at a time, except that a request holding every text of
// `dropMarkers` is dropped: its connection is closed without an answer. With
// `rate`, requests and replies pass at about that many bytes a second.
class RelayServer {
 public:
  RelayServer(int upstreamPort, std::vector<std::string> dropMarkers, std::size_t rate = 0);
  ~RelayServer();
  RelayServer(const RelayServer&) = delete;
  RelayServer& operator=(const RelayServer&) = delete;

  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  int dropped() const { return m_dropped; }

 private:
  void serve();
  void relay(int client, const std::string& request);
  int m_listenFd = -1;
  int m_port = 0;
  int m_upstreamPort;
  std::vector<std::string> m_dropMarkers;
  std::size_t m_rate;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_dropped{0};
  std::thread m_thread;
};

// A TCP connection to 127.0.0.1:port; -1 when refused. A small
// `receiveBuffer` makes a reader that stops reading soon stall the server;
// `source` is another loopback address to connect from (another client).
int connectTo(int port, int receiveBuffer = 0, const char* source = nullptr);

// Envelope around a body, with the service's namespaces declared.
std::string soapEnvelope(const std::string& body);

// One DIME record: `flags` 4 begins the message, 2 ends it, 1 is continued
// in the next record; type format 2 is a URI, 1 a media type, 0 unchanged.
// The header declares `declaredSize` whatever `data` holds.
std::string dimeRecord(int flags, int typeFormat, const std::string& type, const std::string& id,
                       const std::string& data, std::size_t declaredSize);


}  // namespace talixdb_test
