#ifndef SKELLAN_PLATFORM_PIPEAPI_H
#define SKELLAN_PLATFORM_PIPEAPI_H

#ifdef _WIN32
#include <windows.h>
#else
#include "linux/Win32Api.h"
#endif

// The Win32 calls the pipe channel makes, reached through one table so that
// tests can put a scripted fake in place of the platform.
struct PipeApi {
  HANDLE(WINAPI *CreateEventA)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR);
  HANDLE(WINAPI *CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI *WaitNamedPipeA)(LPCSTR, DWORD);
  BOOL(WINAPI *SetNamedPipeHandleState)(HANDLE, LPDWORD, LPDWORD, LPDWORD);
  BOOL(WINAPI *ConnectNamedPipe)(HANDLE, LPOVERLAPPED);
  BOOL(WINAPI *ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI *WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI *GetOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
  // As GetOverlappedResult, waiting at most the given milliseconds: FALSE
  // with WAIT_TIMEOUT when the operation is still pending then.
  BOOL(WINAPI *GetOverlappedResultEx)(HANDLE, LPOVERLAPPED, LPDWORD, DWORD, BOOL);
  BOOL(WINAPI *CancelIoEx)(HANDLE, LPOVERLAPPED);
  BOOL(WINAPI *CloseHandle)(HANDLE);
  DWORD(WINAPI *GetLastError)(void);

  // The platform's own calls.
  static const PipeApi &System();
};

#endif
