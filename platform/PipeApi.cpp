#include "PipeApi.h"

namespace {
#ifdef _WIN32
// GetOverlappedResultEx came with Windows 8; the operation's event gives the
// same wait on every version.
BOOL WINAPI WaitForOverlapped(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                              DWORD milliseconds, BOOL alertable) {
  const DWORD waited = WaitForSingleObjectEx(overlapped->hEvent, milliseconds, alertable);
  if (waited == WAIT_TIMEOUT || waited == WAIT_IO_COMPLETION) {
    SetLastError(waited);
    return FALSE;
  }
  if (waited != WAIT_OBJECT_0)
    return FALSE;
  return GetOverlappedResult(file, overlapped, count, FALSE);
}
#else
constexpr auto &WaitForOverlapped = ::GetOverlappedResultEx;
#endif
} // namespace

const PipeApi &PipeApi::System() {
  static const PipeApi api = {
      ::CreateEventA,     ::CreateFileA, ::WaitNamedPipeA, ::SetNamedPipeHandleState,
      ::ConnectNamedPipe, ::ReadFile,    ::WriteFile,      ::GetOverlappedResult,
      WaitForOverlapped,  ::CancelIoEx,  ::CloseHandle,    ::GetLastError,
  };
  return api;
}
