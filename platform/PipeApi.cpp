#include "PipeApi.h"

const PipeApi &PipeApi::System() {
  static const PipeApi api = {
      ::CreateEventA,     ::CreateFileA,      ::WaitNamedPipeA, ::SetNamedPipeHandleState,
      ::ConnectNamedPipe, ::ReadFile,         ::WriteFile,      ::GetOverlappedResult,
      ::CancelIoEx,       ::FlushFileBuffers, ::CloseHandle,    ::GetLastError,
  };
  return api;
}
