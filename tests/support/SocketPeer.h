#ifndef SKELLAN_TESTS_SUPPORT_SOCKETPEER_H
#define SKELLAN_TESTS_SUPPORT_SOCKETPEER_H

#include "ChildProcess.h"

#include <cstddef>
#include <string>

// A bare Unix-domain socket client, so the server can be tested on its own
// and a test can hold a pipe instance without a second skellan.
class SocketPeer {
public:
  enum class Result { Message, Closed, TimedOut };

  SocketPeer() = default;
  ~SocketPeer();
  SocketPeer(const SocketPeer &) = delete;
  SocketPeer &operator=(const SocketPeer &) = delete;

  // Connects without blocking; returns 0, or the errno (EAGAIN: busy).
  // While the pipe is busy it tries again until busyWait has passed.
  int Connect(const std::string &path, bool byteType = false,
              ChildProcess::Duration busyWait = ChildProcess::Duration(0));
  bool Send(const std::string &message);
  // Takes one message (message type) or the bytes at hand (byte type).
  Result Receive(std::string &message,
                 ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // Byte type: collects until `size` bytes have come.
  Result ReceiveBytes(std::size_t size, std::string &data,
                      ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  void Close();

private:
  int TryConnect(const std::string &path, bool byteType);

  int fd_ = -1;
  bool byteType_ = false;
};

#endif
