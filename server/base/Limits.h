// Every limit of the server in one place: the ones its options set, with
// their unit, default and range, and the fixed ones beside them. checkLimits
// holds them against each other and against what the machine allows, once,
// at start; the layers get their part of them from the start code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talixdb::server {

struct Limits {
  // ---- set by options (the option names are in limitOptions())
  std::int64_t sessionTimeout = 1800;  // seconds a login session lives unused
  std::int64_t threads = 8;            // workers kept ready
  std::int64_t maxThreads = 64;        // workers at most (raised to threads)
  std::int64_t maxTransfers = 16;      // uploadFiles and downloadFiles at once (below maxThreads)
  std::int64_t maxConnections = 1000;  // connections open at once (lowered to what descriptors allow)
  std::int64_t maxConnectionsPerAddress = 256;  // of them from one client address
  std::int64_t idleTimeout = 5;        // seconds a connection may wait for its next request
  std::int64_t requestTimeout = 5;     // seconds for a request's head and XML part, from its first byte
  std::int64_t minRate = 128 * 1024;   // bytes per second a request, attachment or reply must move
  std::int64_t keepAliveRequests = 100;  // requests one connection serves (1: no keep-alive)
  std::int64_t stopTimeout = 3;        // seconds requests in flight get at SIGTERM
  std::int64_t maxUpload = 64ll << 30;  // bytes of one uploaded file
  std::int64_t maxBuffered = 256ll << 20;  // bytes of requests and replies held in memory for connections
  std::int64_t maxDbConnections = 24;  // PostgreSQL connections this server opens at most

  // ---- fixed
  // One socket operation waits at most this long, whatever the deadline says.
  static constexpr std::int64_t kIoStallSeconds = 60;
  // Bytes of a request head; a longer one is refused.
  static constexpr std::int64_t kHeadBytes = 64 * 1024;
  // Bytes of a request's XML part (the body, or the first DIME record).
  static constexpr std::int64_t kXmlPartBytes = 2 << 20;
  // Bytes read of a request without attachments, refused ones included.
  static constexpr std::int64_t kMaxXmlBytes = 16 << 20;
  // Bytes of one reply held for a client that does not read it yet; a larger
  // reply keeps its worker until it is taken or cut.
  static constexpr std::int64_t kReplyHeldBytes = 16 << 20;
  // DIME attachments of one request.
  static constexpr std::int64_t kMaxAttachments = 64;
  // Descriptors: each worker's own (storage connection, its files), and those
  // the server keeps besides (listening socket, log, event loop, store lock).
  static constexpr std::int64_t kDescriptorsPerWorker = 4;
  static constexpr std::int64_t kDescriptorsReserved = 32;
  // Seconds a worker beyond the ready ones waits for work before it ends.
  static constexpr std::int64_t kWorkerLingerSeconds = 30;
  // The rest of a refused request is read and dropped for at most this long,
  // and no longer than this without a byte.
  static constexpr std::int64_t kDrainMilliseconds = 5000;
  static constexpr std::int64_t kDrainIdleMilliseconds = 1000;

  // A request held whole in the waiting room before a worker takes it: its
  // head and an XML part at the limit.
  static constexpr std::int64_t requestHeldBytes() { return kHeadBytes + kXmlPartBytes; }
};

// An option that sets one of the limits.
struct LimitOption {
  const char* name;  // "--threads"
  std::int64_t Limits::*field;
  std::int64_t minimum;
  std::int64_t maximum;
};
const std::vector<LimitOption>& limitOptions();

// What the machine allows the server, read at start; -1: no limit, or unknown.
struct MachineLimits {
  std::int64_t openFiles = -1;      // descriptors (RLIMIT_NOFILE)
  std::int64_t fileSize = -1;       // bytes of one file the server writes (RLIMIT_FSIZE)
  std::int64_t freeStoreBytes = -1;  // free on the file system of a store kept in files
};

struct LimitCheck {
  std::vector<std::string> warnings;  // limits lowered or doubtful, one sentence each
  std::string refusal;                // why the server cannot start ("": it can)
};

// Holds the limits against each other and `machine`: raises --max-threads to
// --threads, keeps transfers below the workers and the per-address cap
// within --max-connections; lowers --max-connections to the descriptors the
// workers and their transfers' attachments leave, and --max-upload to the
// file size limit, each with a warning; refuses when no descriptor is left
// for connections.
LimitCheck checkLimits(Limits& limits, const MachineLimits& machine);

}  // namespace talixdb::server
