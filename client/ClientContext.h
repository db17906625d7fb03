// CClientContext: what the client layer keeps on a proxy's runtime context,
// installed once as a gSOAP plugin and freed with the context.
//
// Deadline. Every exchange with the server (connecting, sending the request,
// reading the reply) must end within TALIXDB_CALL_TIMEOUT seconds (default
// 600; 0 = no limit) plus one second for each MiB of the request sent so far
// and of the attachment the call asked for (a download's file) received so
// far: a transfer that keeps an average of 1 MiB/s never reaches it, a peer
// that trickles bytes does, and a server cannot buy time with bytes nobody
// asked for. The socket time-outs (TALIXDB_CONNECT_TIMEOUT,
// TALIXDB_IO_TIMEOUT) still bound each single wait; each is shortened to the
// time left. A new exchange starts at each connection, and at the first send
// after a reply was read on a kept connection.
//
// Reply size. Besides the attachment asked for, a reply may hold at most
// kMaxReplyBytes (its HTTP header, envelope and DIME framing); the read of a
// larger one fails, so that no server can fill the host's memory with XML.
//
// Keep-alive. With TALIXDB_KEEPALIVE=1 the context keeps its connection
// open after a reply (HTTP keep-alive) and sends the next request on it,
// unless that reply said "Connection: close", was not read to its end, or
// something (the server closing it, say) has arrived on the connection since:
// then the runtime opens a new one before sending. A request is never sent
// twice: one that fails on a kept connection fails the call. Without the
// variable every call has a connection of its own, as always.
//
// Downloads. The attachment of the reply being read is streamed into the
// object set with setIncoming (see client/Transfers.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "WireTypes.h"

namespace VLT_121 {

// Microseconds an exchange may last once it has moved `bytes`: `baseSeconds`
// plus one second per MiB; 0 when `baseSeconds` is 0 (no limit).
std::int64_t exchangeAllowance(int baseSeconds, std::uint64_t bytes);

// Bytes of a reply besides the attachment the call asked for: 64 MiB.
constexpr std::uint64_t kMaxReplyBytes = std::uint64_t(64) << 20;

class CClientContext {
 public:
  // The state of `soap`, installed with its hooks on first use (reading
  // TALIXDB_CALL_TIMEOUT then); null without a context or memory.
  static CClientContext* of(struct soap* soap);

  // Where the attachment of the reply being read goes; null: nowhere.
  void setIncoming(void* target) { m_incoming = target; }
  void* incoming() const { return m_incoming; }
  // What a server answered while a request was still going out (a refusal
  // of an upload it would not take), kept by the upload that stopped for
  // it; take() empties it.
  void keepEarlyReply(std::string reply) { m_earlyReply = std::move(reply); }
  std::string takeEarlyReply() { return std::move(m_earlyReply); }
  // `bytes` of the attachment the call asked for have arrived: they extend
  // the exchange's deadline and do not count against kMaxReplyBytes.
  void creditAttachment(std::uint64_t bytes);
  // Bytes of the reply's HTTP body the runtime has not taken yet (from its
  // Content-Length), or 0 when the reply did not say how long it is.
  std::uint64_t replyBodyLeft(const struct soap* soap) const;
  // After a call: false when its reply declared a longer body than arrived
  // (the call read what it expected and stopped early, as when a server's
  // record lengths disagree with its Content-Length).
  bool replyReadToItsEnd(const struct soap* soap) const;

  // After a failed call: whether its exchange ran out of TALIXDB_CALL_TIMEOUT,
  // and that limit in seconds (0: none).
  bool timeUsedUp() const { return timeLeft() == 0; }
  int baseSeconds() const { return m_iBaseSeconds; }

  // Hooks of the context, called by the runtime.
  static SOAP_SOCKET open(struct soap* soap, const char* endpoint, const char* host, int port);
  static int send(struct soap* soap, const char* data, std::size_t size);
  static std::size_t receive(struct soap* soap, char* data, std::size_t size);
  static int reuse(struct soap* soap);
  static int finishReply(struct soap* soap);
  static int parseHeader(struct soap* soap);

 private:
  using Clock = std::chrono::steady_clock;

  explicit CClientContext(struct soap* soap);
  // The installed state, or null; never installs it.
  static CClientContext* find(struct soap* soap);
  static int create(struct soap* soap, struct soap_plugin* plugin, void*);
  static int copy(struct soap* soap, struct soap_plugin* target, struct soap_plugin* source);
  static void destroy(struct soap* soap, struct soap_plugin* plugin);

  void beginExchange();
  // Microseconds left in the exchange (at least 1), 0 when it is over, or
  // -1 without a limit.
  std::int64_t timeLeft() const;

  int m_iBaseSeconds;
  SOAP_SOCKET (*m_pOpen)(struct soap*, const char*, const char*, int);
  int (*m_pSend)(struct soap*, const char*, std::size_t);
  std::size_t (*m_pReceive)(struct soap*, char*, std::size_t);
  int (*m_pFinishReply)(struct soap*);
  int (*m_pParse)(struct soap*);
  Clock::time_point m_start;
  std::uint64_t m_moved = 0;       // sent, and received into the attachment asked for
  std::uint64_t m_received = 0;    // of the reply, in all
  std::uint64_t m_attachment = 0;  // of the reply, into the attachment asked for
  std::uint64_t m_bodyStart = 0;   // of m_received, where the reply's body begins
  bool m_bReplyRead = false;  // a receive came last: the next send opens an exchange
  bool m_bReplyEnded = false;  // the last reply was read to its end
  void* m_incoming = nullptr;
  std::string m_earlyReply;
};

}  // namespace VLT_121
