// Scope guard for one storage transaction: begins on construction (alone
// when asked, see Storage::beginAlone), rolls back on destruction unless
// commit() was reached.
#pragma once

#include "Storage.h"

namespace talixdb::server {

class StorageTransaction {
 public:
  explicit StorageTransaction(Storage& storage, bool alone = false) : m_storage(storage) {
    if (alone)
      m_storage.beginAlone();
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
