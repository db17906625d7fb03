// Scope guard for one storage transaction: begins on construction (for
// reading or alone when asked, see Storage::beginReading and beginAlone),
// rolls back on destruction unless commit() was reached.
#pragma once

#include "storage/Storage.h"

namespace talixdb::server {

class StorageTransaction {
 public:
  enum class Kind { Reading, Writing, Alone };

  explicit StorageTransaction(Storage& storage, Kind kind = Kind::Writing) : m_storage(storage) {
    if (kind == Kind::Alone)
      m_storage.beginAlone();
    else if (kind == Kind::Reading)
      m_storage.beginReading();
    else
      m_storage.begin();
  }
  ~StorageTransaction() {
    if (m_open) {
      try {
        m_storage.rollback();
      } catch (...) {
        // The connection discards an unfinished transaction anyway.
      }
    }
  }
  StorageTransaction(const StorageTransaction&) = delete;
  StorageTransaction& operator=(const StorageTransaction&) = delete;

  void commit() {
    m_storage.commit();
    m_open = false;
  }

 private:
  Storage& m_storage;
  bool m_open = true;
};

}  // namespace talixdb::server
