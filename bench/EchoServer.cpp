#include "EchoServer.h"

#include "SocketListener.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Room for the largest message a client can send: the kernel caps a send
// buffer at twice net.core.wmem_max, a few MiB on common systems. A longer
// one is reported, not cut.
constexpr std::size_t maxMessage = 32 * 1024 * 1024;
// Beyond this many queued bytes for one client the server stops reading
// from it until the client has taken some of them.
constexpr std::size_t queueLimit = 256 * 1024 * 1024;
// A large send buffer: fewer echoes have to wait for room.
constexpr int wantedSendBuffer = 8 * 1024 * 1024;
// Messages taken from one client per wake-up, so that others get a turn.
constexpr int receiveBatch = 256;
constexpr int maxEvents = 64;

void Report(const std::string &what) {
  std::fprintf(stderr, "skellan-bench-echo: %s: %s\n", what.c_str(), std::strerror(errno));
}
} // namespace

EchoServer::EchoServer(std::string socketPath, Ending when, bool count)
    : path(std::move(socketPath)), ending(when), counting(count), buffer(new char[maxMessage]) {}

EchoServer::~EchoServer() {
  for (const auto &entry : connections)
    close(entry.first);
  for (int fd : {listener, epoll, signals}) {
    if (fd >= 0)
      close(fd);
  }
  if (bound)
    unlink(path.c_str());
}

int EchoServer::Run() {
  // Blocked, the stop signals arrive only through the signalfd, between
  // two events, never inside one.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  signals = signalfd(-1, &stop, SFD_CLOEXEC);
  epoll = epoll_create1(EPOLL_CLOEXEC);
  if (signals < 0 || epoll < 0) {
    Report("cannot set up the event loop");
    return 1;
  }
  if (!Listen())
    return 1;
  epoll_event event{};
  event.events = EPOLLIN;
  for (int fd : {listener, signals, STDIN_FILENO}) {
    event.data.fd = fd;
    // Standard input may be a file or /dev/null, which epoll refuses: the
    // server then runs until it is signalled.
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0 && fd != STDIN_FILENO) {
      Report("epoll_ctl");
      return 1;
    }
  }
  std::printf("listening %s\n", path.c_str());
  std::fflush(stdout);

  epoll_event events[maxEvents];
  for (;;) {
    if (!WriteLog())
      return 1;
    int count = epoll_wait(epoll, events, maxEvents, -1);
    if (count < 0) {
      if (errno == EINTR)
        continue;
      Report("epoll_wait");
      return 1;
    }
    for (int i = 0; i < count; ++i) {
      const int fd = events[i].data.fd;
      if (fd == signals)
        return 0;
      if (fd == STDIN_FILENO) {
        char ignored[256];
        if (read(STDIN_FILENO, ignored, sizeof ignored) <= 0)
          return 0;
        continue;
      }
      if (fd == listener) {
        Accept();
        continue;
      }
      auto found = connections.find(fd);
      if (found == connections.end())
        continue;
      Connection &connection = found->second;
      const unsigned happened = events[i].events;
      bool alive = (happened & EPOLLERR) == 0 && Flush(fd, connection);
      if (alive && connection.reading && (happened & (EPOLLIN | EPOLLHUP)) != 0)
        alive = Receive(fd, connection);
      else if ((happened & EPOLLHUP) != 0)
        // The client has closed the connection altogether: nothing more reaches it.
        alive = false;
      if (alive && !(connection.closing && connection.pending.empty()))
        Watch(fd, connection);
      else
        Drop(fd);
    }
  }
}

bool EchoServer::Listen() {
  std::string failed;
  listener = SocketListener::Listen(path, SOCK_SEQPACKET, bound, failed);
  if (listener < 0) {
    Report(failed);
    return false;
  }
  return true;
}

void EchoServer::Accept() {
  for (;;) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        Report("accept");
      return;
    }
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &wantedSendBuffer, sizeof wantedSendBuffer);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
      Report("epoll_ctl");
      close(fd);
      continue;
    }
    connections[fd].watched = EPOLLIN;
  }
}

bool EchoServer::Receive(int fd, Connection &connection) {
  for (int taken = 0; taken < receiveBatch && connection.pendingBytes < queueLimit; ++taken) {
    // MSG_TRUNC: the message's real length, so that one too long for the
    // buffer is noticed rather than echoed cut.
    ssize_t length = recv(fd, buffer.get(), maxMessage, MSG_DONTWAIT | MSG_TRUNC);
    if (length < 0) {
      if (errno == EINTR)
        continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    // The clients measured never send an empty message, so none is taken
    // for the end of the connection.
    if (length == 0) {
      connection.reading = false;
      connection.closing = ending != Ending::ClientGone;
      return true;
    }
    if (static_cast<std::size_t>(length) > maxMessage) {
      errno = EMSGSIZE;
      Report("message of " + std::to_string(length) + " bytes");
      return false;
    }
    if (counting) {
      log += "recv " + std::to_string(length) + "\n";
      continue;
    }
    bool sent = false;
    if (connection.pending.empty()) {
      ssize_t result =
          send(fd, buffer.get(), static_cast<std::size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (result >= 0 ? result != length : errno != EAGAIN && errno != EWOULDBLOCK)
        return false;
      sent = result == length;
    }
    if (!sent) {
      connection.pending.emplace_back(buffer.get(), static_cast<std::size_t>(length));
      connection.pendingBytes += static_cast<std::size_t>(length);
    }
    if (ending == Ending::FirstEcho) {
      connection.reading = false;
      connection.closing = true;
      return true;
    }
  }
  return true;
}

bool EchoServer::Flush(int fd, Connection &connection) {
  while (!connection.pending.empty()) {
    const std::string &message = connection.pending.front();
    ssize_t sent = send(fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR)
        continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    // A message goes whole or not at all.
    connection.pendingBytes -= message.size();
    connection.pending.pop_front();
  }
  return true;
}

void EchoServer::Watch(int fd, Connection &connection) {
  unsigned wanted = 0;
  if (connection.reading && connection.pendingBytes < queueLimit)
    wanted |= EPOLLIN;
  if (!connection.pending.empty())
    wanted |= EPOLLOUT;
  if (wanted == connection.watched)
    return;
  epoll_event event{};
  event.events = wanted;
  event.data.fd = fd;
  epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
  connection.watched = wanted;
}

bool EchoServer::WriteLog() {
  std::size_t done = 0;
  while (done < log.size()) {
    const ssize_t wrote = write(STDOUT_FILENO, log.data() + done, log.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
    if (wrote <= 0) {
      Report("cannot write the log");
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  log.clear();
  return true;
}

void EchoServer::Drop(int fd) {
  epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
  // Closing with messages unread would reset the client's side before it
  // has read its echoes: stop it sending, and take what it already sent.
  shutdown(fd, SHUT_RD);
  while (recv(fd, buffer.get(), maxMessage, MSG_DONTWAIT | MSG_TRUNC) > 0) {
  }
  close(fd);
  connections.erase(fd);
}
