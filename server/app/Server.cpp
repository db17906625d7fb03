#include "app/Server.h"

#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Namespaces.h"
#include "ServiceUris.h"
#include "WireTypes.h"
#include "app/Stores.h"
#include "base/Guard.h"
#include "base/Limits.h"
#include "base/Metrics.h"
#include "base/ServerLog.h"
#include "http/ConnectionPolicy.h"
#include "http/ServeRequest.h"
#include "http/ServiceContext.h"
#include "net/TlsServer.h"
#include "net/WaitingRoom.h"
#include "net/WorkerPool.h"
#include "operations/ServiceCall.h"
#include "storage/postgres/Postgres.h"

namespace talixdb::server {

namespace {

constexpr const char* kDefaultAdminPassword = "kelp482";

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
  bool serve(Connection& connection) noexcept override;

 private:
  bool serveConnection(Connection& connection);
  void clear() noexcept;
  SoapPtr m_soap;
  std::unique_ptr<ServiceContext> m_context;
  const Transport& m_transport;
};

std::unique_ptr<Store> openStore(const ServerOptions& options);
Transport transportOf(const ServerOptions& options);
MachineLimits machineLimits(const ServerOptions& options);
SoapPtr newServiceContext();
int boundPort(SOAP_SOCKET socket);
ConnectionPolicy& policyOf(const Limits& limits, HeldBytes& held, ConnectionPolicy& policy);
WaitingRoom::Settings roomSettings(const ServerOptions& options, const Limits& limits, const Transport& transport,
                                   HeldBytes& held);
// The figures of the waiting room and the workers for GET /metrics.
std::vector<Figure> connectionFigures(const WorkerPool& pool, const WaitingRoom& room);
// The figures of a PostgreSQL store's connections for GET /metrics.
std::vector<Figure> databaseFigures();

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

  Limits limits = options.limits;
  const LimitCheck check = checkLimits(limits, machineLimits(options));
  if (!check.refusal.empty()) {
    logLine(LogLevel::Error, check.refusal);
    return 1;
  }
  for (const std::string& warning : check.warnings) logLine(LogLevel::Warning, warning);
  ServiceLimits serviceLimits;
  serviceLimits.maxUpload = static_cast<std::uint64_t>(limits.maxUpload);
  serviceLimits.maxXml = Limits::kMaxXmlBytes;
  serviceLimits.sessionTimeout = limits.sessionTimeout;
  serviceLimits.xml.maxBytes = Limits::kXmlPartBytes;
  serviceLimits.metricsFrom = options.metricsFrom;
  HeldBytes held(static_cast<std::uint64_t>(limits.maxBuffered));
  ConnectionPolicy policy;
  policyOf(limits, held, policy);
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
    auto context = std::make_unique<ServiceContext>(std::move(storage), serviceLimits);
    context->setPolicy(&policy);
    context->setLoginThrottle(&throttle);
    return std::make_unique<RequestWorker>(std::move(soap), std::move(context), transport);
  };
  std::unique_ptr<WaitingRoom> room;
  WorkerPool pool(static_cast<int>(limits.threads), static_cast<int>(limits.maxThreads),
                  std::chrono::seconds(Limits::kWorkerLingerSeconds), makeWorker,
                  [&room](Connection connection) { room->giveBack(std::move(connection)); });
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
  // A backlog that takes a burst of new connections, so that a client's SYN is not dropped (and
  // sent again a second later) while the event thread makes room for them.
  const int backlog = static_cast<int>(std::min<std::int64_t>(limits.maxConnections, 4096));
  if (!soap_valid_socket(soap_bind(master.get(), options.host.c_str(), options.port, backlog))) {
    logLine(LogLevel::Error, "cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " +
                                 faultText(master.get()));
    pool.stop(std::chrono::milliseconds(0));
    return 1;
  }
  try {
    room = std::make_unique<WaitingRoom>(master->master, roomSettings(options, limits, transport, held),
                                         [&pool](Connection connection) { pool.submit(std::move(connection)); });
  } catch (const std::exception& error) {
    logLine(LogLevel::Error, error.what());
    pool.stop(std::chrono::milliseconds(0));
    return 1;
  }
  metrics().addSource([&pool, &room] { return connectionFigures(pool, *room); });
  if (!options.storeUri.empty()) metrics().addSource(databaseFigures);
  const std::string address = options.host + ":" + std::to_string(boundPort(master->master));
  // The first line on standard output is what scripts wait for.
  std::printf("talixdb-server listening on %s\n", address.c_str());
  std::fflush(stdout);
  logLine(LogLevel::Info, "started " + serverVersion() + " on " + address + " (" + transport.name() + "), store " +
                              store->description() + ", " + std::to_string(limits.threads) + " workers");
  logLine(LogLevel::Info, "connections: at most " + std::to_string(limits.maxConnections) + " open (" +
                              std::to_string(limits.maxConnectionsPerAddress) + " from one address), idle for " +
                              std::to_string(limits.idleTimeout) + " s, a request head within " +
                              std::to_string(limits.requestTimeout) + " s; up to " +
                              std::to_string(limits.maxThreads) + " workers, " +
                              std::to_string(policy.maxTransfers) + " transfers at once" +
                              (options.proxyProtocol.empty() ? std::string()
                                                             : "; PROXY headers from " + options.proxyProtocol));

  const int signal = room->run(stopSignals);
  // Not accepting any more, idle connections closed: requests in flight get
  // the stop deadline, then their connections are cut.
  policy.stopping = true;
  soap_closesocket(master->master);
  master->master = SOAP_INVALID_SOCKET;
  pool.stop(std::chrono::seconds(limits.stopTimeout));
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
  Repository repository(*storage, options.limits.sessionTimeout);
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
  soap->recv_timeout = static_cast<int>(Limits::kIoStallSeconds);
  soap->send_timeout = static_cast<int>(Limits::kIoStallSeconds);
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

bool RequestWorker::serve(Connection& connection) noexcept {
  const bool kept = guarded("serving a request", false, [&] { return serveConnection(connection); });
  if (!kept) clear();
  return kept;
}

// Serves the request that came with the connection; true when the
// connection goes back to the waiting room.
bool RequestWorker::serveConnection(Connection& connection) {
  struct soap* soap = m_soap.get();
  ServiceContext& context = *m_context;
  // Keep-alive for plain HTTP only.
  context.beginRequest(connection.client(), connection.served, !m_transport.tls);
  context.takeInput(std::move(connection.request), connection.requestComplete);
  connection.letGo();
  // The runtime uses the socket and TLS session; the connection keeps them.
  soap->socket = connection.socket();
  soap->ssl = connection.tls();
  soap->length = 0;      // no Content-Length seen yet
  soap->keep_alive = 0;  // nothing of an earlier request is buffered
  serveRequest(soap);
  // Requests answered were logged as their reply went out; a connection
  // that sent nothing at all is no request.
  if (context.bytesReceived > 0 || !context.operation.empty()) context.logRequest(soap);
  const bool keep = context.keptAlive && context.cut.empty() && !context.closed;
  if (context.cut.empty()) {
    const std::size_t held = context.heldReply.size();
    connection.pending = context.takeHeldReply();
    if (held > 0 && context.policy()->held != nullptr) connection.adopt(*context.policy()->held, held);
    connection.replyDeadline = context.sendDeadline;
    connection.replySent = context.bytesSent;
    connection.started = context.started;
    connection.operation = context.operation;
    connection.user = context.caller.user;
  }
  connection.closeAfterReply = !keep;
  if (keep) ++connection.served;
  const bool goesBack = keep || !connection.pending.empty() || context.dropRest;
  clear();
  return goesBack;
}

// Ends the request's state; the runtime lets go of the socket and session.
void RequestWorker::clear() noexcept {
  struct soap* soap = m_soap.get();
  m_context->endRequest();
  soap_clr_dime(soap);
  soap_destroy(soap);
  soap_end(soap);
  soap->socket = SOAP_INVALID_SOCKET;
  soap->ssl = nullptr;
  soap->keep_alive = 0;
}

// The connection limits the workers share.
ConnectionPolicy& policyOf(const Limits& limits, HeldBytes& held, ConnectionPolicy& policy) {
  policy.requestTimeout = std::chrono::seconds(limits.requestTimeout);
  policy.idleTimeout = std::chrono::seconds(limits.idleTimeout);
  policy.minRate = static_cast<std::uint64_t>(limits.minRate);
  policy.stallTimeout = std::chrono::seconds(Limits::kIoStallSeconds);
  policy.keepAliveRequests = static_cast<int>(limits.keepAliveRequests);
  policy.maxTransfers = static_cast<int>(limits.maxTransfers);
  policy.replyHeld = Limits::kReplyHeldBytes;
  policy.held = &held;
  return policy;
}

WaitingRoom::Settings roomSettings(const ServerOptions& options, const Limits& limits, const Transport& transport,
                                   HeldBytes& held) {
  WaitingRoom::Settings settings;
  settings.idleTimeout = std::chrono::seconds(limits.idleTimeout);
  settings.requestTimeout = std::chrono::seconds(limits.requestTimeout);
  settings.minRate = static_cast<std::uint64_t>(limits.minRate);
  settings.maxConnections = static_cast<int>(limits.maxConnections);
  settings.maxPerAddress = static_cast<int>(limits.maxConnectionsPerAddress);
  settings.requestHeld = Limits::requestHeldBytes();
  settings.headLimit = Limits::kHeadBytes;
  settings.streamedAction = TALIXDB_NS1_URI "uploadFiles";
  settings.tls = transport.tls.get();
  std::string problem;
  settings.proxies = AddressList::parse(options.proxyProtocol.empty() ? std::string() : options.proxyProtocol, problem);
  settings.held = &held;
  return settings;
}

// The descriptors (raised to their hard limit first), the largest file and
// the free space the store's file system allows.
MachineLimits machineLimits(const ServerOptions& options) {
  MachineLimits machine;
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    if (files.rlim_cur < files.rlim_max) {
      files.rlim_cur = files.rlim_max;
      if (setrlimit(RLIMIT_NOFILE, &files) != 0) getrlimit(RLIMIT_NOFILE, &files);
    }
    if (files.rlim_cur != RLIM_INFINITY) machine.openFiles = static_cast<std::int64_t>(files.rlim_cur);
  }
  // A PostgreSQL store keeps contents in the database: the local limits do not apply.
  if (options.dataDirectory.empty()) return machine;
  rlimit size{};
  if (getrlimit(RLIMIT_FSIZE, &size) == 0 && size.rlim_cur != RLIM_INFINITY)
    machine.fileSize = static_cast<std::int64_t>(size.rlim_cur);
  // The store's directory, or the nearest one above it that exists (a first start makes it).
  std::string directory = options.dataDirectory;
  struct statvfs disk {};
  while (statvfs(directory.c_str(), &disk) != 0) {
    const std::size_t slash = directory.find_last_of('/', directory.size() > 1 ? directory.size() - 2 : 0);
    if (slash == std::string::npos) return machine;
    directory = slash == 0 ? "/" : directory.substr(0, slash);
  }
  machine.freeStoreBytes = static_cast<std::int64_t>(disk.f_bavail) * static_cast<std::int64_t>(disk.f_frsize);
  return machine;
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

std::vector<Figure> databaseFigures() {
  return {{"talixdb_database_round_trips_total",
           "Round trips to PostgreSQL: a statement, or statements sent together, and their answers.", "",
           static_cast<double>(postgresRoundTrips()), true}};
}

}  // namespace

}  // namespace talixdb::server
