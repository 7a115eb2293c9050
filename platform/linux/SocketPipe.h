#ifndef SKELLAN_PLATFORM_LINUX_SOCKETPIPE_H
#define SKELLAN_PLATFORM_LINUX_SOCKETPIPE_H

#include "KernelObject.h"
#include "PipeName.h"
#include "Win32Api.h"

#include <atomic>
#include <cstddef>
#include <memory>

// The client end of a pipe: a connected Unix socket with Win32's overlapped
// read and write. An operation that cannot finish at once goes pending and
// is carried out by GetOverlappedResult, which waits on the socket and on a
// wake-up descriptor that cancelling or closing the handle signals, for as
// long as its caller allows.
//
// Each direction is driven by one thread at a time, as the channel does it:
// that thread starts the operation and waits for it, and no lock is taken
// on the way. Other threads only cancel or close, which mark the operation
// and wake its wait.
class SocketPipe : public KernelObject {
public:
  static constexpr Kind kindOfClass = Kind::Pipe;

  // Connects to the pipe's socket; on failure returns null and sets *error.
  static std::shared_ptr<SocketPipe> Connect(const PipeName &name, DWORD *error);
  ~SocketPipe() override;

  DWORD SetReadMode(DWORD mode);

  // Each returns ERROR_SUCCESS, ERROR_IO_PENDING or the error that ended the
  // operation; a completed operation has stored its status and count in the
  // record.
  DWORD Read(void *buffer, DWORD size, OVERLAPPED *overlapped);
  DWORD Write(const void *buffer, DWORD size, OVERLAPPED *overlapped);
  // Waits up to `milliseconds` (INFINITE: without limit) for the operation
  // to end: WAIT_TIMEOUT when it goes on, ERROR_IO_INCOMPLETE at once for 0.
  DWORD GetResult(OVERLAPPED *overlapped, DWORD milliseconds);
  DWORD Cancel(OVERLAPPED *overlapped);

  void HandleClosed() override;

private:
  // One overlapped operation in flight in one direction.
  struct Operation {
    // The caller's record while the operation runs, null between.
    std::atomic<OVERLAPPED *> overlapped{nullptr};
    // The record a cancel was meant for: the operation ends if it is its own.
    std::atomic<OVERLAPPED *> cancelled{nullptr};
    char *target = nullptr;       // where a read stores
    const char *source = nullptr; // what a write sends
    DWORD size = 0;
    DWORD done = 0;
    int wake = -1;
  };
  static constexpr DWORD WouldBlock = 0xffffffffu;

  SocketPipe(int fd, bool messageType);
  DWORD TryRead(Operation &op);
  DWORD TakeStaged(Operation &op);
  DWORD TryWrite(Operation &op);
  DWORD Start(Operation &op, OVERLAPPED *overlapped, DWORD status);
  DWORD Finish(Operation &op, DWORD status);
  Operation *Find(OVERLAPPED *overlapped);

  const int fd;
  const bool messageType;
  std::atomic<bool> messageReadMode{false};
  std::atomic<bool> closed{false};
  Operation reading;
  Operation writing;
  // Where a message pipe receives what does not fit the reader's buffer, so
  // that every message comes in one call: room for the largest message the
  // kernel can carry, of which only the pages a message fills are resident.
  // The rest of a long message waits here for the following reads.
  char *stage = nullptr;
  std::size_t staged = 0;
  std::size_t stagedOffset = 0;
};

#endif
