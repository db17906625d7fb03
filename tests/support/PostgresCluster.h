// A throw-away PostgreSQL cluster for the tests, made with initdb and pg_ctl
// from Debian's postgresql package: it listens on a Unix socket in a
// temporary directory only (no TCP), runs as the unprivileged user
// "postgres" when the tests run as root, and is removed with its directory
// when the test process ends, however it ends (a watchdog process that
// waits for the test process to go away stops and removes it). It skips
// durability work (fsync) unless TALIXDB_TEST_PG_DURABLE is set.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace talixdb_test {

class PostgresCluster {
 public:
  // The cluster of this test process, started on first use. Throws
  // std::runtime_error saying why when PostgreSQL cannot be started.
  static PostgresCluster& shared();

  // A new empty database; returns its connection URI.
  std::string createDatabase();

  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

 private:
  PostgresCluster();
  // Connection URI of `database` as the superuser.
  std::string uri(const std::string& database) const;
  std::string m_directory;  // data in "data", the socket beside it
  int m_watchdogPipe = -1;  // its closing tells the watchdog to remove the cluster
  int m_watchdog = -1;
  int m_databases = 0;
};

// One connection to a database, for statements a test runs beside the
// server (ending the server's connections, holding locks).
class PostgresSession {
 public:
  // Throws std::runtime_error when the connection fails.
  explicit PostgresSession(const std::string& uri);
  ~PostgresSession();
  PostgresSession(const PostgresSession&) = delete;
  PostgresSession& operator=(const PostgresSession&) = delete;

  // Runs `sql`; returns the first value of the first row ("" for none).
  // Throws std::runtime_error with the database's message on failure.
  std::string run(const std::string& sql);

 private:
  PGconn* m_connection = nullptr;
};

}  // namespace talixdb_test
