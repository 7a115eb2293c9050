#ifndef SKELLAN_TESTS_SUPPORT_SOCKETPEER_H
#define SKELLAN_TESTS_SUPPORT_SOCKETPEER_H

#include "ChildProcess.h"

#include <cstddef>
#include <string>

// The tests' end of a pipe: a Unix-domain socket, SOCK_SEQPACKET for a
// message-type pipe and SOCK_STREAM for a byte-type one. As a client it
// lets the server be tested on its own and a test hold a pipe instance
// without a second skellan; listening, it is a server of the test's own for
// the client's socket layer. Sends block, but never for more than ten
// seconds; every wait has a time-out.
class SocketPeer {
public:
  enum class Result { Message, Closed, TimedOut };

  SocketPeer() = default;
  ~SocketPeer();
  SocketPeer(SocketPeer &&other) noexcept;
  SocketPeer &operator=(SocketPeer &&other) noexcept;
  SocketPeer(const SocketPeer &) = delete;
  SocketPeer &operator=(const SocketPeer &) = delete;

  // Connects without blocking; returns 0, or the errno (EAGAIN: busy).
  // While the pipe is busy it tries again until busyWait has passed.
  int Connect(const std::string &path, bool byteType = false,
              ChildProcess::Duration busyWait = ChildProcess::Duration(0));
  // Listens at `path`, in place of a socket file left there, with room for
  // `backlog` connections to wait; returns 0, or the errno. The file goes
  // when the peer closes.
  int Listen(const std::string &path, bool byteType = false, int backlog = 4);
  // The end of the next connection a listening peer has waiting, within
  // `timeout`; a peer that is not open when none came.
  SocketPeer Accept(ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // Leaves a socket file at `path` that nobody listens on, as a killed
  // server does; returns 0, or the errno.
  static int LeaveStale(const std::string &path);

  bool IsOpen() const { return fd_ >= 0; }
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
  // Readies a connected socket: blocking sends with a bound, and room for
  // a test's largest message.
  void Ready();

  int fd_ = -1;
  bool byteType_ = false;
  // The socket file a listening peer removes when it closes.
  std::string listening_;
};

#endif
