#include "SocketChannel.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <system_error>

namespace {

// A byte-type pipe echoes whatever one read returns, up to this much.
constexpr std::size_t kStreamChunk = 64 * 1024;
// Room for the kernel's bookkeeping on top of a message's own bytes.
constexpr std::size_t kSendOverhead = 64 * 1024;

bool HasCredentials(msghdr &header) {
  for (cmsghdr *c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
      return true;
    }
  }
  return false;
}

} // namespace

Conversation::Channel::Event SocketChannel::Receive(std::string &message,
                                                    std::chrono::milliseconds timeout) {
  if (timeout != kForever) {
    const int ready = Wait(POLLIN, timeout);
    if (ready == 0) {
      return Event::Quiet;
    }
    if (ready < 0) {
      return Event::Ended;
    }
  }
  return Take(message) ? Event::Message : Event::Ended;
}

bool SocketChannel::Pause(std::chrono::milliseconds timeout) {
  // With no events asked for, only the end of the connection ends the wait.
  return Wait(0, timeout) == 0;
}

int SocketChannel::Wait(short events, std::chrono::milliseconds timeout) const {
  pollfd ready{fd_, events, 0};
  const int milliseconds = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
      std::max<std::chrono::milliseconds::rep>(timeout.count(), 0), INT_MAX));
  int result = 0;
  do {
    result = poll(&ready, 1, milliseconds);
  } while (result < 0 && errno == EINTR);
  return result;
}

bool SocketChannel::Take(std::string &message) {
  if (byteType_) {
    message.resize(kStreamChunk);
    ssize_t received = 0;
    do {
      received = recv(fd_, &message[0], message.size(), 0);
    } while (received < 0 && errno == EINTR);
    if (received <= 0) {
      return false;
    }
    message.resize(static_cast<std::size_t>(received));
    return true;
  }
  // Peeking with MSG_TRUNC gives the whole message's length without taking it.
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr header{};
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  ssize_t length = 0;
  do {
    length = recvmsg(fd_, &header, MSG_PEEK | MSG_TRUNC);
  } while (length < 0 && errno == EINTR);
  if (length < 0 || !HasCredentials(header)) {
    return false;
  }
  message.assign(static_cast<std::size_t>(length), '\0');
  ssize_t received = 0;
  do {
    received = recv(fd_, &message[0], message.size(), 0);
  } while (received < 0 && errno == EINTR);
  return received == length;
}

bool SocketChannel::Send(const std::string &message) {
  if (byteType_) {
    std::size_t sent = 0;
    while (sent < message.size()) {
      const ssize_t n = send(fd_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno != EINTR) {
        return false;
      }
      sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
  }
  ReserveSendBuffer(message.size());
  ssize_t sent = 0;
  do {
    sent = send(fd_, message.data(), message.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0 && errno != EPIPE && errno != ECONNRESET) {
    const std::string reason = std::error_code(errno, std::generic_category()).message();
    std::fprintf(stderr, "skellan-server: cannot send a message of %zu bytes: %s\n", message.size(),
                 reason.c_str());
  }
  return sent == static_cast<ssize_t>(message.size());
}

void SocketChannel::ReserveSendBuffer(std::size_t size) {
  // A message-type send is all or nothing: the send buffer must hold it whole.
  int current = 0;
  socklen_t length = sizeof current;
  const std::size_t needed = size + kSendOverhead;
  if (getsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &current, &length) != 0 ||
      static_cast<std::size_t>(current) >= needed) {
    return;
  }
  const int wanted = static_cast<int>(std::min<std::size_t>(needed, INT_MAX / 2));
  // SO_SNDBUFFORCE passes the system limit, but only with CAP_NET_ADMIN.
  if (setsockopt(fd_, SOL_SOCKET, SO_SNDBUFFORCE, &wanted, sizeof wanted) != 0) {
    setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &wanted, sizeof wanted);
  }
}
