#include "SocketPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

namespace {

// Room for a test's largest message: a message-type send is all or nothing.
constexpr int kSendBuffer = 8 * 1024 * 1024;
constexpr std::size_t kChunk = 65536;

bool HasCredentials(msghdr &header) {
  for (cmsghdr *c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
      return true;
    }
  }
  return false;
}

// A socket of the pipe type, and the address of `path`; -1 and errno set
// when either cannot be had.
int Socket(const std::string &path, bool byteType, sockaddr_un &address, int flags = 0) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  path.copy(address.sun_path, path.size());
  return socket(AF_UNIX, (byteType ? SOCK_STREAM : SOCK_SEQPACKET) | SOCK_CLOEXEC | flags, 0);
}

} // namespace

SocketPeer::~SocketPeer() { Close(); }

SocketPeer::SocketPeer(SocketPeer &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), byteType_(other.byteType_),
      listening_(std::move(other.listening_)) {
  other.listening_.clear();
}

SocketPeer &SocketPeer::operator=(SocketPeer &&other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    byteType_ = other.byteType_;
    listening_ = std::move(other.listening_);
    other.listening_.clear();
  }
  return *this;
}

int SocketPeer::Connect(const std::string &path, bool byteType, ChildProcess::Duration busyWait) {
  const auto deadline = std::chrono::steady_clock::now() + busyWait;
  int error = TryConnect(path, byteType);
  while (error == EAGAIN && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    error = TryConnect(path, byteType);
  }
  return error;
}

int SocketPeer::TryConnect(const std::string &path, bool byteType) {
  Close();
  byteType_ = byteType;
  sockaddr_un address;
  fd_ = Socket(path, byteType, address, SOCK_NONBLOCK);
  if (fd_ < 0) {
    return errno;
  }
  if (connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
    const int error = errno;
    Close();
    return error;
  }
  Ready();
  return 0;
}

int SocketPeer::Listen(const std::string &path, bool byteType, int backlog) {
  Close();
  byteType_ = byteType;
  sockaddr_un address;
  fd_ = Socket(path, byteType, address);
  if (fd_ < 0) {
    return errno;
  }
  unlink(path.c_str());
  if (bind(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
      listen(fd_, backlog) != 0) {
    const int error = errno;
    Close();
    return error;
  }
  listening_ = path;
  return 0;
}

SocketPeer SocketPeer::Accept(ChildProcess::Duration timeout) {
  SocketPeer accepted;
  pollfd waiting{fd_, POLLIN, 0};
  if (fd_ < 0 || poll(&waiting, 1, static_cast<int>(timeout.count())) != 1) {
    return accepted;
  }
  accepted.fd_ = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  accepted.byteType_ = byteType_;
  if (accepted.IsOpen()) {
    accepted.Ready();
  }
  return accepted;
}

int SocketPeer::LeaveStale(const std::string &path) {
  sockaddr_un address;
  const int fd = Socket(path, false, address);
  if (fd < 0) {
    return errno;
  }
  const int error =
      bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ? 0 : errno;
  close(fd);
  return error;
}

void SocketPeer::Ready() {
  // Credentials on every message tell an empty message from the end of the
  // connection, which recv reports alike.
  const int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  if (setsockopt(fd_, SOL_SOCKET, SO_SNDBUFFORCE, &kSendBuffer, sizeof kSendBuffer) != 0) {
    setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
  }
  // Blocking sends, bounded so that a server that stops reading cannot hang a test.
  const timeval sendTimeout{10, 0};
  setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  const int flags = fcntl(fd_, F_GETFL);
  fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
}

bool SocketPeer::Send(const std::string &message) {
  std::size_t sent = 0;
  do {
    const ssize_t n = send(fd_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    sent += static_cast<std::size_t>(n);
  } while (byteType_ && sent < message.size());
  return sent == message.size();
}

SocketPeer::Result SocketPeer::Receive(std::string &message, ChildProcess::Duration timeout) {
  message.clear();
  pollfd ready{fd_, POLLIN, 0};
  if (fd_ < 0 || poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) {
    return fd_ < 0 ? Result::Closed : Result::TimedOut;
  }
  if (byteType_) {
    message.resize(kChunk);
    const ssize_t n = recv(fd_, &message[0], message.size(), MSG_DONTWAIT);
    message.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n > 0 ? Result::Message : Result::Closed;
  }
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr header{};
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  const ssize_t length = recvmsg(fd_, &header, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  if (length < 0 || !HasCredentials(header)) {
    return Result::Closed;
  }
  message.resize(static_cast<std::size_t>(length));
  const ssize_t n = recv(fd_, &message[0], message.size(), MSG_DONTWAIT);
  return n == length ? Result::Message : Result::Closed;
}

SocketPeer::Result SocketPeer::ReceiveBytes(std::size_t size, std::string &data,
                                            ChildProcess::Duration timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  data.clear();
  std::string chunk;
  while (data.size() < size) {
    const auto left = std::chrono::duration_cast<ChildProcess::Duration>(deadline - Clock::now());
    const Result result = Receive(chunk, left.count() > 0 ? left : ChildProcess::Duration(0));
    if (result != Result::Message) {
      return result;
    }
    data += chunk;
  }
  return Result::Message;
}

void SocketPeer::Close() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!listening_.empty()) {
    unlink(listening_.c_str());
    listening_.clear();
  }
}
