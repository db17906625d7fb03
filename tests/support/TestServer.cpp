#include "support/TestServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "support/PostgresCluster.h"

namespace talixdb_test {

TempDir::TempDir() {
  m_path = (std::filesystem::temp_directory_path() / "talixdb-test-XXXXXX").string();
  if (mkdtemp(m_path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

Engine defaultEngine() {
  const char* name = std::getenv("TALIXDB_TEST_ENGINE");
  return name != nullptr && std::string(name) == "postgresql" ? Engine::Postgres : Engine::Sqlite;
}

TestServer::TestServer(std::vector<std::string> extraArgs, std::string dataDir, Engine engine)
    : m_extraArgs(std::move(extraArgs)), m_engine(engine) {
  if (engine == Engine::Postgres) {
    m_storeUri = dataDir.rfind("postgresql://", 0) == 0 ? dataDir : PostgresCluster::shared().createDatabase();
    dataDir.clear();  // the temporary directory keeps the log
  }
  if (dataDir.empty()) m_ownDir = std::make_unique<TempDir>();
  m_dataDir = m_ownDir ? m_ownDir->path() + "/store" : dataDir;
  m_logPath = m_dataDir + ".log";
  start();
}

TestServer::~TestServer() { stop(SIGTERM); }

void TestServer::start() {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> args = {TALIXDB_SERVER_PATH, "--host", "127.0.0.1", "--port", "0"};
  const bool postgres = m_engine == Engine::Postgres;
  args.insert(args.end(), {postgres ? "--store" : "--data", postgres ? m_storeUri : m_dataDir});
  args.insert(args.end(), m_extraArgs.begin(), m_extraArgs.end());
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dieWithParent(parent);
    dup2(pipeFd[1], 1);
    int logFd = open(m_logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (logFd >= 0) dup2(logFd, 2);
    close(pipeFd[0]);
    close(pipeFd[1]);
    setenv("VLT_ADMIN_PASSWORD", kAdminPassword, 1);
    unsetenv("LD_PRELOAD");  // a leak checker preloaded into the tests is theirs, not the server's
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFd[1]);
  m_pid = pid;
  // The first line of output names the port.
  std::string line;
  char c;
  while (read(pipeFd[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(pipeFd[0]);
  auto colon = line.rfind(':');
  m_port = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
  if (m_port <= 0) {
    stop(SIGKILL);
    throw std::runtime_error("server did not report a port: '" + line + "'\n" + log());
  }
}

int TestServer::stop(int signal) {
  int status = 0;
  if (m_pid <= 0) return status;
  kill(m_pid, signal);
  // Bounded wait: escalate to SIGKILL after 10 s.
  bool ended = false;
  for (int i = 0; i < 1000 && !(ended = waitpid(m_pid, &status, WNOHANG) == m_pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!ended) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
  }
  m_pid = -1;
  return status;
}

ProgramResult runServerProgram(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env,
                               std::string input) {
  return runProgram(TALIXDB_SERVER_PATH, {std::move(args), std::move(env), std::move(input)}, std::chrono::seconds(60));
}

std::string TestServer::log() const {
  std::ifstream in(m_logPath);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace talixdb_test
