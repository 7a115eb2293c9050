#include "Win32Api.h"

#include "EventObject.h"
#include "HandleTable.h"
#include "ListenerProbe.h"
#include "PipeName.h"
#include "SocketPipe.h"

#include <chrono>
#include <thread>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;

// How often a wait for a busy pipe looks again.
constexpr std::chrono::milliseconds busyPollInterval(5);

BOOL Fail(DWORD error) {
  lastError = error;
  return FALSE;
}

// Ends a call with the status of an operation: TRUE on success, otherwise
// FALSE with the status as the last error.
BOOL Result(DWORD status) { return status == ERROR_SUCCESS ? TRUE : Fail(status); }

std::shared_ptr<SocketPipe> FindPipe(HANDLE handle) {
  return HandleTable::Instance().FindAs<SocketPipe>(handle);
}
} // namespace

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL, LPCSTR name) {
  // Only what the pipe channel uses: unnamed manual-reset events.
  if (!manualReset || name != nullptr) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  return HandleTable::Instance().Insert(std::make_shared<EventObject>());
}

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                   DWORD, HANDLE) {
  if (creationDisposition != OPEN_EXISTING) {
    lastError = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  PipeName name(fileName);
  if (name.GetError() != ERROR_SUCCESS) {
    lastError = name.GetError();
    return INVALID_HANDLE_VALUE;
  }
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<SocketPipe> pipe = SocketPipe::Connect(name, &error);
  if (!pipe) {
    lastError = error;
    return INVALID_HANDLE_VALUE;
  }
  lastError = ERROR_SUCCESS;
  return HandleTable::Instance().Insert(std::move(pipe));
}

BOOL WaitNamedPipeA(LPCSTR pipeName, DWORD timeout) {
  PipeName name(pipeName);
  if (name.GetError() != ERROR_SUCCESS)
    return Fail(name.GetError());
  using Clock = std::chrono::steady_clock;
  const bool forever = timeout == NMPWAIT_WAIT_FOREVER;
  const DWORD milliseconds =
      timeout == NMPWAIT_USE_DEFAULT_WAIT ? SKELLAN_DEFAULT_PIPE_WAIT_MS : timeout;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    switch (ListenerProbe::Check(name.GetSocketPath())) {
    case ListenerProbe::NoListener:
      return Fail(ERROR_FILE_NOT_FOUND);
    case ListenerProbe::HasRoom:
    case ListenerProbe::Unknown:
      // Without the kernel's answer, let the caller's next try find out.
      return TRUE;
    case ListenerProbe::Full:
      break;
    }
    if (!forever && Clock::now() >= deadline)
      return Fail(ERROR_SEM_TIMEOUT);
    std::this_thread::sleep_for(busyPollInterval);
  }
}

BOOL SetNamedPipeHandleState(HANDLE pipe, LPDWORD mode, LPDWORD maxCollectionCount,
                             LPDWORD collectDataTimeout) {
  std::shared_ptr<SocketPipe> object = FindPipe(pipe);
  if (!object)
    return Fail(ERROR_INVALID_HANDLE);
  // Collection settings belong to byte pipes across a network.
  if (maxCollectionCount != nullptr || collectDataTimeout != nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  return mode == nullptr ? TRUE : Result(object->SetReadMode(*mode));
}

BOOL ConnectNamedPipe(HANDLE pipe, LPOVERLAPPED) {
  // Only server ends accept clients, and this layer opens client ends only.
  return Fail(FindPipe(pipe) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  std::shared_ptr<SocketPipe> pipe = FindPipe(file);
  if (!pipe)
    return Fail(ERROR_INVALID_HANDLE);
  if (overlapped == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD status = pipe->Read(buffer, size, overlapped);
  if (bytesRead != nullptr && status != ERROR_IO_PENDING)
    *bytesRead = static_cast<DWORD>(overlapped->InternalHigh);
  return Result(status);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
  std::shared_ptr<SocketPipe> pipe = FindPipe(file);
  if (!pipe)
    return Fail(ERROR_INVALID_HANDLE);
  if (overlapped == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD status = pipe->Write(buffer, size, overlapped);
  if (bytesWritten != nullptr && status != ERROR_IO_PENDING)
    *bytesWritten = static_cast<DWORD>(overlapped->InternalHigh);
  return Result(status);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred,
                         BOOL wait) {
  return GetOverlappedResultEx(file, overlapped, bytesTransferred, wait ? INFINITE : 0, FALSE);
}

BOOL GetOverlappedResultEx(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred,
                           DWORD milliseconds, BOOL) {
  std::shared_ptr<SocketPipe> pipe = FindPipe(file);
  if (!pipe)
    return Fail(ERROR_INVALID_HANDLE);
  if (overlapped == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD status = pipe->GetResult(overlapped, milliseconds);
  if (bytesTransferred != nullptr && status != ERROR_IO_INCOMPLETE && status != WAIT_TIMEOUT)
    *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
  return Result(status);
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
  std::shared_ptr<SocketPipe> pipe = FindPipe(file);
  if (!pipe)
    return Fail(ERROR_INVALID_HANDLE);
  return Result(pipe->Cancel(overlapped));
}

BOOL CloseHandle(HANDLE object) {
  std::shared_ptr<KernelObject> removed = HandleTable::Instance().Remove(object);
  if (!removed)
    return Fail(ERROR_INVALID_HANDLE);
  removed->HandleClosed();
  return TRUE;
}
