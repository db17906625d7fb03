// How much of a request the first bytes of a connection hold, as the waiting
// room sees it: a worker takes a request once it has wholly arrived, so that
// a slow or malformed one costs no worker. Only an upload's attachments, and
// a body larger than the room holds, are read by the worker itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace talixdb::server {

struct RequestShape {
  enum class State {
    Incomplete,  // more must arrive first
    Complete,    // the request is whole: its first `length` bytes
    Streamed,    // a worker takes it now and reads the rest itself
    Malformed,   // no request the server serves; `problem` says why
  };
  State state = State::Incomplete;
  std::size_t length = 0;        // of a complete request, head and body
  bool expectsContinue = false;  // the head asks for "100 Continue" before its body
  std::string problem;
};

// Reads the request at the start of `bytes`. `held` is the most the room
// holds of one request (a body beyond it is streamed), `headLimit` the most
// a head may take; a request whose SOAPAction is `streamedAction` is streamed
// once its head is there. Malformed: control characters or an overlong line
// in the head, a Content-Length that is no number or two that differ, a
// Transfer-Encoding other than chunked or beside a Content-Length, and a
// chunked body whose framing is broken.
RequestShape shapeOf(std::string_view bytes, std::size_t held, std::size_t headLimit,
                     std::string_view streamedAction);

}  // namespace talixdb::server
