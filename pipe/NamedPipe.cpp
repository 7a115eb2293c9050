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

bool NamedPipe::IsOpen() {
  std::lock_guard<std::mutex> lock(stateMutex);
  return IsOpenLocked();
}

PString NamedPipe::GetName() { return pipePath; }

bool NamedPipe::BeginRead(HANDLE *handle) {
  std::lock_guard<std::mutex> lock(stateMutex);
  if (!IsOpenLocked())
    return false;
  reading = true;
  *handle = pipeHandle;
  return true;
}

void NamedPipe::EndRead() {
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    reading = false;
  }
  readEnded.notify_all();
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

bool NamedPipe::Write(const void *buffer, DWORD size) {
  PWaitAndSignal lock(writeMutex);
  if (!IsOpen())
    return false;
  if (api.WriteFile(pipeHandle, buffer, size, nullptr, &writeOverlapped))
    return true;
  return api.GetLastError() == ERROR_IO_PENDING &&
         api.GetOverlappedResult(pipeHandle, &writeOverlapped, &lastWriteCount, TRUE);
}

bool NamedPipe::Close() {
  std::unique_lock<std::mutex> lock(stateMutex);
  if (!IsOpenLocked())
    return true;
  HANDLE handle = pipeHandle;
  // From here on IsOpen is false, so no new read starts.
  pipeHandle = INVALID_HANDLE_VALUE;
  while (reading) {
    api.CancelIoEx(handle, &readOverlapped);
    readEnded.wait_for(lock, cancelRetry);
  }
  api.FlushFileBuffers(handle);
  api.CloseHandle(handle);
  api.CloseHandle(readOverlapped.hEvent);
  readOverlapped.hEvent = nullptr;
  api.CloseHandle(writeOverlapped.hEvent);
  writeOverlapped.hEvent = nullptr;
  return true;
}
