#include "BareClient.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {
// The same send buffer as the client measured asks for, so that both have
// as many messages in flight.
constexpr int wantedSendBuffer = 8 * 1024 * 1024;
// Room for the largest message a server can send (see skellan-bench-echo);
// only the pages a message fills become resident.
constexpr std::size_t maxMessage = 32 * 1024 * 1024;
constexpr std::size_t readSize = 64 * 1024;
// A read of a byte-type pipe: the size the client measured takes.
constexpr std::size_t streamReadSize = 1024;
// At the end of input: how long a quiet server is waited for, and the
// longest wait for one that goes on sending.
constexpr std::chrono::milliseconds quietTime(250);
constexpr std::chrono::seconds exitLimit(2);

void Report(const char *what) {
  std::fprintf(stderr, "skellan-bench-bare: %s: %s\n", what, std::strerror(errno));
}

bool WriteAll(int fd, const char *bytes, std::size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}
} // namespace

BareClient::BareClient(std::string socketPath) : path(std::move(socketPath)) {}

BareClient::~BareClient() {
  if (fd >= 0)
    close(fd);
}

int BareClient::Run() {
  if (!Connect())
    return 1;
  std::thread receiver(&BareClient::ReceiveLoop, this);
  const bool sent = SendLines();
  if (sent)
    WaitForQuiet();
  // Shutting both directions ends the receiver's pending recv.
  shutdown(fd, SHUT_RDWR);
  receiver.join();
  return sent && !receiveFailed ? 0 : 1;
}

bool BareClient::Connect() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    Report(path.c_str());
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // A message pipe first; a listener that is a stream socket is a byte-type
  // pipe, as for the client measured.
  for (int type : {SOCK_SEQPACKET, SOCK_STREAM}) {
    fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      Report("socket");
      return false;
    }
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &wantedSendBuffer, sizeof wantedSendBuffer);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
      messageType = type == SOCK_SEQPACKET;
      return true;
    }
    const int failure = errno;
    close(fd);
    fd = -1;
    errno = failure;
    if (failure != EPROTOTYPE)
      break;
  }
  Report(path.c_str());
  return false;
}

bool BareClient::SendLines() {
  std::unique_ptr<char[]> chunk(new char[readSize]);
  // The start of a line that the last read did not finish.
  std::string partial;
  for (;;) {
    ssize_t got = read(STDIN_FILENO, chunk.get(), readSize);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      Report("read");
      return false;
    }
    if (got == 0)
      break;
    const char *start = chunk.get();
    const char *const end = start + got;
    while (start < end) {
      const char *feed = static_cast<const char *>(
          std::memchr(start, '\n', static_cast<std::size_t>(end - start)));
      if (feed == nullptr) {
        partial.append(start, end);
        break;
      }
      ++feed;
      if (partial.empty()) {
        if (!Send(start, static_cast<std::size_t>(feed - start)))
          return false;
      } else {
        partial.append(start, feed);
        if (!Send(partial.data(), partial.size()))
          return false;
        partial.clear();
      }
      start = feed;
    }
  }
  // A last line without a line feed is still a line, as in the client measured.
  if (partial.empty())
    return true;
  partial += '\n';
  return Send(partial.data(), partial.size());
}

bool BareClient::Send(const char *bytes, std::size_t size) {
  for (;;) {
    ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
    if (sent >= 0)
      return static_cast<std::size_t>(sent) == size;
    if (errno != EINTR) {
      Report("send");
      return false;
    }
  }
}

void BareClient::WaitForQuiet() {
  const Clock::time_point start = Clock::now();
  const Clock::time_point limit = start + exitLimit;
  std::unique_lock<std::mutex> lock(mutex);
  while (receiving) {
    const Clock::time_point until = std::min(std::max(lastReceived, start) + quietTime, limit);
    if (Clock::now() >= until)
      return;
    receiverEnded.wait_until(lock, until);
  }
}

void BareClient::ReceiveLoop() {
  CopyMessages();
  {
    std::lock_guard<std::mutex> lock(mutex);
    receiving = false;
  }
  receiverEnded.notify_one();
}

void BareClient::CopyMessages() {
  const std::size_t size = messageType ? maxMessage : streamReadSize;
  std::unique_ptr<char[]> buffer(new char[size]);
  for (;;) {
    // MSG_TRUNC: the message's real length, so that a cut one is noticed.
    ssize_t length = recv(fd, buffer.get(), size, messageType ? MSG_TRUNC : 0);
    if (length < 0) {
      if (errno == EINTR)
        continue;
      Report("recv");
      receiveFailed = true;
      return;
    }
    // The end of the connection; the echo server never sends an empty
    // message, which would read the same.
    if (length == 0)
      return;
    if (static_cast<std::size_t>(length) > size) {
      errno = EMSGSIZE;
      Report("recv");
      receiveFailed = true;
      return;
    }
    if (!WriteAll(STDOUT_FILENO, buffer.get(), static_cast<std::size_t>(length))) {
      Report("write");
      receiveFailed = true;
      return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    lastReceived = Clock::now();
  }
}
