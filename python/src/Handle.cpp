#include "Handle.h"

#include <pybind11/numpy.h>

#include <chrono>
#include <cstring>
#include <sstream>

namespace talixdb_python {

namespace {

// The library's prefix of every message.
const char kMessagePrefix[] = "TALIXDBAPI ";

// The message without the library's "TALIXDBAPI x.y.z:\t" and the line ends
// it often carries.
std::string plainMessage(const char* message) {
  std::string text = message != nullptr ? message : "";
  if (text.compare(0, sizeof kMessagePrefix - 1, kMessagePrefix) == 0) {
    std::string::size_type tab = text.find('\t');
    if (tab != std::string::npos) text.erase(0, tab + 1);
  }
  const char* blank = " \t\r\n";
  std::string::size_type first = text.find_first_not_of(blank);
  if (first == std::string::npos) return "";
  std::string::size_type last = text.find_last_not_of(blank);
  text = text.substr(first, last - first + 1);
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

// The level of Python's logging module for a library message kind.
int loggingLevel(int type) {
  constexpr int kDebug = 10, kInfo = 20;
  return type == TALIX::LogTypeError ? kInfo : kDebug;
}

// A buffer the library handed out, on loan to a Python object; the capsule
// that owns it gives it back.
struct Loan {
  std::shared_ptr<Handle> handle;
  void* buffer;
};

py::capsule loanCapsule(std::shared_ptr<Handle> handle, void* buffer) {
  auto* loan = new Loan{std::move(handle), buffer};
  return py::capsule(loan, [](void* pointer) {
    std::unique_ptr<Loan> owned(static_cast<Loan*>(pointer));
    owned->handle->giveBack(owned->buffer);
  });
}

[[noreturn]] void raiseProgrammingError(const std::string& text) {
  py::object kind = py::module_::import("talixdb._errors").attr("ProgrammingError");
  PyErr_SetString(kind.ptr(), text.c_str());
  throw py::error_already_set();
}

std::string threadName(std::thread::id id) {
  std::ostringstream text;
  text << id;
  return text.str();
}

}  // namespace

Handle::Handle(bool sameThread) : m_owner(std::this_thread::get_id()), m_sameThread(sameThread) {
  m_db.setLoggingObject(this);
  m_db.setTransferProgress(this);
}

Handle::~Handle() {
  for (void* buffer : m_returned) m_db.releaseMemory(buffer);
  m_db.setTransferProgress(nullptr);
}

void Handle::setProgressCallback(py::object callback) {
  check();
  m_callback = callback.is_none() ? py::object() : std::move(callback);
}

void Handle::enter() {
  check();
  m_busy = true;
  m_messages.clear();
  m_errorBefore = m_db.getLastErrorText();
  m_errorType = py::object();
  m_errorValue = py::object();
  m_errorTrace = py::object();
}

void Handle::check() const {
  if (m_sameThread && std::this_thread::get_id() != m_owner)
    raiseProgrammingError("a talixdb connection can be used only by the thread that made it (thread " +
                          threadName(m_owner) + "; this is thread " + threadName(std::this_thread::get_id()) +
                          "): connect once in each thread");
  if (m_busy)
    raiseProgrammingError(std::this_thread::get_id() == m_owner
                              ? "the talixdb connection is inside a call already (a progress callback must not "
                                "use the connection it reports on)"
                              : "the talixdb connection is inside a call of another thread: connect once in each "
                                "thread");
}

void Handle::leave() {
  m_busy = false;
  for (void* buffer : m_returned) m_db.releaseMemory(buffer);
  m_returned.clear();
  try {
    if (m_messages.empty()) return;
    py::object logger = py::module_::import("logging").attr("getLogger")("talixdb");
    for (const auto& message : m_messages) logger.attr("log")(loggingLevel(message.first), message.second);
  } catch (py::error_already_set& error) {
    error.discard_as_unraisable("talixdb: forwarding a library message");
  } catch (...) {
  }
}

void Handle::raiseStopped() {
  if (m_errorType) {
    PyErr_Restore(m_errorType.release().ptr(), m_errorValue.release().ptr(), m_errorTrace.release().ptr());
    throw py::error_already_set();
  }
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

bool Handle::goOn() {
  // Ctrl-C within a twentieth of a second is soon enough; the GIL is not
  // asked for after every one of a thousand short library calls.
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastLook < std::chrono::milliseconds(50)) return true;
  m_lastLook = now;
  py::gil_scoped_acquire locked;
  if (m_errorType) return false;
  if (PyErr_CheckSignals() != 0) {
    keepError();
    return false;
  }
  return true;
}

void Handle::keepError() {
  PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
  PyErr_Fetch(&type, &value, &trace);
  if (m_errorType) {  // the first error wins
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(trace);
    return;
  }
  m_errorType = py::reinterpret_steal<py::object>(type);
  m_errorValue = py::reinterpret_steal<py::object>(value);
  m_errorTrace = py::reinterpret_steal<py::object>(trace);
}

int Handle::log(TALIX::LogType type, const char* message) {
  try {
    std::string text = plainMessage(message);
    if (!text.empty()) m_messages.emplace_back(static_cast<int>(type), std::move(text));
  } catch (...) {
  }
  return 0;
}

bool Handle::onTransfer(long long done, long long expected) {
  // Without a callback only the middle of a transfer asks for the GIL (to
  // look for Ctrl-C, once a MiB): the start and the end of each of the many
  // small files a call may move cost nothing. The callback is set before
  // the call by its thread and stays until it ends.
  if (!m_callback && (done == 0 || done >= expected)) return true;
  try {
    py::gil_scoped_acquire locked;
    if (m_errorType) return false;
    if (PyErr_CheckSignals() != 0) {
      keepError();
      return false;
    }
    if (!m_callback) return true;
    try {
      py::object answer = m_callback(done, expected);
      // None (a callback that only shows progress) goes on; False stops.
      return answer.is_none() || PyObject_IsTrue(answer.ptr()) != 0;
    } catch (py::error_already_set& error) {
      error.restore();
      keepError();
      return false;
    }
  } catch (...) {
    return false;
  }
}

void Handle::giveBack(void* buffer) {
  if (buffer == nullptr) return;
  if (m_busy)
    m_returned.push_back(buffer);
  else
    m_db.releaseMemory(buffer);
}

py::object Handle::lendDoubles(double* values, int count) {
  if (values == nullptr) return py::none();
  py::capsule owner = loanCapsule(shared_from_this(), values);
  return py::array_t<double>({static_cast<py::ssize_t>(count)}, {static_cast<py::ssize_t>(sizeof(double))}, values,
                             owner);
}

py::object Handle::lendBytes(char* data, long size) {
  if (data == nullptr) return py::none();
  py::capsule owner = loanCapsule(shared_from_this(), data);
  py::array_t<unsigned char> bytes({static_cast<py::ssize_t>(size)}, {static_cast<py::ssize_t>(1)},
                                   reinterpret_cast<unsigned char*>(data), owner);
  // Read-only: the buffer is the library's.
  bytes.attr("setflags")(py::arg("write") = false);
  return py::memoryview(bytes);
}

py::object Handle::copyBytes(char* data, long size) {
  if (data == nullptr) return py::none();
  py::bytes copy(data, static_cast<std::size_t>(size));
  giveBack(data);
  return std::move(copy);
}

std::string Handle::lastErrorText() {
  check();
  std::string said = m_db.getLastErrorText();
  return said != m_errorBefore ? said : std::string();
}

}  // namespace talixdb_python
