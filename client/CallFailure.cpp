#include "client/CallFailure.h"

#include <cerrno>
#include <cstring>

#include "WireTypes.h"

namespace VLT_121 {

namespace {

const char kPlainScheme[] = "http://";
const char kServicePath[] = "/vlt/services/QuillonBinding";
// How much of a foreign server's reply body a message quotes.
constexpr std::size_t kQuotedBody = 120;

std::string orEmpty(const char* text) { return text != nullptr ? text : ""; }

// A runtime's text that names the failure, or "error N".
std::string runtimeText(const struct soap* soap) {
  const char* const* text = soap_faultstring(const_cast<struct soap*>(soap));
  if (text != nullptr && *text != nullptr && **text != '\0') return *text;
  return "error " + std::to_string(soap->error);
}

// The first line of the body of an HTTP reply still in the runtime's buffer,
// without control characters and cut to a sensible length.
std::string replyBody(const struct soap* soap) {
  const std::string received(soap->buf, soap->buflen < sizeof soap->buf ? soap->buflen : sizeof soap->buf);
  std::string::size_type start = received.find("\r\n\r\n");
  if (start == std::string::npos) return "";
  std::string line;
  for (std::string::size_type i = start + 4; i < received.size() && received[i] != '\n' && received[i] != '\r'; ++i)
    if (static_cast<unsigned char>(received[i]) >= 0x20 && received[i] != 0x7f) line.push_back(received[i]);
  if (line.size() > kQuotedBody) line = line.substr(0, kQuotedBody - 3) + "...";
  return line;
}

// "HOST" and "port PORT" of an address, for the connection messages.
std::string portOf(const std::string& address) {
  const bool tls = address.compare(0, 8, "https://") == 0;
  const std::string authority = tls ? address.substr(8) : address;
  const std::string::size_type colon = authority.rfind(':');
  if (colon == std::string::npos || authority.find(']', colon) != std::string::npos) return tls ? "443" : "80";
  return authority.substr(colon + 1);
}

std::string hostOf(const std::string& address) {
  std::string authority = address.compare(0, 8, "https://") == 0 ? address.substr(8) : address;
  const std::string::size_type colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) authority.erase(colon);
  return authority;
}

std::string connectionFailure(const struct soap* soap, const std::string& address) {
  const std::string detail = orEmpty(*soap_faultdetail(const_cast<struct soap*>(soap)));
  if (detail.find("getaddrinfo") != std::string::npos || detail.find("get host by name") != std::string::npos)
    return "cannot resolve the host name " + hostOf(address) + " (" + runtimeText(soap) + ")";
  if (soap->errnum == ECONNREFUSED)
    return "connection refused by " + address + ": no server listens on port " + portOf(address) + " of " +
           hostOf(address);
  if (soap->errnum == 0 || soap->errnum == ETIMEDOUT)
    return "no connection to " + address + " within " + std::to_string(soap->connect_timeout) +
           " s (TALIXDB_CONNECT_TIMEOUT)";
  return "cannot reach " + address + " (" + std::strerror(soap->errnum) + ")";
}

}  // namespace

std::string addressOfEndpoint(const std::string& endpoint) {
  std::string address = endpoint;
  if (address.compare(0, sizeof kPlainScheme - 1, kPlainScheme) == 0) address.erase(0, sizeof kPlainScheme - 1);
  const std::string::size_type path = address.find(kServicePath);
  if (path != std::string::npos) address.erase(path);
  return address;
}

std::string describeCallFailure(const struct soap* soap, const CallRecord& call) {
  const std::string address = addressOfEndpoint(call.endpoint);
  if (soap == nullptr) return "out of memory, or the process holds another gSOAP runtime than the library needs";
  const int error = soap->error;
  if (error == SOAP_SSL_ERROR && !call.tlsFailure.empty()) return call.tlsFailure;
  if (error == SOAP_TCP_ERROR) return connectionFailure(soap, address);
  if (error == SOAP_FAULT || error == SOAP_CLI_FAULT || error == SOAP_SVR_FAULT) return runtimeText(soap);
  if (error == SOAP_EOF && soap->errnum == 0) {
    if (call.callTimeUsedUp)
      return "no answer from " + address + " within " + std::to_string(call.callTimeoutSeconds) +
             " s (TALIXDB_CALL_TIMEOUT)";
    if (soap->recv_timeout > 0 && call.seconds + 0.1 >= soap->recv_timeout)
      return "no answer from " + address + " within " + std::to_string(soap->recv_timeout) +
             " s (TALIXDB_IO_TIMEOUT)";
    return address + " closed the connection without answering";
  }
  if (error == SOAP_EOF) return "the connection to " + address + " was lost (" + std::strerror(soap->errnum) + ")";
  if (error >= 100 && error < 600) {
    const std::string body = replyBody(soap);
    return "not a repository server at " + address + " (HTTP " + std::to_string(error) +
           (body.empty() ? "" : ": " + body) + ")";
  }
  if (error == SOAP_NO_TAG || error == SOAP_TAG_MISMATCH || error == SOAP_SYNTAX_ERROR || error == SOAP_NO_METHOD ||
      error == SOAP_VERSIONMISMATCH)
    return "not a repository server at " + address + " (its reply is no repository service message: " +
           runtimeText(soap) + ")";
  return "the call to " + address + " failed (" + runtimeText(soap) + ")";
}

}  // namespace VLT_121
