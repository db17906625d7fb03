// Owners for what the library hands out: registered buffers and arrays
// (given back with releaseMemory) and downloaded models (deleteObject).
#pragma once

#include <memory>

#include "talixdbapi/VLTDatabase.h"

namespace talixdb_cli {

template <typename T>
class RegisteredBuffer {
 public:
  explicit RegisteredBuffer(VLT_121::CVLTDatabase& db) : m_db(db) {}
  ~RegisteredBuffer() {
    if (m_pointer != nullptr) m_db.releaseMemory(m_pointer);
  }
  RegisteredBuffer(const RegisteredBuffer&) = delete;
  RegisteredBuffer& operator=(const RegisteredBuffer&) = delete;

  // The out-parameter for the library call that fills the buffer.
  T*& slot() { return m_pointer; }
  T* get() const { return m_pointer; }

 private:
  VLT_121::CVLTDatabase& m_db;
  T* m_pointer = nullptr;
};

struct ModelDeleter {
  void operator()(VLT_121::CVLTModel* model) const { VLT_121::CVLTModel::deleteObject(model); }
};
using ModelPtr = std::unique_ptr<VLT_121::CVLTModel, ModelDeleter>;

}  // namespace talixdb_cli
