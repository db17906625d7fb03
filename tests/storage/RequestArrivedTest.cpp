// When the event thread hands a connection to a worker: once the request
// head, and a small body its Content-Length names, have arrived.
#include <gtest/gtest.h>

#include <string>

#include "WaitingRoom.h"

namespace talixdb::server {
namespace {

TEST(RequestArrivedTest, HeadAndSmallBodyOrAFullLookAhead) {
  const std::string head = "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: h\r\n";
  struct Case {
    std::string bytes;
    bool arrived;
  };
  const Case cases[] = {
      {"", false},
      {"GET /health HTTP/1.1\r\nHost: h\r\n", false},
      {"GET /health HTTP/1.1\r\nHost: h\r\n\r\n", true},
      {"GET /health HTTP/1.0\n\n", true},
      {head + "Content-Length: 10\r\n\r\n12345", false},
      {head + "content-LENGTH:10\r\n\r\n1234567890", true},
      {head + "Content-Length: 99999999999999999999\r\n\r\n", true},  // larger than the look-ahead: a worker reads it
      {head + "Transfer-Encoding: chunked\r\n\r\n", true},
      {head + "X-Content-Length: 10\r\n\r\n", true},
      {std::string(100, 'x'), true},  // fills the look-ahead
      {"\x16\x03\x01\x02", true},        // a TLS handshake on the plain port
  };
  for (const Case& c : cases) EXPECT_EQ(requestArrived(c.bytes, 100), c.arrived) << c.bytes;
}

}  // namespace
}  // namespace talixdb::server
