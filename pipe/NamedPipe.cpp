#include "NamedPipe.h"

#include "PWaitAndSignal.h"

#include <chrono>
#include <cstring>

namespace {
// How long Close waits for a cancelled read to end before cancelling again:
// a read may be just starting when the first cancel comes.
constexpr std::chrono::milliseconds cancelRetry(10);
} // namespace

NamedPipe::NamedPipe(const PipeApi &platform) : api(platform), pipeHandle(INVALID_HANDLE_VALUE) {
  std::memset(&readOverlapped, 0, sizeof readOverlapped);
  std::memset(&writeOverlapped, 0, sizeof writeOverlapped);
}

NamedPipe::~NamedPipe() { NamedPipe::Close(); }

bool NamedPipe::Open(PString name, int attempts) {
  if (name.IsEmpty() || attempts < 1)
    return IsOpen();
  pipePath = "\\\\.\\pipe\\" + name;

  for (int tries = attempts; tries > 0; --tries) {
    Close();
    HANDLE readEvent = api.CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE writeEvent = api.CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (readEvent == nullptr || writeEvent == nullptr) {
      for (HANDLE event : {readEvent, writeEvent}) {
        if (event != nullptr)
          api.CloseHandle(event);
      }
      break;
    }
    // The server may learn who the client is, never act as it.
    HANDLE handle = api.CreateFileA(
        pipePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DWORD error = api.GetLastError();
      api.CloseHandle(readEvent);
      api.CloseHandle(writeEvent);
      if (error != ERROR_PIPE_BUSY || !api.WaitNamedPipeA(pipePath, NMPWAIT_USE_DEFAULT_WAIT))
        break;
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      pipeHandle = handle;
      readOverlapped.hEvent = readEvent;
      writeOverlapped.hEvent = writeEvent;
      open = IsOpenLocked();
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    messageMode = api.SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
    if (messageMode)
      break;
    // A byte-type pipe cannot read messages: keep it, in byte read mode,
    // rather than drop a connection the server has already seen.
    if (api.GetLastError() == ERROR_INVALID_PARAMETER)
      break;
  }
  return IsOpen();
}

bool NamedPipe::Accept() {
  HANDLE handle;
  if (!BeginRead(&handle))
    return false;
  bool connected = api.ConnectNamedPipe(handle, &readOverlapped);
  if (!connected) {
    DWORD error = api.GetLastError();
    connected = error == ERROR_PIPE_CONNECTED ||
                (error == ERROR_IO_PENDING &&
                 api.GetOverlappedResult(handle, &readOverlapped, &lastReadCount, TRUE));
  }
  EndRead();
  return connected;
}

bool NamedPipe::IsOpenLocked() const {
  return pipeHandle != INVALID_HANDLE_VALUE && readOverlapped.hEvent != nullptr &&
         writeOverlapped.hEvent != nullptr;
}

bool NamedPipe::IsOpen() { return open; }

PString NamedPipe::GetName() { return pipePath; }

bool NamedPipe::BeginRead(HANDLE *handle) {
  // The reader says that it reads, then looks whether the pipe is open;
  // Close says that it is closed, then looks whether a read is under way.
  // So one of them always sees the other, and a read takes no lock.
  reading = true;
  if (!open) {
    EndRead();
    return false;
  }
  *handle = pipeHandle;
  return true;
}

void NamedPipe::EndRead() {
  reading = false;
  if (closing) {
    std::lock_guard<std::mutex> lock(stateMutex);
    readEnded.notify_all();
  }
}

bool NamedPipe::Read(void *buffer, DWORD size) {
  HANDLE handle;
  if (!BeginRead(&handle))
    return false;
  bool done = api.ReadFile(handle, buffer, size, &lastReadCount, &readOverlapped);
  DWORD error = done ? ERROR_SUCCESS : api.GetLastError();
  if (error == ERROR_IO_PENDING) {
    done = api.GetOverlappedResult(handle, &readOverlapped, &lastReadCount, TRUE);
    error = done ? ERROR_SUCCESS : api.GetLastError();
  }
  // A message longer than the buffer filled it; the rest comes next.
  moreData = error == ERROR_MORE_DATA;
  if (moreData) {
    lastReadCount = size;
    done = true;
  }
  EndRead();
  return done;
}

bool NamedPipe::Write(const void *buffer, std::size_t size, const WriteWait &wait) {
  PWaitAndSignal lock(writeMutex);
  // One platform write takes a 32-bit count: a longer line would go out cut.
  if (!IsOpen() || size > MAXDWORD)
    return false;
  const DWORD length = static_cast<DWORD>(size);
  if (api.WriteFile(pipeHandle, buffer, length, nullptr, &writeOverlapped))
    return true;
  if (api.GetLastError() != ERROR_IO_PENDING)
    return false;
  if (!wait)
    return api.GetOverlappedResult(pipeHandle, &writeOverlapped, &lastWriteCount, TRUE);
  for (;;) {
    if (api.GetOverlappedResultEx(pipeHandle, &writeOverlapped, &lastWriteCount, WriteWaitSlice,
                                  FALSE))
      return true;
    if (api.GetLastError() != WAIT_TIMEOUT)
      return false;
    if (!wait()) {
      // The record and its event are free again only once the write has
      // ended; a cancelled write ends at once. One that completed first
      // was sent after all.
      api.CancelIoEx(pipeHandle, &writeOverlapped);
      return api.GetOverlappedResult(pipeHandle, &writeOverlapped, &lastWriteCount, TRUE);
    }
  }
}

bool NamedPipe::Close() {
  std::unique_lock<std::mutex> lock(stateMutex);
  if (!open)
    return true;
  // From here on IsOpen is false, so no new read starts.
  open = false;
  closing = true;
  HANDLE handle = pipeHandle;
  while (reading) {
    api.CancelIoEx(handle, &readOverlapped);
    readEnded.wait_for(lock, cancelRetry);
  }
  closing = false;
  pipeHandle = INVALID_HANDLE_VALUE;
  // No flush: it would wait until the server has read everything, and a
  // server that has stopped reading would hold the operator here. Closing
  // the handle delivers what was written all the same.
  api.CloseHandle(handle);
  api.CloseHandle(readOverlapped.hEvent);
  readOverlapped.hEvent = nullptr;
  api.CloseHandle(writeOverlapped.hEvent);
  writeOverlapped.hEvent = nullptr;
  return true;
}
