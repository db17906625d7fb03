// The database connections of one server process. A worker borrows one for
// a transaction, an upload being staged or a download being read, and it
// comes back when the last of those lets go of it; an idle one is kept for
// the next. At most `limit` are open at once (0: no limit): a borrower
// waits while all are out, and fails after a while, saying so.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storage/postgres/Postgres.h"

namespace talixdb::server {

class PgPool : public std::enable_shared_from_this<PgPool> {
 public:
  // How long a borrower waits while every connection is out.
  static constexpr std::chrono::seconds kWait{10};

  PgPool(std::string uri, int limit) : m_uri(std::move(uri)), m_limit(limit) {}

  // An open connection (an idle one checked, see
  // PgConnection::reopenIfLost, or a new one). Throws StorageFailure when
  // the database cannot be reached or refuses, and when all are still out
  // after kWait.
  std::shared_ptr<PgConnection> lease();
  int limit() const { return m_limit; }
  // Connections open now, lent or idle.
  int open();

 private:
  // Keeps `connection` for the next borrower, unless it was lost or left
  // in the middle of something.
  void giveBack(PgConnection* connection);
  std::shared_ptr<PgConnection> lend(PgConnection* connection);

  std::string m_uri;
  int m_limit;
  std::mutex m_mutex;
  std::condition_variable m_returned;
  std::vector<std::unique_ptr<PgConnection>> m_idle;
  int m_open = 0;
};

}  // namespace talixdb::server
