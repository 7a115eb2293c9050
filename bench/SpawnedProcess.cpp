#include "SpawnedProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
// How often a wait looks again where the kernel offers no process
// descriptor to poll.
constexpr std::chrono::milliseconds reapInterval(1);

void ClosePair(int fds[2]) {
  for (int i = 0; i < 2; ++i) {
    if (fds[i] >= 0)
      close(fds[i]);
  }
}

double Seconds(const timeval &time) { return time.tv_sec + time.tv_usec / 1e6; }

// The benchmark's environment with `extra`'s NAME=VALUE entries set on top.
std::vector<std::string> Environment(const std::vector<std::string> &extra) {
  std::vector<std::string> entries;
  for (char **entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string::size_type equals = text.find('=');
    const std::string name = text.substr(0, equals + 1);
    const bool replaced = equals != std::string::npos &&
                          std::any_of(extra.begin(), extra.end(), [&name](const std::string &e) {
                            return e.compare(0, name.size(), name) == 0;
                          });
    if (!replaced)
      entries.push_back(text);
  }
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

int RemainingMilliseconds(SpawnedProcess::Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                    SpawnedProcess::Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count() + 1, 0));
}
} // namespace

SpawnedProcess::SpawnedProcess(const std::vector<std::string> &argv, int outputFd,
                               const std::vector<std::string> &environment, int inputFd)
    : name(argv.empty() ? std::string() : argv[0]) {
  if (argv.empty())
    throw std::runtime_error("no program to run");
  std::vector<char *> args;
  for (const std::string &arg : argv)
    args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);
  // Made before the fork: the child may only make async-signal-safe calls.
  const std::vector<std::string> entries = Environment(environment);
  std::vector<char *> envp;
  for (const std::string &entry : entries)
    envp.push_back(const_cast<char *>(entry.c_str()));
  envp.push_back(nullptr);

  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  // Tells the parent why exec failed; closed by a successful exec.
  int status[2] = {-1, -1};
  if ((inputFd < 0 && pipe2(in, O_CLOEXEC) != 0) || (outputFd < 0 && pipe2(out, O_CLOEXEC) != 0) ||
      pipe2(status, O_CLOEXEC) != 0) {
    int error = errno;
    ClosePair(in);
    ClosePair(out);
    ClosePair(status);
    throw std::runtime_error("cannot make pipes: " + std::string(std::strerror(error)));
  }
  const int childInput = inputFd >= 0 ? inputFd : in[0];
  const int childOutput = outputFd >= 0 ? outputFd : out[1];
  const pid_t parent = getpid();
  pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
      _exit(127);
    // The benchmark ignores SIGPIPE, and an ignored signal stays ignored
    // across exec: give the program the default it would have.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &byDefault, nullptr);
    if (dup2(childInput, STDIN_FILENO) < 0 || dup2(childOutput, STDOUT_FILENO) < 0) {
      int error = errno;
      (void)!write(status[1], &error, sizeof error);
      _exit(127);
    }
    execvpe(args[0], args.data(), envp.data());
    int error = errno;
    (void)!write(status[1], &error, sizeof error);
    _exit(127);
  }
  const int forkError = errno;
  if (in[0] >= 0)
    close(in[0]);
  if (out[1] >= 0)
    close(out[1]);
  close(status[1]);
  input = in[1];
  output = out[0];
  if (pid < 0) {
    close(status[0]);
    CloseInput();
    CloseOutput();
    throw std::runtime_error("cannot fork: " + std::string(std::strerror(forkError)));
  }
  int execError = 0;
  ssize_t got;
  do
    got = read(status[0], &execError, sizeof execError);
  while (got < 0 && errno == EINTR);
  close(status[0]);
  if (got > 0) {
    WaitForExit(Clock::now() + std::chrono::seconds(5));
    CloseInput();
    CloseOutput();
    throw std::runtime_error("cannot run " + name + ": " + std::strerror(execError));
  }
  if (input >= 0)
    fcntl(input, F_SETFL, fcntl(input, F_GETFL) | O_NONBLOCK);
  if (output >= 0)
    fcntl(output, F_SETFL, fcntl(output, F_GETFL) | O_NONBLOCK);
  pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

SpawnedProcess::~SpawnedProcess() {
  if (!reaped)
    Kill();
  CloseInput();
  CloseOutput();
  if (pidFd >= 0)
    close(pidFd);
}

void SpawnedProcess::CloseInput() {
  if (input >= 0)
    close(input);
  input = -1;
}

void SpawnedProcess::CloseOutput() {
  if (output >= 0)
    close(output);
  output = -1;
}

bool SpawnedProcess::TryReap() {
  if (reaped)
    return true;
  int status = 0;
  pid_t done;
  do
    done = wait4(pid, &status, WNOHANG, &usage);
  while (done < 0 && errno == EINTR);
  if (done != pid)
    return false;
  reaped = true;
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

bool SpawnedProcess::WaitForExit(Clock::time_point deadline) {
  while (!TryReap()) {
    if (Clock::now() >= deadline) {
      Kill();
      return false;
    }
    if (pidFd >= 0) {
      pollfd ended{pidFd, POLLIN, 0};
      poll(&ended, 1, RemainingMilliseconds(deadline));
    } else {
      std::this_thread::sleep_for(reapInterval);
    }
  }
  return true;
}

void SpawnedProcess::Kill() {
  if (reaped)
    return;
  kill(pid, SIGKILL);
  int status = 0;
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  reaped = true;
  exitCode = 128 + SIGKILL;
}

double SpawnedProcess::CpuSeconds() const { return UserSeconds() + SystemSeconds(); }

double SpawnedProcess::UserSeconds() const { return Seconds(usage.ru_utime); }

double SpawnedProcess::SystemSeconds() const { return Seconds(usage.ru_stime); }

double SpawnedProcess::CpuSecondsSoFar() const {
  // The first figure of a thread's schedstat is its time on a CPU in ns.
  std::error_code error;
  std::filesystem::directory_iterator tasks("/proc/" + std::to_string(pid) + "/task", error);
  if (error)
    return std::numeric_limits<double>::quiet_NaN();
  double nanoseconds = 0;
  for (const auto &task : tasks) {
    std::ifstream stat(task.path() / "schedstat");
    unsigned long long onCpu = 0;
    if (!(stat >> onCpu))
      return std::numeric_limits<double>::quiet_NaN();
    nanoseconds += static_cast<double>(onCpu);
  }
  return nanoseconds / 1e9;
}
