#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// Closes fd unless it is closed already, and marks it closed (-1).
void CloseIfOpen(int &fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

// Reads what a non-blocking fd has, into the sink if there is one; closes
// the fd at end of file.
void Drain(int &fd, std::string &into, const ChildProcess::Sink &sink) {
  char buffer[65536];
  while (fd >= 0) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0 && sink) {
      sink(buffer, static_cast<std::size_t>(n));
    } else if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;
    } else {
      CloseIfOpen(fd);
    }
  }
}

// Milliseconds left until deadline, 0 once it has passed.
int Remaining(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string> &argv, Sigpipe sigpipe, Stdout output) {
  if (argv.empty()) {
    throw std::invalid_argument("ChildProcess needs a program");
  }
  // Built before fork: the child may only make async-signal-safe calls.
  std::vector<char *> args;
  for (const std::string &arg : argv) {
    args.push_back(const_cast<char *>(arg.c_str()));
  }
  args.push_back(nullptr);
  Start([&args] { execv(args[0], args.data()); }, true, argv[0], sigpipe, output);
}

ChildProcess::ChildProcess(const std::function<int()> &body) {
  Start(
      [&body] {
        int status = 127;
        try {
          status = body();
        } catch (...) {
          // Whatever goes wrong, the child must not go back into the test.
        }
        _exit(status);
      },
      false, "a part of the test", Sigpipe::Default, Stdout::Piped);
}

void ChildProcess::Start(const std::function<void()> &child, bool exec, const std::string &what,
                         Sigpipe sigpipe, Stdout output) {
  // Writing to a child that has exited must fail with EPIPE, not kill the test.
  std::signal(SIGPIPE, SIG_IGN);

  int in[2];
  int out[2];
  int err[2];
  // Stays open until exec, so a byte in it means exec failed.
  int execCheck[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
      pipe2(execCheck, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }

  pid_ = fork();
  if (pid_ == 0) {
    struct sigaction action {};
    action.sa_handler = sigpipe == Sigpipe::Ignored ? SIG_IGN : SIG_DFL;
    sigaction(SIGPIPE, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(in[0], STDIN_FILENO);
    if (output == Stdout::Piped) {
      dup2(out[1], STDOUT_FILENO);
    } else {
      close(STDOUT_FILENO);
    }
    dup2(err[1], STDERR_FILENO);
    if (!exec) {
      close(execCheck[1]);
    }
    child();
    const int error = errno;
    ssize_t ignored = write(execCheck[1], &error, sizeof error);
    static_cast<void>(ignored);
    _exit(127);
  }
  const int forkError = errno;
  close(in[0]);
  close(out[1]);
  close(err[1]);
  close(execCheck[1]);
  input_ = in[1];
  stdout_ = out[0];
  stderr_ = err[0];
  int execError = 0;
  const ssize_t got = pid_ > 0 ? read(execCheck[0], &execError, sizeof execError) : 0;
  close(execCheck[0]);
  if (pid_ < 0 || got > 0) {
    const std::string reason = std::strerror(pid_ < 0 ? forkError : execError);
    if (pid_ > 0) {
      Reap(true);
    }
    CloseIfOpen(input_);
    CloseIfOpen(stdout_);
    CloseIfOpen(stderr_);
    throw std::runtime_error("cannot run " + what + ": " + reason);
  }
  for (int fd : {input_, stdout_, stderr_}) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  if (output == Stdout::Closed) {
    CloseIfOpen(stdout_);
  }
}

ChildProcess::~ChildProcess() {
  if (Running()) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
  CloseIfOpen(input_);
  CloseIfOpen(stdout_);
  CloseIfOpen(stderr_);
}

bool ChildProcess::Send(const std::string &text, Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  std::size_t sent = 0;
  while (sent < text.size()) {
    if (input_ < 0) {
      return false;
    }
    const ssize_t n = write(input_, text.data() + sent, text.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    }
    if (Clock::now() >= deadline) {
      return false;
    }
    // Keeps reading output meanwhile: a child blocked on its stdout
    // would never read more input.
    Pump(Duration(Remaining(deadline)), true);
  }
  return true;
}

void ChildProcess::CloseInput() { CloseIfOpen(input_); }

void ChildProcess::CloseOutput() {
  Pump(Duration(0), false);
  CloseIfOpen(stdout_);
}

bool ChildProcess::WaitForOutput(const std::string &text, Duration timeout, std::size_t from) {
  return WaitUntil(
      [&] { return from <= output_.size() && output_.find(text, from) != std::string::npos; },
      timeout);
}

bool ChildProcess::WaitForOutputSize(std::size_t size, Duration timeout) {
  return WaitUntil([&] { return output_.size() >= size; }, timeout);
}

std::optional<int> ChildProcess::WaitForExit(Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (Running()) {
      Reap(false);
    }
    if (!Running() && stdout_ < 0 && stderr_ < 0) {
      return exitStatus_;
    }
    if (Clock::now() >= deadline) {
      return std::nullopt;
    }
    // Short slices: the exit itself is not something poll can wait for.
    Pump(Duration(std::min(Remaining(deadline), 20)), false);
  }
}

void ChildProcess::SetOutputSink(Sink sink) { sink_ = std::move(sink); }

bool ChildProcess::WaitUntil(const std::function<bool()> &done, Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    Pump(Duration(0), false);
    if (done()) {
      return true;
    }
    if (stdout_ < 0 || Clock::now() >= deadline) {
      return false;
    }
    Pump(Duration(Remaining(deadline)), false);
  }
}

void ChildProcess::Collect() { Pump(Duration(0), false); }

std::optional<std::size_t> ChildProcess::PeakResidentBytes() const {
  if (!Running()) {
    return std::nullopt;
  }
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  const std::string field = "VmHWM:";
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, field.size(), field) == 0) {
      // The kernel gives it in kB, which are KiB.
      return static_cast<std::size_t>(std::stoull(line.substr(field.size()))) * 1024;
    }
  }
  // A zombie has no memory left to tell of.
  return std::nullopt;
}

void ChildProcess::Signal(int signal) {
  if (Running()) {
    kill(pid_, signal);
  }
}

void ChildProcess::Pump(Duration timeout, bool wantInput) {
  pollfd fds[3] = {
      {stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}, {wantInput ? input_ : -1, POLLOUT, 0}};
  const int ready = poll(fds, 3, static_cast<int>(timeout.count()));
  if (ready <= 0) {
    return;
  }
  if (fds[0].revents != 0) {
    Drain(stdout_, output_, sink_);
  }
  if (fds[1].revents != 0) {
    Drain(stderr_, errorOutput_, nullptr);
  }
}

void ChildProcess::Reap(bool block) {
  int status = 0;
  pid_t result = 0;
  do {
    result = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == pid_) {
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (WIFSIGNALED(status)) {
      endingSignal_ = WTERMSIG(status);
    }
  } else if (result < 0) {
    // Nobody left to wait for; treat the child as gone.
    exitStatus_ = -1;
  }
}
