// The test host's gSOAP code: contexts made with soap_new, so that they take
// the process-wide namespace table, and the global Header and Fault
// serialisers of its own generated code, as a host's usually do.
#include "HostEcho.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <stdexcept>

#include "Echo.nsmap"
#include "soapH.h"

namespace host_echo {

Server::Server() : m_soap(soap_new()) {
  m_soap->bind_flags = SO_REUSEADDR;
  m_soap->accept_timeout = -100000;  // 100 ms, to see the stop flag
  if (!soap_valid_socket(soap_bind(m_soap, "127.0.0.1", 0, 8))) {
    soap_free(m_soap);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(m_soap->master, reinterpret_cast<sockaddr*>(&address), &length);
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { serve(); });
}

Server::~Server() {
  m_stop = true;
  m_thread.join();
  soap_destroy(m_soap);
  soap_end(m_soap);
  soap_free(m_soap);
}

void Server::serve() {
  while (!m_stop) {
    if (!soap_valid_socket(soap_accept(m_soap))) continue;
    soap_serve(m_soap);
    soap_destroy(m_soap);
    soap_end(m_soap);
  }
}

std::string call(int port, const std::string& text, const std::string& ticket) {
  struct soap* soap = soap_new();
  soap->header = soap_new_SOAP_ENV__Header(soap);
  soap->header->hx__ticket = soap_new_std__string(soap);
  *soap->header->hx__ticket = ticket;
  const std::string endpoint = "http://127.0.0.1:" + std::to_string(port) + "/echo";
  std::string reply, result = "error ";
  if (soap_call_hx__echo(soap, endpoint.c_str(), nullptr, text, reply) != SOAP_OK)
    result += std::to_string(soap->error);
  else
    result = reply + "|" + (soap->header && soap->header->hx__ticket ? *soap->header->hx__ticket : "");
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
  return result;
}

}  // namespace host_echo

// The service operation. The reply goes out with the request's header, as the
// runtime sends soap->header back.
int hx__echo(struct soap* soap, std::string text, std::string& reply) {
  if (soap->header == nullptr || soap->header->hx__ticket == nullptr)
    return soap_sender_fault(soap, "no ticket in the header", nullptr);
  reply = text + " " + *soap->header->hx__ticket;
  return SOAP_OK;
}
