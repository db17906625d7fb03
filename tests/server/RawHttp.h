// Plain socket exchanges with the server, for requests no SOAP client would send.
#pragma once

#include <chrono>
#include <string>

namespace talixdb_test {

// How the sending side ends: left open like a client waiting for its reply,
// or closed for writing, so that the server sees the end of the data.
enum class Ending { KeepOpen, CloseSending };

// Sends `request` to 127.0.0.1:port and returns everything the server writes
// back until it closes the connection (or `timeout` passes). Send errors are
// ignored: a server may close early on a request it refuses.
std::string exchange(int port, const std::string& request, Ending ending = Ending::KeepOpen,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// An HTTP POST of `body` to the service path, with the given SOAPAction.
std::string soapPost(const std::string& action, const std::string& body, const std::string& extraHeaders = "");

// The SOAPAction of a service operation.
std::string actionOf(const std::string& operation);

}  // namespace talixdb_test
