#include "base/Limits.h"

#include <algorithm>

namespace talixdb::server {

const std::vector<LimitOption>& limitOptions() {
  static const std::vector<LimitOption> options = {
      {"--session-timeout", &Limits::sessionTimeout, 1, 10ll * 365 * 24 * 3600},
      {"--threads", &Limits::threads, 1, 256},
      {"--max-threads", &Limits::maxThreads, 1, 1024},
      {"--max-transfers", &Limits::maxTransfers, 1, 1024},
      {"--max-connections", &Limits::maxConnections, 1, 1000000},
      {"--max-connections-per-address", &Limits::maxConnectionsPerAddress, 1, 1000000},
      {"--idle-timeout", &Limits::idleTimeout, 1, 3600},
      {"--request-timeout", &Limits::requestTimeout, 1, 3600},
      {"--min-rate", &Limits::minRate, 1, 1ll << 40},
      {"--keep-alive-requests", &Limits::keepAliveRequests, 1, 1000000},
      {"--stop-timeout", &Limits::stopTimeout, 0, 3600},
      // Files travel as chunked DIME records counted in 64-bit sizes: 1 TiB is a
      // bound of sense, not one the format sets.
      {"--max-upload", &Limits::maxUpload, 0, 1ll << 40},
      {"--max-buffered", &Limits::maxBuffered, 2 * Limits::requestHeldBytes(), 1ll << 40},
      {"--max-db-connections", &Limits::maxDbConnections, 2, 10000},
  };
  return options;
}

LimitCheck checkLimits(Limits& limits, const MachineLimits& machine) {
  LimitCheck check;
  limits.maxThreads = std::max(limits.maxThreads, limits.threads);
  // Transfers always leave a worker for small calls.
  limits.maxTransfers = std::max<std::int64_t>(1, std::min(limits.maxTransfers, limits.maxThreads - 1));
  limits.maxConnectionsPerAddress = std::min(limits.maxConnectionsPerAddress, limits.maxConnections);

  if (machine.openFiles >= 0) {
    const std::int64_t kept = Limits::kDescriptorsReserved + Limits::kDescriptorsPerWorker * limits.maxThreads +
                              Limits::kMaxAttachments * limits.maxTransfers;
    const std::int64_t spare = machine.openFiles - kept;
    if (spare < 1) {
      check.refusal = "the open file limit of " + std::to_string(machine.openFiles) +
                      " descriptors leaves none for connections beside the " + std::to_string(kept) + " that " +
                      std::to_string(limits.maxThreads) + " workers and " + std::to_string(limits.maxTransfers) +
                      " transfers may hold: raise it (ulimit -n) or lower --max-threads or --max-transfers";
      return check;
    }
    if (spare < limits.maxConnections) {
      limits.maxConnections = spare;
      limits.maxConnectionsPerAddress = std::min(limits.maxConnectionsPerAddress, spare);
      check.warnings.push_back("serving at most " + std::to_string(spare) +
                               " connections at once: the open file limit is " + std::to_string(machine.openFiles));
    }
  }
  if (machine.fileSize >= 0 && limits.maxUpload > machine.fileSize) {
    limits.maxUpload = machine.fileSize;
    check.warnings.push_back("--max-upload lowered to " + std::to_string(machine.fileSize) +
                             " bytes: the file size limit (ulimit -f) allows no larger file");
  }
  if (machine.freeStoreBytes >= 0 && limits.maxUpload > machine.freeStoreBytes)
    check.warnings.push_back("--max-upload is " + std::to_string(limits.maxUpload) + " bytes, more than the " +
                             std::to_string(machine.freeStoreBytes) + " bytes free for the store now");
  return check;
}

}  // namespace talixdb::server
