#include "ClosableOutputClient.h"

#include "ClientSession.h"
#include "PipeEnd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How long one step of feeding waits for the client to take a line or end.
constexpr int kFeedStepMs = 20;

} // namespace

ClosableOutputClient::ClosableOutputClient(Sigpipe sigpipe, Start start) {
  // A write to a client that has exited must fail with EPIPE, not end the test.
  std::signal(SIGPIPE, SIG_IGN);
  int in[2];
  int out[2];
  int err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  // Built before fork: the child may only make async-signal-safe calls.
  const std::string program = ClientSession::Program();
  std::vector<char *> args{const_cast<char *>(program.c_str()), nullptr};
  pid_ = fork();
  if (pid_ == 0) {
    struct sigaction action {};
    action.sa_handler = sigpipe == Sigpipe::Ignored ? SIG_IGN : SIG_DFL;
    sigaction(SIGPIPE, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(in[0], STDIN_FILENO);
    if (start == Start::WithOutput) {
      dup2(out[1], STDOUT_FILENO);
    } else {
      close(STDOUT_FILENO);
    }
    dup2(err[1], STDERR_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  const int forkError = errno;
  close(in[0]);
  close(out[1]);
  close(err[1]);
  input_ = in[1];
  stdout_ = out[0];
  stderr_ = err[0];
  if (pid_ < 0) {
    PipeEnd::CloseIfOpen(input_);
    PipeEnd::CloseIfOpen(stdout_);
    PipeEnd::CloseIfOpen(stderr_);
    throw std::runtime_error(std::string("fork: ") + std::strerror(forkError));
  }
  for (int fd : {input_, stdout_, stderr_}) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
}

ClosableOutputClient::~ClosableOutputClient() {
  Reap();
  if (!exitStatus_) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  PipeEnd::CloseIfOpen(input_);
  PipeEnd::CloseIfOpen(stdout_);
  PipeEnd::CloseIfOpen(stderr_);
}

bool ClosableOutputClient::WaitForOutput(const std::string &text, Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    Pump(0);
    if (output_.find(text) != std::string::npos) {
      return true;
    }
    if (stdout_ < 0 || Clock::now() >= deadline) {
      return false;
    }
    Pump(PipeEnd::Remaining(deadline));
  }
}

void ClosableOutputClient::CloseOutput() {
  Pump(0);
  PipeEnd::CloseIfOpen(stdout_);
}

bool ClosableOutputClient::Send(const std::string &text, Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  std::size_t sent = 0;
  while (sent < text.size() && input_ >= 0) {
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
    // Keeps reading meanwhile: a client blocked on its output would
    // never read more input.
    pollfd writable{input_, POLLOUT, 0};
    poll(&writable, 1, std::min(PipeEnd::Remaining(deadline), kFeedStepMs));
    Pump(0);
  }
  return sent == text.size();
}

std::optional<int> ClosableOutputClient::FeedUntilExit(const std::string &line, Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    Reap();
    if (exitStatus_) {
      // The client's end of stderr is closed now: read it to the end.
      while (stderr_ >= 0 && Clock::now() < deadline) {
        Pump(PipeEnd::Remaining(deadline));
      }
      return exitStatus_;
    }
    if (Clock::now() >= deadline) {
      return std::nullopt;
    }
    // A client that has stopped reading makes this fail; keep waiting
    // for its exit then.
    Send(line, Duration(kFeedStepMs));
    Pump(std::min(PipeEnd::Remaining(deadline), kFeedStepMs));
  }
}

void ClosableOutputClient::Pump(int milliseconds) {
  pollfd fds[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};
  if (poll(fds, 2, milliseconds) <= 0) {
    return;
  }
  if (fds[0].revents != 0) {
    PipeEnd::Drain(stdout_, output_);
  }
  if (fds[1].revents != 0) {
    PipeEnd::Drain(stderr_, errorOutput_);
  }
}

void ClosableOutputClient::Reap() {
  if (exitStatus_) {
    return;
  }
  int status = 0;
  pid_t result = 0;
  do {
    result = waitpid(pid_, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == pid_) {
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
}
