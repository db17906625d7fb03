// The host framework's logging interface, as the library uses it. The library
// never owns a logger: it calls `log` for each message and `release` once,
// from the destructor of the handle the logger is attached to.
#pragma once

#include <cstdint>

namespace TALIX {

// Kind of a message. The library sends 0, 1 and 3 only.
enum LogType : std::int32_t {
  LogTypeError = 0,     // errors and outcomes
  LogTypeProgress = 1,  // progress notes
  LogTypeWarning = 2,   // not used by the library
  LogTypeSession = 3,   // session events
};

// Reference-counted base of the host framework's interfaces.
class IObject {
 public:
  // Gives up the caller's reference to the object.
  virtual void release() = 0;

 protected:
  ~IObject() = default;
};

class ILogger : public virtual IObject {
 public:
  // Receives one complete message; `message` is valid only during the call.
  // The result is ignored by the library.
  virtual int log(LogType type, const char* message) = 0;

 protected:
  ~ILogger() = default;
};

}  // namespace TALIX
