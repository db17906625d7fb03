// The PostgreSQL store as one server process holds it: the database a libpq
// connection URI names, shared with any number of other server processes,
// and the source of one PostgresStorage connection per worker.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "storage/Storage.h"
#include "storage/postgres/PostgresPool.h"

namespace talixdb::server {

class PostgresStore : public Store {
 public:
  // Connects to the database `uri` names, creates the schema on first use
  // and brings an older one up to date (one process at a time, under an
  // advisory lock), and refuses a schema newer than this server's. To serve
  // (`use` Serve) it also removes staged contents whose server or connection
  // is gone, now and every kSweepInterval while it lives. At most
  // `maxConnections` connections are open at once (0: no limit). Throws
  // StorageFailure.
  PostgresStore(std::string uri, StoreUse use, int maxConnections = 0);
  ~PostgresStore() override;

  std::unique_ptr<Storage> connect() override;
  std::string description() const override;

 private:
  void sweepPeriodically();

  std::shared_ptr<PgPool> m_pool;
  std::string m_description;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopping = false;
  std::thread m_sweeper;
};

}  // namespace talixdb::server
