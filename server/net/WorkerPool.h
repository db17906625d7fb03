// The workers that serve requests: a number kept ready, more started while
// connections wait for one (up to a cap), each ending again after a while
// without work. A connection comes here once its request has arrived; its
// worker serves that request and gives the connection back to the waiting
// room or closes it. A thread that cannot start costs the server nothing but
// the wait: the request waits for a worker that is there, or, when too many
// wait already, is refused, with a log line either way.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/ServerLog.h"
#include "net/Connection.h"

namespace talixdb::server {

// One worker's means of serving: its runtime context and storage connection.
class Worker {
 public:
  virtual ~Worker() = default;
  // Serves one request on `connection`; true when the connection goes back
  // to the waiting room (for its next request, or to finish its reply),
  // false when it is to be closed. Never throws.
  virtual bool serve(Connection& connection) noexcept = 0;
};

class WorkerPool {
 public:
  // Makes a worker; throws when it cannot (the store refuses a connection).
  using MakeWorker = std::function<std::unique_ptr<Worker>()>;
  // Takes a connection that stays open.
  using KeepConnection = std::function<void(Connection)>;

  WorkerPool(int ready, int most, std::chrono::seconds linger, MakeWorker make, KeepConnection keep);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Makes the ready workers; throws when one cannot be made.
  void start();
  // Queues a connection whose request has arrived; starts a worker when
  // none is free.
  void submit(Connection connection);
  // Serves what is queued and running for up to `grace`, then shuts down
  // the sockets still in service so that their I/O fails, and joins.
  void stop(std::chrono::milliseconds grace);

  // Workers now, for the log.
  int size() const;
  // Workers now, those serving a connection, and connections waiting for one.
  struct Load {
    int workers = 0;
    int busy = 0;
    int queued = 0;
  };
  Load load() const;

 private:
  struct Slot {
    std::unique_ptr<Worker> worker;  // null until made (by the thread for an extra one)
    std::thread thread;
    int socket = -1;  // in service; closed only once this is -1 again
    bool extra = false;
    bool finished = false;
  };
  void run(Slot& slot);
  void joinFinished(std::unique_lock<std::mutex>& lock);

  void startExtra(std::unique_lock<std::mutex>& lock);

  const int m_ready;
  const int m_most;
  const std::chrono::seconds m_linger;
  MakeWorker m_make;
  KeepConnection m_keep;
  ThrottledWarning m_startFailures;
  ThrottledWarning m_refusals;
  mutable std::mutex m_mutex;
  std::condition_variable m_work;  // a connection was queued, or the pool stops
  std::condition_variable m_idle;  // a worker finished one
  std::deque<Connection> m_queue;
  std::list<Slot> m_slots;
  int m_waiting = 0;  // workers waiting for a connection, or about to
  int m_busy = 0;
  bool m_stopping = false;
};

}  // namespace talixdb::server
