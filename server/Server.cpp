#include "Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ConnectionQueue.h"
#include "Namespaces.h"
#include "ServeRequest.h"
#include "ServerLog.h"
#include "ServiceCall.h"
#include "ServiceContext.h"
#include "Stores.h"
#include "TlsServer.h"
#include "WireTypes.h"

namespace talixdb::server {

namespace {

constexpr const char* kDefaultAdminPassword = "kelp482";
constexpr int kIoTimeoutSeconds = 60;
constexpr std::uint64_t kMaxXmlBytes = 16ull << 20;
constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr auto kTlsHandshakeLimit = std::chrono::seconds(10);

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

// One worker thread with its own runtime context and storage connection.
struct Worker {
  SoapPtr soap;
  std::unique_ptr<ServiceContext> context;
  std::thread thread;
};

// How the server speaks on its socket.
struct Transport {
  std::unique_ptr<TlsContext> tls;  // null: plain HTTP
  const char* name() const { return tls ? "TLS" : "plain HTTP"; }
};

std::unique_ptr<Store> openStore(const ServerOptions& options);
Transport transportOf(const ServerOptions& options);
SoapPtr newServiceContext();
int stopSignal(const sigset_t& stopSignals);
int boundPort(SOAP_SOCKET socket);
std::string peerAddress(SOAP_SOCKET socket);
void serveConnections(Worker& worker, ConnectionQueue& queue, const Transport& transport);

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
  // SIGINT and SIGTERM stay pending in every thread; the accepting loop
  // looks for them between accepts.
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

  SoapPtr master = newServiceContext();
  Transport transport;
  std::unique_ptr<Store> store;
  std::vector<Worker> workers(static_cast<std::size_t>(options.threads));
  try {
    if (!master) throw std::runtime_error("out of memory");
    // Certificate and key first: a refusal leaves no store behind.
    transport = transportOf(options);
    store = openStore(options);
    // Copies are made before binding, so that no worker holds the listening socket.
    for (Worker& worker : workers) {
      worker.soap.reset(soap_copy(master.get()));
      if (!worker.soap) throw std::runtime_error("out of memory");
      worker.context = std::make_unique<ServiceContext>(store->connect(), limits);
      worker.context->attach(worker.soap.get());
    }
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
  if (!soap_valid_socket(soap_bind(master.get(), options.host.c_str(), options.port, 64))) {
    logLine(LogLevel::Error, "cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " +
                                 faultText(master.get()));
    return 1;
  }
  const std::string address = options.host + ":" + std::to_string(boundPort(master->master));
  // The first line on standard output is what scripts wait for.
  std::printf("talixdb-server listening on %s\n", address.c_str());
  std::fflush(stdout);
  logLine(LogLevel::Info, "started " + serverVersion() + " on " + address + " (" + transport.name() + "), store " +
                              store->description() + ", " + std::to_string(options.threads) + " workers");

  ConnectionQueue queue(static_cast<std::size_t>(options.threads) * 4);
  for (Worker& worker : workers)
    worker.thread = std::thread(serveConnections, std::ref(worker), std::ref(queue), std::cref(transport));

  int signal = 0;
  while ((signal = stopSignal(stopSignals)) == 0) {
    if (!queue.waitForRoom(kPollInterval)) continue;
    SOAP_SOCKET socket = soap_accept(master.get());
    if (!soap_valid_socket(socket)) {
      // A timeout (errnum 0) just lets the loop look at the signals again.
      if (master->errnum != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    master->socket = SOAP_INVALID_SOCKET;
    queue.push(Connection{socket, peerAddress(socket)});
  }

  // Stop accepting, let the workers finish what was accepted, close the store.
  soap_closesocket(master->master);
  master->master = SOAP_INVALID_SOCKET;
  queue.close();
  for (Worker& worker : workers) worker.thread.join();
  workers.clear();
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
  soap->accept_timeout = -static_cast<int>(std::chrono::microseconds(kPollInterval).count());
  soap->recv_timeout = kIoTimeoutSeconds;
  soap->send_timeout = kIoTimeoutSeconds;
  return soap;
}

// SIGINT or SIGTERM when one is pending, else 0.
int stopSignal(const sigset_t& stopSignals) {
  timespec zero{0, 0};
  int signal = sigtimedwait(&stopSignals, nullptr, &zero);
  return signal == SIGINT || signal == SIGTERM ? signal : 0;
}

int boundPort(SOAP_SOCKET socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return -1;
}

std::string peerAddress(SOAP_SOCKET socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  char text[INET6_ADDRSTRLEN] = {};
  if (getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return std::string();
  const void* bytes = nullptr;
  if (address.ss_family == AF_INET) bytes = &reinterpret_cast<sockaddr_in*>(&address)->sin_addr;
  if (address.ss_family == AF_INET6) bytes = &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr;
  if (bytes == nullptr || inet_ntop(address.ss_family, bytes, text, sizeof text) == nullptr) return std::string();
  return text;
}

// Wraps the connection into a TLS session for `soap`; false, with the
// connection logged and closed, when the handshake fails.
bool startTls(struct soap* soap, const TlsContext& tls, const Connection& connection) {
  const auto started = std::chrono::steady_clock::now();
  TlsHandshake handshake = acceptTls(tls, connection.socket, kTlsHandshakeLimit);
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

void serveConnection(struct soap* soap, ServiceContext& context, const Connection& connection,
                     const Transport& transport) {
  if (transport.tls && !startTls(soap, *transport.tls, connection)) return;
  context.beginRequest(connection.client);
  soap->socket = connection.socket;
  soap->length = 0;  // no Content-Length seen yet
  serveRequest(soap);
  // Requests answered were logged as their reply went out; a connection
  // that sent nothing at all (a port probe) is no request.
  if (context.bytesReceived > 0 || !context.operation.empty()) context.logRequest(soap);
  context.endRequest();
  soap_clr_dime(soap);
  soap_destroy(soap);
  soap_end(soap);
  dropTls(soap);
  soap_force_closesock(soap);
}

void serveConnections(Worker& worker, ConnectionQueue& queue, const Transport& transport) {
  while (std::optional<Connection> connection = queue.pop()) {
    try {
      serveConnection(worker.soap.get(), *worker.context, *connection, transport);
    } catch (...) {
      // Out of memory while logging or cleaning up: drop this connection only.
      worker.context->endRequest();
      dropTls(worker.soap.get());
      soap_force_closesock(worker.soap.get());
    }
  }
}

}  // namespace

}  // namespace talixdb::server
