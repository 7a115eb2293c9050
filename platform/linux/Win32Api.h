#ifndef SKELLAN_PLATFORM_LINUX_WIN32API_H
#define SKELLAN_PLATFORM_LINUX_WIN32API_H

// The Win32 named-pipe client calls that Skellan uses, over Unix domain
// sockets. "\\.\pipe\NAME" is the socket CoreFxPipe_NAME in $TMPDIR or /tmp
// (a NAME that starts with '/' is the socket path itself); a SOCK_SEQPACKET socket is a
// message-type pipe and a SOCK_STREAM socket a byte-type pipe.

#include <cstdint>

#define WINAPI

typedef void *HANDLE;
typedef std::uint32_t DWORD;
typedef int BOOL;
typedef DWORD *LPDWORD;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef const char *LPCSTR;
typedef std::uintptr_t ULONG_PTR;
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;     // STATUS_PENDING while the operation runs, then its error code
  ULONG_PTR InternalHigh; // bytes transferred
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define SECURITY_SQOS_PRESENT 0x00100000u
#define SECURITY_IDENTIFICATION 0x00010000u
#define PIPE_READMODE_BYTE 0x00000000u
#define PIPE_READMODE_MESSAGE 0x00000002u
#define NMPWAIT_USE_DEFAULT_WAIT 0x00000000u
#define NMPWAIT_WAIT_FOREVER 0xffffffffu
#define STATUS_PENDING 0x00000103u
#define INFINITE 0xffffffffu
#define MAXDWORD 0xffffffffu

#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_INVALID_NAME 123u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_PIPE_BUSY 231u
#define ERROR_NO_DATA 232u
#define ERROR_MORE_DATA 234u
#define WAIT_TIMEOUT 258u
#define ERROR_PIPE_CONNECTED 535u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u
#define ERROR_NOT_FOUND 1168u
#define ERROR_NOT_ENOUGH_QUOTA 1816u

// How long WaitNamedPipeA waits for a busy pipe when told to use the
// default: Unix sockets carry no server-given default.
#define SKELLAN_DEFAULT_PIPE_WAIT_MS 1000u

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WaitNamedPipeA(LPCSTR pipeName, DWORD timeout);
BOOL SetNamedPipeHandleState(HANDLE pipe, LPDWORD mode, LPDWORD maxCollectionCount,
                             LPDWORD collectDataTimeout);
BOOL ConnectNamedPipe(HANDLE pipe, LPOVERLAPPED overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD bytesRead, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait);
BOOL GetOverlappedResultEx(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred,
                           DWORD milliseconds, BOOL alertable);
BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);
DWORD GetLastError(void);
void SetLastError(DWORD error);

#endif
