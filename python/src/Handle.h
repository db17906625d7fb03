// One library handle as the Python module holds it: the CVLTDatabase, the
// logger and progress receiver attached to it, and the rules of calling it
// from Python (one call at a time, by its own thread, without the GIL).
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "talixdbapi/VLTDatabase.h"

namespace talixdb_python {

namespace py = pybind11;

class Handle : public TALIX::ILogger, public VLT_121::ITransferProgress, public std::enable_shared_from_this<Handle> {
 public:
  // `sameThread`: only the thread that made the handle may call it.
  explicit Handle(bool sameThread);
  ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  // Runs `work(db)` with the GIL released, after checking that nobody else
  // is inside the handle, then `convert(result)` with the GIL held and the
  // handle still reserved (buffers the work got are turned into Python
  // objects before anything can fail). Afterwards raises what stopped the
  // call: an exception of the progress callback, or a signal that arrived
  // meanwhile (Ctrl-C: KeyboardInterrupt), in place of the result.
  template <typename Work, typename Convert>
  py::object run(Work&& work, Convert&& convert);
  template <typename Work>
  py::object run(Work&& work) {
    return run(std::forward<Work>(work), [](auto result) { return py::cast(result); });
  }

  // Called between the steps of a call that makes several library calls
  // (GIL released): false when a signal is pending, which the call then raises.
  bool goOn();

  // A NumPy array over `count` doubles the library handed out, without a
  // copy; the buffer goes back to the library when the array goes.
  py::object lendDoubles(double* values, int count);
  // A read-only memoryview over `size` bytes the library handed out, likewise.
  py::object lendBytes(char* data, long size);
  // The bytes, copied, and the buffer given back at once.
  py::object copyBytes(char* data, long size);

  // The callback that hears the progress of the next transfers
  // (callback(done, expected); False stops); None for none.
  void setProgressCallback(py::object callback);

  // Gives a buffer of the library back: at once, or when the running call
  // ends. GIL held.
  void giveBack(void* buffer);

  // The library's own words for why the last call failed (getLastErrorText),
  // or "" when that call wrote none.
  std::string lastErrorText();

 private:
  class Reservation;

  // TALIX::ILogger: collects the messages of the running call, which go to
  // Python's logging when it ends.
  int log(TALIX::LogType type, const char* message) override;
  void release() override {}
  // ITransferProgress: signals first, then the host's callback.
  bool onTransfer(long long done, long long expected) override;

  // ProgrammingError for a call from another thread or from inside a call.
  void check() const;
  void enter();
  void leave();
  void raiseStopped();
  // Keeps the Python error being raised, to be raised again after the call.
  void keepError();

  VLT_121::CVLTDatabase m_db;
  const std::thread::id m_owner;
  const bool m_sameThread;
  // Read and written with the GIL held only: inside a call, and the buffers
  // whose arrays went while it ran, given back when it ends.
  bool m_busy = false;
  std::vector<void*> m_returned;
  std::vector<std::pair<int, std::string>> m_messages;
  // The library's failure text when the last call started: the library
  // keeps it until a failure writes another, so a text left unchanged is
  // not the last call's.
  std::string m_errorBefore;
  py::object m_callback;
  py::object m_errorType, m_errorValue, m_errorTrace;
  // When goOn last looked for signals.
  std::chrono::steady_clock::time_point m_lastLook;
};

// Lifts the handle's reservation however the call ends.
class Handle::Reservation {
 public:
  explicit Reservation(Handle& handle) : m_handle(handle) { m_handle.enter(); }
  ~Reservation() { m_handle.leave(); }
  Reservation(const Reservation&) = delete;
  Reservation& operator=(const Reservation&) = delete;

 private:
  Handle& m_handle;
};

template <typename Work, typename Convert>
py::object Handle::run(Work&& work, Convert&& convert) {
  Reservation reservation(*this);
  using Result = decltype(work(m_db));
  py::object converted;
  if constexpr (std::is_void_v<Result>) {
    {
      py::gil_scoped_release unlocked;
      work(m_db);
    }
    converted = py::none();
  } else {
    Result result = [&] {
      py::gil_scoped_release unlocked;
      return work(m_db);
    }();
    converted = convert(std::move(result));
  }
  raiseStopped();
  return converted;
}

}  // namespace talixdb_python
