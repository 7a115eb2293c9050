#include "FeedServer.h"

#include "SocketListener.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
// The lines a stream repeats: large enough that the repetition is no
// pattern a client could gain from, small enough to stay in the cache.
constexpr std::size_t blockBytes = 1024 * 1024;
// Messages handed to the kernel in one call.
constexpr std::size_t messageBatch = 256;
// More in flight: the client finds a message waiting more often.
constexpr int wantedSendBuffer = 8 * 1024 * 1024;

void Report(const std::string &what) {
  std::fprintf(stderr, "skellan-bench-feed: %s: %s\n", what.c_str(), std::strerror(errno));
}

bool SendAll(int fd, const std::string &bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += static_cast<std::size_t>(sent);
  }
  return true;
}
} // namespace

FeedServer::FeedServer(std::string socketPath, const Workload &load)
    : path(std::move(socketPath)), workload(load) {
  if (workload.streamBytes > 0)
    block = FeedText::Block(workload.kind, blockBytes);
}

FeedServer::~FeedServer() {
  if (listener >= 0)
    close(listener);
  if (bound)
    unlink(path.c_str());
}

int FeedServer::Run() {
  if (!Listen())
    return 1;
  std::printf("listening %s\n", path.c_str());
  std::fflush(stdout);
  for (;;) {
    pollfd watched[] = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      Report("poll");
      return 1;
    }
    if (watched[1].revents != 0) {
      char ignored[256];
      if (read(STDIN_FILENO, ignored, sizeof ignored) <= 0)
        return 0;
    }
    if (watched[0].revents == 0)
      continue;
    // Blocking: the one client has the server to itself.
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        Report("accept");
      continue;
    }
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &wantedSendBuffer, sizeof wantedSendBuffer);
    // A client that goes early has only itself to blame: the next is served.
    if (workload.streamBytes > 0)
      SendStream(fd);
    else
      SendMessages(fd);
    close(fd);
  }
}

bool FeedServer::Listen() {
  std::string failed;
  listener = SocketListener::Listen(path, workload.streamBytes > 0 ? SOCK_STREAM : SOCK_SEQPACKET,
                                    bound, failed);
  if (listener < 0) {
    Report(failed);
    return false;
  }
  return true;
}

bool FeedServer::SendStream(int fd) const {
  std::uint64_t left = workload.streamBytes;
  // The tail needs room for its end mark and line feed.
  while (left > block.size() + 1) {
    if (!SendAll(fd, block))
      return false;
    left -= block.size();
  }
  return SendAll(fd, FeedText::Tail(block, static_cast<std::size_t>(left)));
}

bool FeedServer::SendMessages(int fd) const {
  std::vector<std::string> texts(messageBatch);
  std::vector<iovec> parts(messageBatch);
  std::vector<mmsghdr> headers(messageBatch);
  for (std::size_t first = 0; first < workload.messages; first += messageBatch) {
    const std::size_t count = std::min(messageBatch, workload.messages - first);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t index = first + i;
      texts[i] =
          FeedText::Message(index + 1, workload.messageBytes, index + 1 == workload.messages);
      parts[i] = {&texts[i][0], texts[i].size()};
      headers[i] = mmsghdr{};
      headers[i].msg_hdr.msg_iov = &parts[i];
      headers[i].msg_hdr.msg_iovlen = 1;
    }
    std::size_t sent = 0;
    while (sent < count) {
      const int done =
          sendmmsg(fd, headers.data() + sent, static_cast<unsigned>(count - sent), MSG_NOSIGNAL);
      if (done < 0) {
        if (errno == EINTR)
          continue;
        return false;
      }
      sent += static_cast<std::size_t>(done);
    }
  }
  return true;
}
