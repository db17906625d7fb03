#include "app/Server.h"

#include <netinet/in.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Namespaces.h"
#include "WireTypes.h"
#include "app/Stores.h"
#include "base/Metrics.h"
#include "base/ServerLog.h"
#include "http/ConnectionPolicy.h"
#include "http/ServeRequest.h"
#include "http/ServiceContext.h"
#include "net/TlsServer.h"
#include "net/WaitingRoom.h"
#include "net/WorkerPool.h"
#include "operations/ServiceCall.h"

namespace talixdb::server {

namespace {

constexpr const char* kDefaultAdminPassword = "kelp482";
constexpr int kIoTimeoutSeconds = 60;
constexpr std::uint64_t kMaxXmlBytes = 16ull << 20;
// Descriptors kept free beside the connections: the store's files, the
// listening socket, the log, the event loop's own.
constexpr int kDescriptorsPerWorker = 4;
constexpr int kDescriptorsReserved = 32;

// A start the server declines, with the reason for the log.
class StartRefused : public std::runtime_error {
 public:
  explicit StartRefused(const std::string& what) : std::runtime_error(what) {}
};

struct SoapDeleter {
  void operator()(struct soap* soap) const {
    soap_destroy(soap);
    soap_end(soap);
    soap_free(soap);
  }
};
using SoapPtr = std::unique_ptr<struct soap, SoapDeleter>;

// How the server speaks on its socket.
struct Transport {
  std::unique_ptr<TlsContext> tls;  // null: plain HTTP
  const char* name() const { return tls ? "TLS" : "plain HTTP"; }
};

// A worker's runtime context and storage connection.
class RequestWorker : public Worker {
 public:
  RequestWorker(SoapPtr soap, std::unique_ptr<ServiceContext> context, const Transport& transport)
      : m_soap(std::move(soap)), m_context(std::move(context)), m_transport(transport) {
    m_context->attach(m_soap.get());
  }
  std::optional<Connection> serve(Connection connection) override;

 private:
  bool serveConnection(const Connection& connection);
  SoapPtr m_soap;
  std::unique_ptr<ServiceContext> m_context;
  const Transport& m_transport;
};

std::unique_ptr<Store> openStore(const ServerOptions& options);
Transport transportOf(const ServerOptions& options);
SoapPtr newServiceContext();
int boundPort(SOAP_SOCKET socket);
ConnectionPolicy& policyOf(const ServerOptions& options, ConnectionPolicy& policy);
int connectionCap(const ServerOptions& options);
// The figures of the waiting room and the workers for GET /metrics.
std::vector<Figure> connectionFigures(const WorkerPool& pool, const WaitingRoom& room);

}  // namespace

std::vector<std::string> startWarnings(const ServerOptions& options) {
  std::vector<std::string> warnings;
  if (options.tlsCertificate.empty() && !isLoopbackAddress(options.host))
    warnings.push_back("serving " + options.host +
                       " without TLS: passwords and session ids travel in clear text");
  return warnings;
}

int runServer(const ServerOptions& options) {
  setLogThreshold(options.logLevel);
  // SIGINT and SIGTERM are blocked in every thread; the event thread reads
  // them from a signalfd.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ServiceLimits limits;
  limits.maxUpload = options.maxUpload;
  limits.maxXml = kMaxXmlBytes;
  limits.sessionTimeout = options.sessionTimeout;
  limits.metricsFrom = options.metricsFrom;
  ConnectionPolicy policy;
  policyOf(options, policy);
  LoginThrottle throttle;

  SoapPtr master = newServiceContext();
  Transport transport;
  std::unique_ptr<Store> store;
  // Workers are copies of this one, made before binding so that none holds
  // the listening socket; workers started later copy it from their own threads.
  SoapPtr workerTemplate(master ? soap_copy(master.get()) : nullptr);
  std::mutex connecting;
  auto makeWorker = [&]() -> std::unique_ptr<Worker> {
    SoapPtr soap;
    std::unique_ptr<Storage> storage;
    {
      std::lock_guard<std::mutex> lock(connecting);
      soap.reset(soap_copy(workerTemplate.get()));
      if (!soap) throw std::runtime_error("out of memory");
      storage = store->connect();
    }
    auto context = std::make_unique<ServiceContext>(std::move(storage), limits);
    context->setPolicy(&policy);
    context->setLoginThrottle(&throttle);
    return std::make_unique<RequestWorker>(std::move(soap), std::move(context), transport);
  };
  std::unique_ptr<WaitingRoom> room;
  WorkerPool pool(
      options.threads, options.maxThreads, makeWorker, [&room](Connection connection) { room->giveBack(std::move(connection)); },
      [&room] { room->closed(); });
  try {
    if (!master || !workerTemplate) throw std::runtime_error("out of memory");
    // Certificate and key first: a refusal leaves no store behind.
    transport = transportOf(options);
    store = openStore(options);
    pool.start();
  } catch (const StartRefused& refusal) {
    logLine(LogLevel::Error, refusal.what());
    return 1;
  } catch (const StoreInUse& refusal) {
    logLine(LogLevel::Error, refusal.what());
    return 1;
  } catch (const std::exception& error) {
    logLine(LogLevel::Error, "cannot open the store " + configuredStoreName(options) + ": " + error.what());
    return 1;
  }

  for (const std::string& warning : startWarnings(options)) logLine(LogLevel::Warning, warning);
  if (!soap_valid_socket(soap_bind(master.get(), options.host.c_str(), options.port, 128))) {
    logLine(LogLevel::Error, "cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " +
                                 faultText(master.get()));
    pool.stop(std::chrono::milliseconds(0));
    return 1;
  }
  const int maxConnections = connectionCap(options);
  try {
    room = std::make_unique<WaitingRoom>(master->master, policy.idleTimeout, policy.requestTimeout, maxConnections,
                                         !transport.tls, [&pool](Connection connection) { pool.submit(std::move(connection)); });
  } catch (const std::exception& error) {
    logLine(LogLevel::Error, error.what());
    pool.stop(std::chrono::milliseconds(0));
    return 1;
  }
  metrics().addSource([&pool, &room] { return connectionFigures(pool, *room); });
  const std::string address = options.host + ":" + std::to_string(boundPort(master->master));
  // The first line on standard output is what scripts wait for.
  std::printf("talixdb-server listening on %s\n", address.c_str());
  std::fflush(stdout);
  logLine(LogLevel::Info, "started " + serverVersion() + " on " + address + " (" + transport.name() + "), store " +
                              store->description() + ", " + std::to_string(options.threads) + " workers");
  logLine(LogLevel::Info, "connections: at most " + std::to_string(maxConnections) + " open, idle for " +
                              std::to_string(options.idleTimeout) + " s, a request head within " +
                              std::to_string(options.requestTimeout) + " s; up to " +
                              std::to_string(std::max(options.threads, options.maxThreads)) + " workers, " +
                              std::to_string(policy.maxTransfers) + " transfers at once");

  const int signal = room->run(stopSignals);
  // Not accepting any more, idle connections closed: requests in flight get
  // the stop deadline, then their connections are cut.
  policy.stopping = true;
  soap_closesocket(master->master);
  master->master = SOAP_INVALID_SOCKET;
  pool.stop(std::chrono::seconds(options.stopTimeout));
  metrics().clearSources();
  room.reset();
  store.reset();
  logLine(LogLevel::Info, "stopped " + serverVersion() + " on " + address + " after " +
                              (signal == SIGINT ? "SIGINT" : "SIGTERM"));
  return 0;
}

namespace {

// The password for a first start: VLT_ADMIN_PASSWORD when set and not
// empty, else the built-in one, which is refused beyond loopback.
std::string firstAdminPassword(const ServerOptions& options) {
  const char* value = std::getenv("VLT_ADMIN_PASSWORD");
  if (value != nullptr && *value != '\0') return value;
  if (!isLoopbackAddress(options.host))
    throw StartRefused("refusing a first start on " + options.host +
                       " with the built-in administrator password: set VLT_ADMIN_PASSWORD for the first start, "
                       "or run talixdb-server " +
                       (options.storeUri.empty() ? "--data " + options.dataDirectory : std::string("--store URI")) +
                       " --set-admin-password before it");
  return kDefaultAdminPassword;
}

// Locks the store (creating it on first start), removes leftovers of an
// interrupted upload, and makes sure the fixed tree and the administrator exist.
std::unique_ptr<Store> openStore(const ServerOptions& options) {
  std::unique_ptr<Store> store = openConfiguredStore(options, StoreUse::Serve);
  std::unique_ptr<Storage> storage = store->connect();
  Repository repository(*storage, options.sessionTimeout);
  repository.bootstrap(repository.hasAdministrator() ? std::string() : firstAdminPassword(options));
  return store;
}

// TLS when a certificate is given; its files are read once, here.
Transport transportOf(const ServerOptions& options) {
  Transport transport;
  if (options.tlsCertificate.empty()) return transport;
  try {
    transport.tls = std::make_unique<TlsContext>(options.tlsCertificate, options.tlsKey);
  } catch (const std::runtime_error& problem) {
    throw StartRefused(problem.what());
  }
  return transport;
}

// The listening context; workers start as copies of it.
SoapPtr newServiceContext() {
  SoapPtr soap(soap_new1(SOAP_C_UTFSTRING));
  if (!soap) return soap;
  soap_set_namespaces(soap.get(), serviceNamespaces());
  soap->bind_flags = SO_REUSEADDR;
  soap->recv_timeout = kIoTimeoutSeconds;
  soap->send_timeout = kIoTimeoutSeconds;
  return soap;
}

int boundPort(SOAP_SOCKET socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return -1;
}

// Wraps the connection into a TLS session for `soap`; false, with the
// connection logged and closed, when the handshake fails.
bool startTls(struct soap* soap, const TlsContext& tls, const Connection& connection,
              std::chrono::milliseconds limit) {
  const auto started = std::chrono::steady_clock::now();
  TlsHandshake handshake = acceptTls(tls, connection.socket, limit);
  if (handshake.ssl != nullptr) {
    soap->ssl = handshake.ssl;  // the runtime reads, writes and closes through it
    return true;
  }
  RequestRecord record;
  record.client = connection.client;
  record.duration = std::chrono::steady_clock::now() - started;
  record.outcome = "fault: " + handshake.failure;
  // A connection that sent nothing at all (a port probe) is no request.
  const LogLevel level = handshake.silent ? LogLevel::Debug : LogLevel::Warning;
  if (logs(level)) logLine(level, requestText(record));
  soap_closesocket(connection.socket);
  return false;
}

// A TLS session the runtime did not close (a request cut short).
void dropTls(struct soap* soap) {
  if (soap->ssl == nullptr) return;
  SSL_free(soap->ssl);
  soap->ssl = nullptr;
}

std::optional<Connection> RequestWorker::serve(Connection connection) {
  try {
    if (serveConnection(connection)) {
      ++connection.served;
      return connection;
    }
  } catch (...) {
    // Out of memory while logging or cleaning up: drop this connection only.
    m_context->endRequest();
    dropTls(m_soap.get());
    soap_force_closesock(m_soap.get());
  }
  return std::nullopt;
}

// Serves one request; true when the connection stays open for the next.
bool RequestWorker::serveConnection(const Connection& connection) {
  struct soap* soap = m_soap.get();
  ServiceContext& context = *m_context;
  const ConnectionPolicy& policy = *context.policy();
  if (m_transport.tls && !startTls(soap, *m_transport.tls, connection, policy.requestTimeout)) return false;
  // Keep-alive for plain HTTP only.
  context.beginRequest(connection.client, connection.served, !m_transport.tls);
  soap->socket = connection.socket;
  soap->length = 0;      // no Content-Length seen yet
  soap->keep_alive = 0;  // nothing of an earlier request is buffered
  serveRequest(soap);
  // Requests answered were logged as their reply went out; a connection
  // that sent nothing at all (a port probe) is no request.
  if (context.bytesReceived > 0 || !context.operation.empty()) context.logRequest(soap);
  const bool keep = context.keptAlive && context.cut.empty() && soap->socket == connection.socket;
  context.endRequest();
  soap_clr_dime(soap);
  soap_destroy(soap);
  soap_end(soap);
  if (keep) {
    soap->socket = SOAP_INVALID_SOCKET;
    soap->keep_alive = 0;
    return true;
  }
  dropTls(soap);
  soap_force_closesock(soap);
  return false;
}

// The connection limits of the options.
ConnectionPolicy& policyOf(const ServerOptions& options, ConnectionPolicy& policy) {
  policy.requestTimeout = std::chrono::seconds(options.requestTimeout);
  policy.idleTimeout = std::chrono::seconds(options.idleTimeout);
  policy.minRate = options.minRate;
  policy.stallTimeout = std::chrono::seconds(kIoTimeoutSeconds);
  policy.keepAliveRequests = options.keepAliveRequests;
  // Transfers always leave a worker for small calls.
  const int workers = std::max(options.threads, options.maxThreads);
  policy.maxTransfers = std::max(1, std::min(options.maxTransfers, workers - 1));
  return policy;
}

// --max-connections, lowered to what the open file limit allows (raised to
// its hard limit first).
int connectionCap(const ServerOptions& options) {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) != 0) return options.maxConnections;
  if (files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &files) != 0) getrlimit(RLIMIT_NOFILE, &files);
  }
  if (files.rlim_cur == RLIM_INFINITY) return options.maxConnections;
  const std::int64_t spare = static_cast<std::int64_t>(files.rlim_cur) - kDescriptorsReserved -
                             kDescriptorsPerWorker * std::int64_t(std::max(options.threads, options.maxThreads));
  const int cap = static_cast<int>(std::max<std::int64_t>(1, std::min<std::int64_t>(options.maxConnections, spare)));
  if (cap < options.maxConnections)
    logLine(LogLevel::Warning, "serving at most " + std::to_string(cap) + " connections at once: the open file limit is " +
                                   std::to_string(files.rlim_cur));
  return cap;
}

std::vector<Figure> connectionFigures(const WorkerPool& pool, const WaitingRoom& room) {
  const WorkerPool::Load load = pool.load();
  const int open = room.openConnections();
  return {
      {"talixdb_connections_open", "Connections open: waiting for a request, queued or being served.", "",
       static_cast<double>(open)},
      {"talixdb_connections_waiting", "Connections the waiting room holds without a worker.", "",
       static_cast<double>(std::max(0, open - load.busy - load.queued))},
      {"talixdb_connections_queued", "Connections with a request, waiting for a worker.", "",
       static_cast<double>(load.queued)},
      {"talixdb_workers", "Workers, by state.", "state=\"busy\"", static_cast<double>(load.busy)},
      {"talixdb_workers", "Workers, by state.", "state=\"idle\"", static_cast<double>(load.workers - load.busy)},
  };
}

}  // namespace

}  // namespace talixdb::server
