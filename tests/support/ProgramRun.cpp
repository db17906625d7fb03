#include "support/ProgramRun.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace talixdb_test {

namespace {

std::vector<std::string> childEnvironment(const ProgramRun& run) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (text.rfind("MODELDATABASE_HOME=", 0) != 0 && text.rfind("TALIXDB_", 0) != 0 && text.rfind("VLT_", 0) != 0)
      env.push_back(text);
  }
  for (const auto& variable : run.env) env.push_back(variable.first + "=" + variable.second);
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(&text[0]);
  result.push_back(nullptr);
  return result;
}

// Ctrl-C while the terminal holds the program's output (Ctrl-S ... Ctrl-Q):
// its next write to the terminal waits, so what it announced cannot end
// before the signal is there.
bool interrupt(pid_t pid, int terminal, int signal) {
  const char stop = 0x13, start = 0x11;
  if (write(terminal, &stop, 1) != 1 || kill(pid, signal) != 0) return false;
  usleep(200 * 1000);
  return write(terminal, &start, 1) == 1;
}

// Reads standard output and standard error (a pipe or a terminal) to their
// ends within the deadline; types `input` into the terminal once it shows
// `typeAfter`, and interrupts `pid` once standard error shows `interruptAfter`.
bool drain(pid_t pid, int outFd, int errFd, const ProgramRun& run, ProgramResult& result,
           std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  bool typed = !run.terminal || run.input.empty();
  bool interrupted = run.interruptAfter.empty();
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    if (!typed && result.err.find(run.typeAfter) != std::string::npos)
      typed = write(errFd, run.input.data(), run.input.size()) == static_cast<ssize_t>(run.input.size());
    if (!interrupted && result.err.find(run.interruptAfter) != std::string::npos)
      interrupted = interrupt(pid, errFd, run.interruptSignal);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      // A terminal whose last user has gone reads as an error (EIO): its end.
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  return true;
}

}  // namespace

void dieWithParent(pid_t parent) {
  // The kernel sends the signal when the thread that forked ends; a parent
  // that is already gone would never send it, so look once more after.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(126);
}

ProgramResult runProgram(const std::string& program, const ProgramRun& run, std::chrono::milliseconds timeout) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), run.args.begin(), run.args.end());
  std::vector<std::string> env = childEnvironment(run);
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
  // A terminal: err[0] is its master side, err[1] the program's side.
  if (run.terminal ? openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0 : pipe(err) != 0)
    throw std::runtime_error("pipe or terminal failed");
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dieWithParent(parent);
    dup2(run.terminal ? err[1] : in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!run.workingDir.empty() && chdir(run.workingDir.c_str()) != 0) _exit(126);
    std::vector<char*> args = pointers(argv);
    std::vector<char*> vars = pointers(env);
    execve(args[0], args.data(), vars.data());
    _exit(127);
  }
  for (int fd : {in[0], out[1], err[1]}) close(fd);
  signal(SIGPIPE, SIG_IGN);
  if (!run.input.empty() && !run.terminal) {
    ssize_t ignored = write(in[1], run.input.data(), run.input.size());
    (void)ignored;
  }
  close(in[1]);
  ProgramResult result;
  bool finished = drain(pid, out[0], err[0], run, result, timeout);
  if (!finished) {
    kill(pid, SIGKILL);
    close(out[0]);
    close(err[0]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (finished && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace talixdb_test
