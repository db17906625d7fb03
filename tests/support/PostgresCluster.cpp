#include "support/PostgresCluster.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

#include "support/ProgramRun.h"

namespace talixdb_test {

namespace {

// Where initdb and pg_ctl are: the newest version Debian installed.
std::string postgresBinaries() {
  std::error_code ignored;
  std::vector<std::string> versions;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored))
    versions.push_back(entry.path().string() + "/bin");
  std::sort(versions.rbegin(), versions.rend());
  for (const std::string& dir : versions)
    if (::access((dir + "/initdb").c_str(), X_OK) == 0 && ::access((dir + "/pg_ctl").c_str(), X_OK) == 0) return dir;
  throw std::runtime_error(
      "PostgreSQL cannot be started for the tests: no initdb and pg_ctl (install Debian's postgresql package, "
      "as scripts/install-deps.sh does)");
}

// Runs a PostgreSQL program, as "postgres" when this process is root
// (initdb refuses to run as root).
ProgramResult runAsOwner(const std::string& program, std::vector<std::string> args) {
  ProgramRun run{std::move(args)};
  if (::geteuid() != 0) return runProgram(program, run, std::chrono::seconds(120));
  run.args.insert(run.args.begin(), {"-u", "postgres", "--", program});
  return runProgram("/usr/sbin/runuser", run, std::chrono::seconds(120));
}

void require(const ProgramResult& result, const std::string& what, const std::string& log = "") {
  if (result.exitCode == 0) return;
  std::ifstream file(log);
  std::string tail((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  throw std::runtime_error("PostgreSQL cannot be started for the tests: " + what + " failed (exit " +
                           std::to_string(result.exitCode) + "): " + result.err + result.out + tail);
}

}  // namespace

PostgresCluster& PostgresCluster::shared() {
  static std::unique_ptr<PostgresCluster> cluster(new PostgresCluster());
  return *cluster;
}

PostgresCluster::PostgresCluster() {
  // A leak checker preloaded into the tests stays in this process: the
  // database's own processes (and what starts after them) run without it.
  ::unsetenv("LD_PRELOAD");
  const std::string bin = postgresBinaries();
  m_directory = (std::filesystem::temp_directory_path() / "talixdb-pg-XXXXXX").string();
  if (::mkdtemp(m_directory.data()) == nullptr)
    throw std::runtime_error("PostgreSQL cannot be started: mkdtemp failed");
  if (::geteuid() == 0) {
    const passwd* owner = ::getpwnam("postgres");
    if (owner == nullptr || ::chown(m_directory.c_str(), owner->pw_uid, owner->pw_gid) != 0) {
      std::filesystem::remove_all(m_directory);
      throw std::runtime_error(
          "PostgreSQL cannot be started for the tests as root: no user \"postgres\" to run it as (Debian's "
          "postgresql package makes it)");
    }
  }

  // The watchdog: a shell that waits until this process closes the pipe
  // (at its end, whatever the cause), then stops the cluster and removes it.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("PostgreSQL cannot be started: pipe failed");
  const std::string stop = (::geteuid() == 0 ? "/usr/sbin/runuser -u postgres -- " : "") + bin +
                           "/pg_ctl -D \"$1/data\" -m immediate stop >/dev/null 2>&1; rm -rf \"$1\"";
  const std::string script = "cat >/dev/null; " + stop;
  const char* argv[] = {"/bin/sh", "-c", script.c_str(), "talixdb-pg-watchdog", m_directory.c_str(), nullptr};
  pid_t watchdog = ::fork();
  if (watchdog < 0) throw std::runtime_error("PostgreSQL cannot be started: fork failed");
  if (watchdog == 0) {
    ::setsid();  // not taken down with this process's group
    ::dup2(fds[0], 0);
    ::close(fds[0]);
    ::close(fds[1]);
    ::execv("/bin/sh", const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::close(fds[0]);
  m_watchdog = watchdog;
  m_watchdogPipe = fds[1];

  const std::string data = m_directory + "/data";
  require(runAsOwner(bin + "/initdb", {"-D", data, "-A", "trust", "-U", "postgres", "-E", "UTF8", "--locale=C",
                                       "--no-sync"}),
          "initdb");
  {
    // Room for several servers; a disposable cluster does no durability
    // work unless TALIXDB_TEST_PG_DURABLE is set (for benchmarks).
    std::ofstream conf(data + "/postgresql.conf", std::ios::app);
    conf << "listen_addresses = ''\n"
         << "unix_socket_directories = '" << m_directory << "'\n"
         << "max_connections = 200\n";
    if (std::getenv("TALIXDB_TEST_PG_DURABLE") == nullptr)
      conf << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n";
  }
  const std::string log = m_directory + "/log";
  require(runAsOwner(bin + "/pg_ctl", {"-D", data, "-l", log, "-w", "-t", "60", "start"}), "pg_ctl start", log);
}

PostgresCluster::~PostgresCluster() {
  // The watchdog stops and removes the cluster once the pipe closes.
  ::close(m_watchdogPipe);
  ::waitpid(m_watchdog, nullptr, 0);
}

std::string PostgresCluster::uri(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + m_directory + "&user=postgres";
}

std::string PostgresCluster::createDatabase() {
  const std::string name = "talixdb_test_" + std::to_string(++m_databases);
  PostgresSession(uri("postgres")).run("CREATE DATABASE " + name);
  return uri(name);
}

PostgresSession::PostgresSession(const std::string& uri) {
  m_connection = PQconnectdb(uri.c_str());
  if (PQstatus(m_connection) != CONNECTION_OK) {
    std::string message = PQerrorMessage(m_connection);
    PQfinish(m_connection);
    throw std::runtime_error("cannot connect to " + uri + ": " + message);
  }
  // Warnings such as ending a server process that has just gone are no failures.
  PQsetNoticeProcessor(m_connection, [](void*, const char*) {}, nullptr);
}

PostgresSession::~PostgresSession() { PQfinish(m_connection); }

std::string PostgresSession::run(const std::string& sql) {
  std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQexec(m_connection, sql.c_str()), PQclear);
  ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw std::runtime_error(sql + ": " + PQresultErrorMessage(result.get()));
  if (PQntuples(result.get()) == 0 || PQnfields(result.get()) == 0) return std::string();
  return PQgetvalue(result.get(), 0, 0);
}

}  // namespace talixdb_test
