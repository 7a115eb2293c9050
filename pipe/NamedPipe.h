#ifndef SKELLAN_PIPE_NAMEDPIPE_H
#define SKELLAN_PIPE_NAMEDPIPE_H

#include "PipeApi.h"

#include "PMutex.h"
#include "PString.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

// The client end of one named pipe, in message read mode, with overlapped
// reads and writes that the callers see as blocking calls. One thread may
// read while another writes; Close from another thread ends a pending read.
// Nothing but a read or a write ever waits on the server: Close does not.
class NamedPipe {
public:
  // Asked every WriteWaitSlice while a write waits for the server to take
  // it: whether to go on waiting. False abandons the write.
  using WriteWait = std::function<bool()>;
  static constexpr DWORD WriteWaitSlice = 50;

  explicit NamedPipe(const PipeApi &api = PipeApi::System());
  virtual ~NamedPipe();
  NamedPipe(const NamedPipe &) = delete;
  NamedPipe &operator=(const NamedPipe &) = delete;

  // Opens "\\.\pipe\" + name with up to `attempts` tries, waiting between
  // tries while the pipe is busy. Returns IsOpen afterwards.
  virtual bool Open(PString name, int attempts);
  // Waits for a client on a server end; the channel itself opens only
  // client ends.
  virtual bool Accept();
  virtual bool IsOpen();
  virtual PString GetName();
  // Receives the next message, or the next part of a message longer than
  // `size` (see HasMoreData).
  virtual bool Read(void *buffer, DWORD size);
  // Sends one message: false when it could not be sent whole, or was
  // abandoned (see WriteWait); without `wait`, a server that does not read
  // is waited for as long as it takes.
  virtual bool Write(const void *buffer, std::size_t size, const WriteWait &wait = WriteWait());
  // Closes at once: a pending read ends, and what was written still reaches
  // the server, which need not have read it.
  virtual bool Close();

  DWORD GetLastReadCount() const { return lastReadCount; }
  // True when the open pipe reads whole messages; false on a byte-type pipe,
  // whose reads cut its text anywhere.
  bool IsMessageMode() const { return messageMode; }
  // True when the last successful Read ended before the end of its message;
  // the next Read returns what follows.
  bool HasMoreData() const { return moreData; }

private:
  bool IsOpenLocked() const;
  // Brackets a read-side operation so that Close can end it and wait for it
  // before releasing the handle and events it uses.
  bool BeginRead(HANDLE *handle);
  void EndRead();

  const PipeApi &api;
  PString pipePath;
  PMutex writeMutex;
  HANDLE pipeHandle;
  DWORD lastReadCount = 0;
  DWORD lastWriteCount = 0;
  bool moreData = false;
  bool messageMode = false;
  OVERLAPPED readOverlapped;
  OVERLAPPED writeOverlapped;
  // Open and Close change the handle and events under this lock; a read
  // meets them through the flags below (see BeginRead).
  std::mutex stateMutex;
  std::condition_variable readEnded;
  std::atomic<bool> open{false};
  std::atomic<bool> reading{false};
  std::atomic<bool> closing{false};
};

#endif
