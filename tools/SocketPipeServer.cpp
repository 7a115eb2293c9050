#include "SocketPipeServer.h"

#include "Conversation.h"
#include "SocketChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <system_error>
#include <utility>

namespace {

void CloseIfOpen(int &fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

} // namespace

SocketPipeServer::SocketPipeServer(ServerOptions options, const PipeName &pipe)
    : options_(std::move(options)), path_(pipe.GetSocketPath()), address_(pipe.GetAddress()) {}

SocketPipeServer::~SocketPipeServer() {
  Stop();
  CloseIfOpen(signals_);
  CloseIfOpen(doneRead_);
  CloseIfOpen(doneWrite_);
}

int SocketPipeServer::Run() {
  // Blocked before any worker starts, so every thread inherits the mask and
  // the stop signals arrive only through the signalfd polled below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // Sockets use MSG_NOSIGNAL; this also covers a reader of stdout going away.
  std::signal(SIGPIPE, SIG_IGN);

  signals_ = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  int done[2];
  if (signals_ < 0 || pipe2(done, O_CLOEXEC) != 0) {
    Report("cannot set up the main loop");
    return 1;
  }
  doneRead_ = done[0];
  doneWrite_ = done[1];
  if (!Listen()) {
    return 1;
  }
  log_.Write("listening " + path_);

  int status = 0;
  while (options_.MaxConnections() == 0 || ended_ < options_.MaxConnections()) {
    const bool accepting = options_.Instances() == 0 || workers_.size() < options_.Instances();
    pollfd fds[] = {{signals_, POLLIN, 0},
                    {doneRead_, POLLIN, 0},
                    {listener_, static_cast<short>(accepting ? POLLIN : 0), 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      Report("poll");
      status = 1;
      break;
    }
    if (fds[0].revents != 0) {
      break;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      std::uint64_t id = 0;
      if (read(doneRead_, &id, sizeof id) == static_cast<ssize_t>(sizeof id)) {
        Reap(id);
      }
    } else if (accepting && (fds[2].revents & POLLIN) != 0) {
      Accept();
    }
  }
  Stop();
  return status;
}

bool SocketPipeServer::Listen() {
  listener_ = socket(AF_UNIX, SocketType() | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener_ < 0) {
    Report("cannot create a socket");
    return false;
  }
  if (!RemoveStaleSocket()) {
    return false;
  }
  if (bind(listener_, reinterpret_cast<const sockaddr *>(&address_), sizeof address_) != 0) {
    Report("cannot bind " + path_);
    return false;
  }
  bound_ = true;
  // With backlog 0 the kernel still queues one connection; FillQueue takes
  // that slot when all instances are in use.
  const int backlog = options_.Instances() == 0 ? SOMAXCONN : 0;
  if (listen(listener_, backlog) != 0) {
    Report("cannot listen on " + path_);
    return false;
  }
  return true;
}

bool SocketPipeServer::RemoveStaleSocket() {
  struct stat info {};
  if (lstat(path_.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
    // Nothing to remove; bind reports whatever is in the way.
    return true;
  }
  // A socket file that refuses connections was left by a server that died;
  // one that answers (or is busy, or of the other type) is still served.
  int probe = socket(AF_UNIX, SocketType() | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const bool refused =
      probe >= 0 &&
      connect(probe, reinterpret_cast<const sockaddr *>(&address_), sizeof address_) != 0 &&
      errno == ECONNREFUSED;
  CloseIfOpen(probe);
  if (!refused) {
    std::fprintf(stderr, "skellan-server: another server is serving %s\n", path_.c_str());
    return false;
  }
  if (unlink(path_.c_str()) != 0 && errno != ENOENT) {
    Report("cannot remove the stale socket " + path_);
    return false;
  }
  return true;
}

int SocketPipeServer::SocketType() const {
  return options_.ByteType() ? SOCK_STREAM : SOCK_SEQPACKET;
}

void SocketPipeServer::Accept() {
  const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
      Report("accept");
    }
    return;
  }
  if (!options_.ByteType()) {
    // Every message then carries SCM_CREDENTIALS, which tells an empty
    // message from the end of the connection: recv returns 0 for both.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  }
  const std::uint64_t id = nextId_++;
  if (options_.Instances() != 0 && workers_.size() + 1 >= options_.Instances()) {
    // Before logging the connect, so a client that sees it finds the pipe busy.
    FillQueue();
  }
  {
    std::lock_guard<std::mutex> lock(openMutex_);
    openSockets_[id] = fd;
  }
  log_.Write("connect " + std::to_string(id));
  try {
    workers_.emplace(id, std::thread(&SocketPipeServer::Serve, this, id, fd));
  } catch (const std::system_error &error) {
    std::fprintf(stderr, "skellan-server: cannot serve connection %llu: %s\n",
                 static_cast<unsigned long long>(id), error.what());
    {
      std::lock_guard<std::mutex> lock(openMutex_);
      openSockets_.erase(id);
    }
    CloseConnection(fd);
    log_.Write("close " + std::to_string(id));
    ++ended_;
    if (placeholder_ >= 0) {
      DropPlaceholder();
    }
  }
}

void SocketPipeServer::FillQueue() {
  int fd = socket(AF_UNIX, SocketType() | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr *>(&address_), sizeof address_) == 0) {
    placeholder_ = fd;
    return;
  }
  // Failing with EAGAIN means a client already sits in the one queue slot,
  // which keeps the pipe just as busy; it is accepted when an instance frees.
  CloseIfOpen(fd);
}

void SocketPipeServer::DropPlaceholder() {
  // The queue holds one connection at most, so this accepts the placeholder.
  const int accepted = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (accepted >= 0) {
    close(accepted);
  }
  CloseIfOpen(placeholder_);
}

void SocketPipeServer::Reap(std::uint64_t id) {
  const auto worker = workers_.find(id);
  if (worker == workers_.end()) {
    return;
  }
  worker->second.join();
  workers_.erase(worker);
  ++ended_;
  if (placeholder_ >= 0) {
    DropPlaceholder();
  }
}

void SocketPipeServer::Stop() {
  CloseIfOpen(listener_);
  if (bound_) {
    unlink(path_.c_str());
    bound_ = false;
  }
  CloseIfOpen(placeholder_);
  {
    // Wakes every worker from its blocking recv or send.
    std::lock_guard<std::mutex> lock(openMutex_);
    for (const auto &open : openSockets_) {
      shutdown(open.second, SHUT_RDWR);
    }
  }
  for (auto &worker : workers_) {
    worker.second.join();
  }
  workers_.clear();
}

void SocketPipeServer::Serve(std::uint64_t id, int fd) {
  SocketChannel channel(fd, options_.ByteType());
  Conversation(options_, log_).Run(id, channel);
  {
    std::lock_guard<std::mutex> lock(openMutex_);
    openSockets_.erase(id);
  }
  CloseConnection(fd);
  log_.Write("close " + std::to_string(id));
  ssize_t written = 0;
  do {
    written = write(doneWrite_, &id, sizeof id);
  } while (written < 0 && errno == EINTR);
}

void SocketPipeServer::CloseConnection(int fd) {
  // Closing with unread data makes the client's next recv fail with
  // ECONNRESET before it has read what was sent to it. So stop the client
  // from sending more, and discard what it already sent.
  shutdown(fd, SHUT_RD);
  char discard[256];
  ssize_t n = 0;
  do {
    n = recv(fd, discard, sizeof discard, MSG_DONTWAIT | MSG_TRUNC);
  } while (n > 0 || (n < 0 && errno == EINTR));
  close(fd);
}

void SocketPipeServer::Report(const std::string &what) {
  const std::string reason = std::error_code(errno, std::generic_category()).message();
  std::fprintf(stderr, "skellan-server: %s: %s\n", what.c_str(), reason.c_str());
}
