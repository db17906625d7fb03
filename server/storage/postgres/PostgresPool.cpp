#include "storage/postgres/PostgresPool.h"

namespace talixdb::server {

std::shared_ptr<PgConnection> PgPool::lease() {
  std::unique_ptr<PgConnection> idle;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool free = m_returned.wait_for(
        lock, kWait, [this] { return !m_idle.empty() || m_limit <= 0 || m_open < m_limit; });
    if (!free)
      throw StorageFailure("all " + std::to_string(m_limit) +
                           " database connections of this server are in use (--max-db-connections)");
    if (!m_idle.empty()) {
      idle = std::move(m_idle.back());
      m_idle.pop_back();
    } else {
      ++m_open;
    }
  }
  try {
    if (idle) {
      idle->reopenIfLost();
      return lend(idle.release());
    }
    return lend(new PgConnection(m_uri));
  } catch (...) {
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_open;
    m_returned.notify_one();
    throw;
  }
}

int PgPool::open() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_open;
}

std::shared_ptr<PgConnection> PgPool::lend(PgConnection* connection) {
  // The connection holds its pool, which outlives every one lent.
  return std::shared_ptr<PgConnection>(connection,
                                       [pool = shared_from_this()](PgConnection* back) { pool->giveBack(back); });
}

void PgPool::giveBack(PgConnection* connection) {
  std::unique_ptr<PgConnection> owned(connection);
  const bool reusable = !owned->isLost() && !owned->pending() && !owned->inTransaction();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (reusable)
      m_idle.push_back(std::move(owned));
    else
      --m_open;
  }
  m_returned.notify_one();
  // A connection not kept closes here, outside the lock.
}

}  // namespace talixdb::server
