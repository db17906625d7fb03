#include "net/RequestHead.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

namespace talixdb::server {

namespace {

using State = RequestShape::State;

RequestShape malformed(const std::string& problem);
std::string_view trimmed(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// The end of a chunked body that begins at `start`: the length of the
// request, nullopt while it has not wholly arrived; `problem` set when its
// framing is broken.
std::optional<std::size_t> chunkedEnd(std::string_view bytes, std::size_t start, std::string& problem);

}  // namespace

RequestShape shapeOf(std::string_view bytes, std::size_t held, std::size_t headLimit,
                     std::string_view streamedAction) {
  std::size_t headEnd = bytes.find("\n\r\n");
  std::size_t bareEnd = bytes.find("\n\n");
  std::size_t bodyStart = std::string_view::npos;
  if (headEnd != std::string_view::npos) bodyStart = headEnd + 3;
  if (bareEnd != std::string_view::npos && (bodyStart == std::string_view::npos || bareEnd + 2 < bodyStart))
    bodyStart = bareEnd + 2;
  const std::string_view head = bytes.substr(0, std::min(bodyStart, bytes.size()));
  for (const char c : head) {
    const auto code = static_cast<unsigned char>(c);
    if ((code < 0x20 && c != '\r' && c != '\n' && c != '\t') || code == 0x7f) {
      char text[64];
      std::snprintf(text, sizeof text, "the request head holds the control character U+%04X", code);
      return malformed(text);
    }
  }
  if (bodyStart == std::string_view::npos) {
    if (bytes.size() > headLimit)
      return malformed("the request head is longer than " + std::to_string(headLimit) + " bytes");
    return RequestShape();
  }
  if (bodyStart > headLimit) return malformed("the request head is longer than " + std::to_string(headLimit) + " bytes");

  RequestShape shape;
  std::optional<std::uint64_t> contentLength;
  bool chunked = false;
  bool streamed = false;
  std::size_t lineStart = 0;
  for (bool first = true; lineStart < bodyStart; first = false) {
    std::size_t lineEnd = head.find('\n', lineStart);
    std::string_view line = head.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the end of the head
    if (first) {
      const std::size_t blank = line.find(' ');
      if (blank == 0 || blank == std::string_view::npos ||
          !std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(blank),
                       [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; }))
        return malformed("the request does not begin with an HTTP request line");
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || line[0] == ' ' || line[0] == '\t' ||
        line.substr(0, colon).find_first_of(" \t") != std::string_view::npos)
      return malformed("the request head holds a line that is no header field");
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (equalsIgnoringCase(name, "Content-Length")) {
      if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos)
        return malformed("the Content-Length is no number");
      std::uint64_t length = 0;
      for (const char digit : value) length = std::min<std::uint64_t>(length * 10 + (digit - '0'), 1ull << 62);
      if (contentLength && *contentLength != length) return malformed("the request has two different Content-Lengths");
      contentLength = length;
    } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
      if (!equalsIgnoringCase(value, "chunked")) return malformed("the request has a Transfer-Encoding other than chunked");
      chunked = true;
    } else if (equalsIgnoringCase(name, "SOAPAction")) {
      std::string_view action = value;
      if (action.size() >= 2 && action.front() == '"' && action.back() == '"') action = action.substr(1, action.size() - 2);
      streamed = !streamedAction.empty() && action == streamedAction;
    } else if (equalsIgnoringCase(name, "Expect")) {
      shape.expectsContinue = equalsIgnoringCase(value, "100-continue");
    }
  }
  if (chunked && contentLength) return malformed("the request has both a Transfer-Encoding and a Content-Length");
  if (streamed && (chunked || contentLength.value_or(0) > 0)) {
    shape.state = State::Streamed;
    return shape;
  }
  if (chunked) {
    std::string problem;
    const std::optional<std::size_t> end = chunkedEnd(bytes, bodyStart, problem);
    if (!problem.empty()) return malformed(problem);
    if (end) {
      shape.state = State::Complete;
      shape.length = *end;
    } else if (bytes.size() >= held) {
      shape.state = State::Streamed;
    }
    return shape;
  }
  const std::uint64_t total = bodyStart + contentLength.value_or(0);
  if (bytes.size() >= total) {
    shape.state = State::Complete;
    shape.length = static_cast<std::size_t>(total);
  } else if (bytes.size() >= held) {
    shape.state = State::Streamed;
  }
  return shape;
}

namespace {

RequestShape malformed(const std::string& problem) {
  RequestShape shape;
  shape.state = State::Malformed;
  shape.problem = problem;
  return shape;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<std::size_t> chunkedEnd(std::string_view bytes, std::size_t start, std::string& problem) {
  constexpr std::size_t kMaxSizeLine = 1024;
  std::size_t at = start;
  for (;;) {
    const std::size_t lineEnd = bytes.find('\n', at);
    if (lineEnd == std::string_view::npos) {
      if (bytes.size() - at > kMaxSizeLine) problem = "a chunk of the request has no size line";
      return std::nullopt;
    }
    const std::string_view line = bytes.substr(at, lineEnd - at);
    const std::string_view digits = line.substr(0, line.find_first_not_of("0123456789abcdefABCDEF"));
    if (digits.empty() || digits.size() > 15 || line.size() > kMaxSizeLine) {
      problem = "a chunk of the request has no size line";
      return std::nullopt;
    }
    const std::uint64_t size = std::stoull(std::string(digits), nullptr, 16);
    at = lineEnd + 1;
    if (size == 0) {
      // Trailer fields, then an empty line.
      for (;;) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) {
          if (bytes.size() - at > kMaxSizeLine) problem = "the request's trailer is too long";
          return std::nullopt;
        }
        const bool empty = end == at || (end == at + 1 && bytes[at] == '\r');
        at = end + 1;
        if (empty) return at;
      }
    }
    if (bytes.size() - at < size) return std::nullopt;
    at += static_cast<std::size_t>(size);
    const std::string_view after = bytes.substr(at, 2);
    if (after.empty() || (after[0] == '\r' && after.size() < 2)) return std::nullopt;
    if (after[0] == '\n') {
      at += 1;
    } else if (after == "\r\n") {
      at += 2;
    } else {
      problem = "a chunk of the request is longer than its size says";
      return std::nullopt;
    }
  }
}

}  // namespace

}  // namespace talixdb::server
