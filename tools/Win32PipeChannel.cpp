#include "Win32PipeChannel.h"

#include <algorithm>

namespace {

// A message is read in parts of this size; a byte-type pipe echoes whatever
// one read returns, up to this much.
constexpr DWORD kChunk = 64 * 1024;

} // namespace

Win32PipeChannel::Win32PipeChannel(HANDLE pipe, HANDLE stop, bool byteType, HANDLE readEvent,
                                   HANDLE writeEvent)
    : pipe_(pipe), stop_(stop), byteType_(byteType) {
  read_.hEvent = readEvent;
  write_.hEvent = writeEvent;
}

Win32PipeChannel::~Win32PipeChannel() { CancelRead(); }

Conversation::Channel::Event Win32PipeChannel::Receive(std::string &message,
                                                       std::chrono::milliseconds timeout) {
  for (;;) {
    if (!reading_) {
      partStart_ = incoming_.size();
      incoming_.resize(partStart_ + kChunk);
      const BOOL started = ReadFile(pipe_, &incoming_[partStart_], kChunk, nullptr, &read_);
      if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
        incoming_.clear();
        return Event::Ended;
      }
      reading_ = true;
    }
    const HANDLE waits[] = {read_.hEvent, stop_};
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, Milliseconds(timeout));
    if (woken == WAIT_TIMEOUT) {
      return Event::Quiet;
    }
    if (woken != WAIT_OBJECT_0) {
      CancelRead();
      return Event::Ended;
    }
    DWORD got = 0;
    const bool done = GetOverlappedResult(pipe_, &read_, &got, TRUE) != FALSE;
    const DWORD error = done ? ERROR_SUCCESS : GetLastError();
    reading_ = false;
    incoming_.resize(partStart_ + got);
    if (done) {
      message.swap(incoming_);
      incoming_.clear();
      return Event::Message;
    }
    // The rest of a message longer than one part comes with the next read.
    if (error != ERROR_MORE_DATA) {
      incoming_.clear();
      return Event::Ended;
    }
  }
}

bool Win32PipeChannel::Pause(std::chrono::milliseconds timeout) {
  return WaitForSingleObject(stop_, Milliseconds(timeout)) == WAIT_TIMEOUT;
}

bool Win32PipeChannel::Send(const std::string &message) {
  // A message goes out in one write; a byte stream may take several.
  std::size_t sent = 0;
  do {
    DWORD wrote = 0;
    const BOOL started = WriteFile(pipe_, message.data() + sent,
                                   static_cast<DWORD>(message.size() - sent), nullptr, &write_);
    if (!Complete(pipe_, stop_, write_, started, wrote)) {
      return false;
    }
    sent += wrote;
  } while (byteType_ && sent < message.size());
  return sent == message.size();
}

void Win32PipeChannel::CancelRead() {
  if (!reading_) {
    return;
  }
  // The read must be over before its buffer can go.
  CancelIoEx(pipe_, &read_);
  DWORD unused = 0;
  GetOverlappedResult(pipe_, &read_, &unused, TRUE);
  reading_ = false;
  incoming_.clear();
}

bool Win32PipeChannel::Complete(HANDLE pipe, HANDLE stop, OVERLAPPED &overlapped, BOOL started,
                                DWORD &transferred) {
  if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
    return false;
  }
  const HANDLE waits[] = {overlapped.hEvent, stop};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    CancelIoEx(pipe, &overlapped);
  }
  return GetOverlappedResult(pipe, &overlapped, &transferred, TRUE) != FALSE;
}

DWORD Win32PipeChannel::Milliseconds(std::chrono::milliseconds timeout) {
  if (timeout == kForever) {
    return INFINITE;
  }
  // INFINITE is the largest DWORD: one less is the longest finite wait.
  return static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(
      std::max<std::chrono::milliseconds::rep>(timeout.count(), 0), INFINITE - 1));
}
