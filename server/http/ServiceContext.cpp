#include "http/ServiceContext.h"

#include <cstring>

#include "ServiceUris.h"
#include "base/ClientText.h"
#include "http/ServiceHooks.h"
#include "operations/ServiceCall.h"

namespace talixdb::server {

namespace {

// The operation a SOAPAction header names, or "-" for a foreign one.
std::string operationOfAction(const char* action);

}  // namespace

ServiceContext::ServiceContext(std::unique_ptr<Storage> storage, const ServiceLimits& limits)
    : scanner(limits.xml),
      m_storage(std::move(storage)),
      m_limits(limits),
      m_repository(*m_storage, limits.sessionTimeout) {}

ServiceContext& ServiceContext::of(struct soap* soap) { return *static_cast<ServiceContext*>(soap->user); }

ServiceContext::~ServiceContext() {
  if (m_soap == nullptr) return;
  uninstallHttpHooks(m_soap, *this);
  m_soap->user = nullptr;
}

void ServiceContext::attach(struct soap* soap) {
  m_soap = soap;
  soap->user = this;
  // The receive hook bounds every request (receiveLimit); the runtime's own
  // bound (2 GB by default) would cut a large upload.
  soap->recv_maxlength = 0;
  installHttpHooks(soap, *this);
  installMethodHooks(soap);
  installDimeHooks(soap);
}

void ServiceContext::beginRequest(const std::string& peer, int servedBefore, bool keepAlivePossible) {
  client = peer;
  started = std::chrono::steady_clock::now();
  if (!inProgress) metrics().requestsInProgress.add(1);
  inProgress = true;
  counted = false;
  countedBytes = 0;
  if (m_policy != nullptr) receiveDeadline.start(started, m_policy->requestTimeout);
  sendDeadline.stop();
  attachmentBytes = 0;
  bytesSent = 0;
  replyLength = 0;
  cut.clear();
  cutLogged = false;
  served = servedBefore;
  mayKeepAlive = keepAlivePossible && m_policy != nullptr;
  connectionHeader.clear();
  requestLineSeen = false;
  http11 = false;
  bodiless = false;
  keptAlive = false;
  caller = Caller{};
  m_repository.resetContention();
  newSession.clear();
  operation.clear();
  outcome.clear();
  level = LogLevel::Warning;
  refusalLevel = LogLevel::Info;
  probe = false;
  bytesReceived = 0;
  // Room for the HTTP header and an envelope; each attachment raises it.
  receiveLimit = m_limits.maxXml + 64 * 1024;
  messageEnd = 0;
  scanner.reset();
  scanning = false;
  inputRefusal.clear();
  inputRefusalCode = kClientFaultCode;
  declaredSizes.clear();
  allowedMethods.clear();
  attachments.clear();
  downloads.clear();
  logged = false;
  input.clear();
  inputTaken = 0;
  inputComplete = false;
  heldReply.clear();
  streamEnded = false;
  closed = false;
  dropRest = false;
}

void ServiceContext::takeInput(std::string bytes, bool complete) {
  input = std::move(bytes);
  inputTaken = 0;
  inputComplete = complete;
}

std::string ServiceContext::takeHeldReply() {
  std::string reply = std::move(heldReply);
  heldReply = std::string();
  return reply;
}

void ServiceContext::logRequest(struct soap* soap) {
  // A reply cut short gets a second line.
  if (logged && (cut.empty() || cutLogged)) return;
  logged = true;
  cutLogged = !cut.empty();
  RequestRecord record;
  record.outcome = outcome;
  LogLevel lineLevel = level;
  if (!cut.empty()) {
    record.outcome = "fault: " + cut;
    lineLevel = LogLevel::Warning;
  } else if (record.outcome.empty() || (record.outcome == "ok" && soap->error != SOAP_OK)) {
    // The runtime refused the request before (or after) an operation ran.
    record.outcome = "fault: " + faultText(soap);
    lineLevel = LogLevel::Warning;
  }
  countRequest(lineLevel, record.outcome == "ok");
  if (!logs(lineLevel)) return;
  record.client = client;
  record.operation = echo(operation.empty() ? operationOfAction(soap->action) : operation);
  record.user = echo(caller.user);
  record.duration = std::chrono::steady_clock::now() - started;
  record.retries = m_repository.contention().retries;
  record.alone = m_repository.contention().alone;
  logLine(lineLevel, requestText(record));
}

// Counted with the log line, before the reply goes out, so that a client
// that got its reply finds its request in the figures (and its latency is
// the line's). A reply cut short afterwards is counted apart.
void ServiceContext::countRequest(LogLevel lineLevel, bool ok) {
  Metrics& figures = metrics();
  if (counted || !inProgress) {
    if (!cut.empty()) figures.repliesCut.add();
    return;
  }
  const RequestOutcome outcome = !cut.empty()                   ? RequestOutcome::Cut
                                 : ok                           ? RequestOutcome::Ok
                                 : lineLevel == LogLevel::Error ? RequestOutcome::Failed
                                                                : RequestOutcome::Refused;
  figures.countRequest(operation, outcome,
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  counted = true;
  countedBytes = bytesReceived;
  figures.bytesReceived.add(countedBytes);
  const Contention& contention = m_repository.contention();
  figures.transactions.add(static_cast<std::uint64_t>(contention.transactions));
  figures.transactionRetries.add(static_cast<std::uint64_t>(contention.retries));
  figures.transactionsAlone.add(static_cast<std::uint64_t>(contention.alone));
}

void ServiceContext::endRequest() {
  if (inProgress) {
    metrics().bytesReceived.add(bytesReceived - countedBytes);
    metrics().bytesSent.add(bytesSent);
    metrics().requestsInProgress.add(-1);
  }
  inProgress = false;
  attachments.clear();
  downloads.clear();
  if (!heldReply.empty() && m_policy != nullptr && m_policy->held != nullptr) m_policy->held->give(heldReply.size());
  heldReply = std::string();
  input = std::string();
  giveBackTransferPlace();
}

void ServiceContext::giveBackTransferPlace() {
  if (transferPlace) m_policy->transfers.giveBack(m_placeUser, m_placeAddress);
  transferPlace = false;
}

std::string ServiceContext::admitTransfer(bool upload, const char*& code) {
  code = kRepositoryFaultCode;
  try {
    m_repository.requireSession(caller, upload);
  } catch (const Refusal& refusal) {
    return refusal.what();
  } catch (...) {
    code = kServerFaultCode;
    return "the session cannot be checked now; try again later";
  }
  if (m_policy == nullptr || transferPlace) return std::string();
  code = kServerFaultCode;
  m_placeUser = caller.user;
  m_placeAddress = client;
  std::string refusal = m_policy->transfers.take(m_policy->maxTransfers, m_placeUser, m_placeAddress);
  transferPlace = refusal.empty();
  return refusal;
}

namespace {

std::string operationOfAction(const char* action) {
  const std::string prefix = TALIXDB_NS1_URI;
  if (action == nullptr || std::strncmp(action, prefix.c_str(), prefix.size()) != 0) return "-";
  std::string name = action + prefix.size();
  return name.empty() ? "-" : name;
}

}  // namespace

}  // namespace talixdb::server
