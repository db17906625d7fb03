#include "Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "ConnectionQueue.h"
#include "Namespaces.h"
#include "ServeRequest.h"
#include "ServiceCall.h"
#include "ServiceContext.h"
#include "SqliteStorage.h"
#include "WireTypes.h"

namespace talixdb::server {

namespace {

constexpr const char* kDefaultAdminPassword = "kelp482";
constexpr int kIoTimeoutSeconds = 60;
constexpr std::uint64_t kMaxXmlBytes = 16ull << 20;
constexpr auto kPollInterval = std::chrono::milliseconds(200);

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

void prepareStore(const ServerOptions& options);
SoapPtr newServiceContext();
bool stopRequested(const sigset_t& stopSignals);
int boundPort(SOAP_SOCKET socket);
void serveConnections(Worker& worker, ConnectionQueue& queue);

}  // namespace

int runServer(const ServerOptions& options) {
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
  std::vector<Worker> workers(static_cast<std::size_t>(options.threads));
  try {
    prepareStore(options);
    if (!master) throw std::runtime_error("out of memory");
    // Copies are made before binding, so that no worker holds the listening socket.
    for (Worker& worker : workers) {
      worker.soap.reset(soap_copy(master.get()));
      if (!worker.soap) throw std::runtime_error("out of memory");
      worker.context = std::make_unique<ServiceContext>(std::make_unique<SqliteStorage>(options.dataDirectory), limits,
                                                        !options.quiet);
      worker.context->attach(worker.soap.get());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "talixdb-server: cannot open the store in %s: %s\n", options.dataDirectory.c_str(),
                 error.what());
    return 1;
  }

  if (!soap_valid_socket(soap_bind(master.get(), options.host.c_str(), options.port, 64))) {
    std::fprintf(stderr, "talixdb-server: cannot listen on %s:%d: %s\n", options.host.c_str(), options.port,
                 faultText(master.get()).c_str());
    return 1;
  }
  std::printf("talixdb-server listening on %s:%d\n", options.host.c_str(), boundPort(master->master));
  std::fflush(stdout);

  ConnectionQueue queue(static_cast<std::size_t>(options.threads) * 4);
  for (Worker& worker : workers) worker.thread = std::thread(serveConnections, std::ref(worker), std::ref(queue));

  while (!stopRequested(stopSignals)) {
    if (!queue.waitForRoom(kPollInterval)) continue;
    SOAP_SOCKET socket = soap_accept(master.get());
    if (!soap_valid_socket(socket)) {
      // A timeout (errnum 0) just lets the loop look at the signals again.
      if (master->errnum != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    master->socket = SOAP_INVALID_SOCKET;
    queue.push(socket);
  }

  // Stop accepting, let the workers finish what was accepted, close the store.
  soap_closesocket(master->master);
  master->master = SOAP_INVALID_SOCKET;
  queue.close();
  for (Worker& worker : workers) worker.thread.join();
  workers.clear();
  return 0;
}

namespace {

std::string adminPassword() {
  const char* value = std::getenv("VLT_ADMIN_PASSWORD");
  return value != nullptr ? value : kDefaultAdminPassword;
}

// Creates the store on first start, removes leftovers of an interrupted
// upload, and makes sure the fixed tree and the administrator exist.
void prepareStore(const ServerOptions& options) {
  std::filesystem::create_directories(options.dataDirectory);
  SqliteStorage storage(options.dataDirectory);
  storage.removeUnreferencedContent();
  Repository(storage, options.sessionTimeout).bootstrap(adminPassword());
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

bool stopRequested(const sigset_t& stopSignals) {
  timespec zero{0, 0};
  int signal = sigtimedwait(&stopSignals, nullptr, &zero);
  return signal == SIGINT || signal == SIGTERM;
}

int boundPort(SOAP_SOCKET socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return -1;
}

void serveConnection(struct soap* soap, ServiceContext& context, SOAP_SOCKET socket) {
  context.beginRequest();
  soap->socket = socket;
  soap->length = 0;  // no Content-Length seen yet
  serveRequest(soap);
  // Requests answered were logged as their reply went out; a connection
  // that sent nothing at all (a port probe) is no request.
  if (context.bytesReceived > 0 || !context.operation.empty()) context.logRequest(soap);
  context.endRequest();
  soap_clr_dime(soap);
  soap_destroy(soap);
  soap_end(soap);
  soap_force_closesock(soap);
}

void serveConnections(Worker& worker, ConnectionQueue& queue) {
  while (std::optional<int> socket = queue.pop()) {
    try {
      serveConnection(worker.soap.get(), *worker.context, *socket);
    } catch (...) {
      // Out of memory while logging or cleaning up: drop this connection only.
      worker.context->endRequest();
      soap_force_closesock(worker.soap.get());
    }
  }
}

}  // namespace

}  // namespace talixdb::server
