// Starts the real stand-in server as a child process on a free loopback port
// with a temporary store, for tests that talk to a server: a SQLite store in
// a temporary directory, or a new database in the tests' own PostgreSQL
// cluster (see PostgresCluster).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "support/ProgramRun.h"

namespace talixdb_test {

// The storage engines the server can run on.
enum class Engine { Sqlite, Postgres };
// The engine servers use unless a test names one: PostgreSQL when the
// environment variable TALIXDB_TEST_ENGINE is "postgresql", else SQLite.
Engine defaultEngine();

// A temporary directory, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

class TestServer {
 public:
  // Starts the server on 127.0.0.1 with --port 0 and a store on `engine`;
  // extra options follow. For SQLite the store is in a new temporary
  // directory, or in `dataDir` when given; for PostgreSQL it is a new
  // database, or the one `dataDir` names when that is a postgresql:// URI
  // (another server's storeUri(), to serve one repository with two).
  explicit TestServer(std::vector<std::string> extraArgs = {}, std::string dataDir = "",
                      Engine engine = defaultEngine());
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Stops the process with `signal` and waits for it; returns its wait status.
  int stop(int signal = 15);
  // Starts it again on the same store (a new port).
  void restart() {
    stop();
    start();
  }

  int port() const { return m_port; }
  pid_t pid() const { return m_pid; }
  // "127.0.0.1:PORT", the address CVLTDatabase::open expects.
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  // The full service endpoint URL.
  std::string endpoint() const { return "http://" + address() + "/vlt/services/QuillonBinding"; }
  const std::string& dataDir() const { return m_dataDir; }
  // The PostgreSQL store's connection URI ("" on SQLite).
  const std::string& storeUri() const { return m_storeUri; }
  // Standard error of the server so far.
  std::string log() const;

 private:
  void start();
  std::vector<std::string> m_extraArgs;
  Engine m_engine;
  std::string m_storeUri;
  std::unique_ptr<TempDir> m_ownDir;
  std::string m_dataDir;
  std::string m_logPath;
  pid_t m_pid = -1;
  int m_port = 0;
};

// Runs talixdb-server once (a command such as --backup-to, or a start that
// is refused) and returns what it said; killed after 60 s.
ProgramResult runServerProgram(std::vector<std::string> args,
                               std::vector<std::pair<std::string, std::string>> env = {}, std::string input = "");

// Administrator password the test servers are started with.
constexpr const char* kAdminPassword = "kelp482";

}  // namespace talixdb_test
