#include "SocketPipe.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {
// Messages up to the kernel's cap on the send buffer can then be written;
// the kernel lowers a larger request to that cap.
constexpr int wantedSendBuffer = 8 * 1024 * 1024;
// The kernel builds a Unix datagram from one kmalloc'd block (at most 4 MiB)
// and up to 17 pages beside it, whatever the socket buffer allows: no
// message is longer than this.
constexpr std::size_t stageCapacity = 8 * 1024 * 1024;
// What stays resident of the stage once a long message has been read.
constexpr std::size_t keptStage = 64 * 1024;

DWORD ConnectError(int error) {
  switch (error) {
  case ENOENT:
  case ECONNREFUSED:
    return ERROR_FILE_NOT_FOUND;
  case ENOTDIR:
    return ERROR_PATH_NOT_FOUND;
  case EAGAIN:
    return ERROR_PIPE_BUSY;
  case EACCES:
  case EPERM:
    return ERROR_ACCESS_DENIED;
  case EMFILE:
  case ENFILE:
    return ERROR_TOO_MANY_OPEN_FILES;
  default:
    return ERROR_GEN_FAILURE;
  }
}

DWORD ReadError(int error) {
  switch (error) {
  case ECONNRESET:
  case EPIPE:
  case ENOTCONN:
    return ERROR_BROKEN_PIPE;
  default:
    return ERROR_GEN_FAILURE;
  }
}

DWORD WriteError(int error) {
  switch (error) {
  case ECONNRESET:
  case EPIPE:
  case ENOTCONN:
    return ERROR_NO_DATA;
  case EMSGSIZE:
    return ERROR_NOT_ENOUGH_QUOTA;
  case ENOBUFS:
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  default:
    return ERROR_GEN_FAILURE;
  }
}

void Signal(int wake) {
  std::uint64_t one = 1;
  while (write(wake, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Drain(int wake) {
  std::uint64_t count;
  while (read(wake, &count, sizeof count) < 0 && errno == EINTR) {
  }
}
} // namespace

std::shared_ptr<SocketPipe> SocketPipe::Connect(const PipeName &name, DWORD *error) {
  const sockaddr_un address = name.GetAddress();
  for (int type : {SOCK_SEQPACKET, SOCK_STREAM}) {
    int fd = socket(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      *error = ConnectError(errno);
      return nullptr;
    }
    if (type == SOCK_SEQPACKET) {
      // Every message then carries the sender's credentials, even an empty
      // one; the end of the connection carries none. That tells the two
      // apart, as recv returns 0 for both.
      int on = 1;
      setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
      setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &wantedSendBuffer, sizeof wantedSendBuffer);
    }
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
      std::shared_ptr<SocketPipe> pipe(new (std::nothrow) SocketPipe(fd, type == SOCK_SEQPACKET));
      if (pipe == nullptr) {
        close(fd);
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
      }
      if (pipe->reading.wake < 0 || pipe->writing.wake < 0) {
        *error = ERROR_TOO_MANY_OPEN_FILES;
        return nullptr;
      }
      if (pipe->messageType && pipe->stage == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
      }
      return pipe;
    }
    int failure = errno;
    close(fd);
    // The listener is a stream socket: a byte-type pipe.
    if (failure == EPROTOTYPE && type == SOCK_SEQPACKET)
      continue;
    *error = ConnectError(failure);
    return nullptr;
  }
  *error = ERROR_GEN_FAILURE;
  return nullptr;
}

SocketPipe::SocketPipe(int socketFd, bool isMessageType)
    : KernelObject(kindOfClass), fd(socketFd), messageType(isMessageType) {
  reading.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  writing.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (messageType) {
    // Address space only: no page is resident, nor counted, until it is filled.
    void *room = mmap(nullptr, stageCapacity, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room != MAP_FAILED)
      stage = static_cast<char *>(room);
  }
}

SocketPipe::~SocketPipe() {
  if (stage != nullptr)
    munmap(stage, stageCapacity);
  close(fd);
  for (int wake : {reading.wake, writing.wake}) {
    if (wake >= 0)
      close(wake);
  }
}

DWORD SocketPipe::SetReadMode(DWORD mode) {
  if (mode == PIPE_READMODE_MESSAGE) {
    if (!messageType)
      return ERROR_INVALID_PARAMETER;
    messageReadMode = true;
    return ERROR_SUCCESS;
  }
  if (mode == PIPE_READMODE_BYTE) {
    messageReadMode = false;
    return ERROR_SUCCESS;
  }
  return ERROR_INVALID_PARAMETER;
}

DWORD SocketPipe::Read(void *buffer, DWORD size, OVERLAPPED *overlapped) {
  if (reading.overlapped != nullptr)
    return ERROR_INVALID_PARAMETER;
  reading.target = static_cast<char *>(buffer);
  reading.size = size;
  reading.done = 0;
  // A new message is seldom there yet when the reader has kept up, and a
  // look at the socket before the wait would cost a system call right after
  // the last message was shown, slowing whoever waits for it; the rest of a
  // long message, or of a stream, is there at once.
  DWORD status = ERROR_OPERATION_ABORTED;
  if (!closed)
    status = messageType && staged == 0 ? WouldBlock : TryRead(reading);
  return Start(reading, overlapped, status);
}

DWORD SocketPipe::Write(const void *buffer, DWORD size, OVERLAPPED *overlapped) {
  if (writing.overlapped != nullptr)
    return ERROR_INVALID_PARAMETER;
  writing.source = static_cast<const char *>(buffer);
  writing.size = size;
  writing.done = 0;
  return Start(writing, overlapped, closed ? ERROR_OPERATION_ABORTED : TryWrite(writing));
}

DWORD SocketPipe::Start(Operation &op, OVERLAPPED *overlapped, DWORD status) {
  // Cleared first: a cancel from now on is meant for this operation.
  op.cancelled.store(nullptr, std::memory_order_release);
  op.overlapped.store(overlapped, std::memory_order_release);
  if (status != WouldBlock)
    return Finish(op, status);
  overlapped->Internal = STATUS_PENDING;
  overlapped->InternalHigh = 0;
  return ERROR_IO_PENDING;
}

DWORD SocketPipe::Finish(Operation &op, DWORD status) {
  OVERLAPPED *overlapped = op.overlapped.load(std::memory_order_relaxed);
  overlapped->Internal = status;
  overlapped->InternalHigh = op.done;
  if (op.cancelled.load() == overlapped)
    Drain(op.wake);
  op.target = nullptr;
  op.source = nullptr;
  // Last: from here on the record is the caller's again.
  op.overlapped.store(nullptr, std::memory_order_release);
  return status;
}

DWORD SocketPipe::TakeStaged(Operation &op) {
  const std::size_t count = std::min<std::size_t>(op.size, staged - stagedOffset);
  std::memcpy(op.target, stage + stagedOffset, count);
  stagedOffset += count;
  op.done = static_cast<DWORD>(count);
  if (stagedOffset < staged)
    return messageReadMode ? ERROR_MORE_DATA : ERROR_SUCCESS;
  // Give back the pages a long message filled, so that it leaves nothing
  // resident behind.
  if (staged > keptStage)
    madvise(stage + keptStage, staged - keptStage, MADV_DONTNEED);
  staged = 0;
  stagedOffset = 0;
  return ERROR_SUCCESS;
}

DWORD SocketPipe::TryRead(Operation &op) {
  if (staged != 0)
    return TakeStaged(op);

  if (!messageType) {
    if (op.size == 0)
      return ERROR_SUCCESS;
    for (;;) {
      ssize_t got = recv(fd, op.target, op.size, MSG_DONTWAIT);
      if (got > 0) {
        op.done = static_cast<DWORD>(got);
        return ERROR_SUCCESS;
      }
      if (got == 0)
        return ERROR_BROKEN_PIPE;
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        return WouldBlock;
      if (errno != EINTR)
        return ReadError(errno);
    }
  }

  // One call takes the whole message: its start into the reader's buffer,
  // the rest, if any, into the stage.
  iovec parts[2] = {{op.target, op.size}, {stage, stageCapacity}};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(struct ucred))];
  msghdr header;
  ssize_t length;
  for (;;) {
    std::memset(&header, 0, sizeof header);
    header.msg_iov = parts;
    header.msg_iovlen = 2;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    length = recvmsg(fd, &header, MSG_DONTWAIT | MSG_TRUNC);
    if (length == 0 && CMSG_FIRSTHDR(&header) == nullptr)
      return ERROR_BROKEN_PIPE;
    if (length >= 0)
      break;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return WouldBlock;
    // A server that closed with messages of ours unread leaves a reset
    // that the kernel reports once, ahead of the messages it sent before:
    // those are still to be read, and after them the end of the connection.
    if (errno != EINTR && errno != ECONNRESET)
      return ReadError(errno);
  }
  // Longer than any message the kernel makes: what was cut off is lost, so
  // nothing of it is shown as if it were whole.
  if (header.msg_flags & MSG_TRUNC)
    return ERROR_GEN_FAILURE;
  const std::size_t received = static_cast<std::size_t>(length);
  if (received <= op.size) {
    op.done = static_cast<DWORD>(received);
    return ERROR_SUCCESS;
  }
  op.done = op.size;
  staged = received - op.size;
  stagedOffset = 0;
  return messageReadMode ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

DWORD SocketPipe::TryWrite(Operation &op) {
  for (;;) {
    ssize_t sent = send(fd, op.source + op.done, op.size - op.done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
      op.done += static_cast<DWORD>(sent);
      // A message goes whole or not at all; a stream may take it in parts.
      if (messageType || op.done == op.size)
        return ERROR_SUCCESS;
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return WouldBlock;
    if (errno != EINTR)
      return WriteError(errno);
  }
}

SocketPipe::Operation *SocketPipe::Find(OVERLAPPED *overlapped) {
  for (Operation *op : {&reading, &writing}) {
    if (op->overlapped == overlapped)
      return op;
  }
  return nullptr;
}

DWORD SocketPipe::GetResult(OVERLAPPED *overlapped, DWORD milliseconds) {
  Operation *op = Find(overlapped);
  if (op == nullptr)
    return overlapped->Internal == STATUS_PENDING ? ERROR_INVALID_PARAMETER
                                                  : static_cast<DWORD>(overlapped->Internal);
  if (milliseconds == 0)
    return ERROR_IO_INCOMPLETE;
  using Clock = std::chrono::steady_clock;
  const bool forever = milliseconds == INFINITE;
  // A wait without end, the receiver's, costs no look at the clock.
  const Clock::time_point deadline =
      forever ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(milliseconds);
  const bool isRead = op == &reading;
  // The wait comes first: the operation was tried as it started, or left
  // for the wait (see Read), and a try now would most likely find nothing,
  // at the cost of a system call. A cancel or close that came before
  // signalled the wake-up, which ends the wait at once.
  for (;;) {
    int timeout = -1;
    if (!forever) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd watched[2] = {{fd, static_cast<short>(isRead ? POLLIN : POLLOUT), 0},
                         {op->wake, POLLIN, 0}};
    const int ready = poll(watched, 2, timeout);
    if (closed || op->cancelled.load() == overlapped)
      return Finish(*op, ERROR_OPERATION_ABORTED);
    // A cancel meant for an operation that ended before it came.
    if (watched[1].revents != 0)
      Drain(op->wake);
    if (ready == 0) {
      if (Clock::now() >= deadline)
        return WAIT_TIMEOUT;
      continue;
    }
    DWORD status = isRead ? TryRead(*op) : TryWrite(*op);
    if (status != WouldBlock)
      return Finish(*op, status);
  }
}

DWORD SocketPipe::Cancel(OVERLAPPED *overlapped) {
  bool found = false;
  for (Operation *op : {&reading, &writing}) {
    OVERLAPPED *current = op->overlapped.load(std::memory_order_acquire);
    if (current == nullptr || (overlapped != nullptr && current != overlapped))
      continue;
    found = true;
    op->cancelled.store(current);
    Signal(op->wake);
  }
  return found ? ERROR_SUCCESS : ERROR_NOT_FOUND;
}

void SocketPipe::HandleClosed() {
  closed = true;
  Signal(reading.wake);
  Signal(writing.wake);
}
