#ifndef SKELLAN_TESTS_SUPPORT_FAKEPIPEAPI_H
#define SKELLAN_TESTS_SUPPORT_FAKEPIPEAPI_H

#include "PipeApi.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// A scripted stand-in for the platform's pipe calls, for the cases a real
// server cannot produce on cue. Results are taken from the queues in order;
// an empty queue gives the ordinary success. It counts the calls, keeps
// track of which handles are open, and notes any use of a released handle.
class FakePipeApi {
public:
  struct Result {
    bool ok;
    DWORD error;
  };

  FakePipeApi();
  ~FakePipeApi();
  FakePipeApi(const FakePipeApi &) = delete;
  FakePipeApi &operator=(const FakePipeApi &) = delete;

  const PipeApi &Api() const { return api; }

  // Scripting; call before the code under test runs.
  void QueueCreateFile(Result result);
  void QueueWait(bool ok);
  void QueueSetState(Result result);
  // A write's result; {false, ERROR_IO_PENDING} leaves the write pending
  // until TakePendingWrite or a cancel ends it.
  void QueueWrite(Result result);
  // A message for ReadFile; once they are used up a read stays pending
  // until it is cancelled.
  void QueueMessage(const std::string &bytes);
  void FailCreateEvent() { failCreateEvent = true; }

  // What happened.
  int Calls(const std::string &name);
  std::vector<std::string> Written();
  std::string LastPath();
  int OpenHandles();
  bool UsedReleasedHandle();
  DWORD LastReadMode();
  // The access, share mode, creation and flags of the last CreateFileA.
  struct OpenArguments {
    DWORD access, shareMode, creation, flags;
  };
  OpenArguments LastOpen();
  // Blocks (up to a second) until a read is pending; false if none came.
  bool WaitForPendingRead();
  // The server takes the pending write: it completes, and counts as written.
  void TakePendingWrite();
  bool WritePending();

private:
  static FakePipeApi *current;
  static HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR);
  static HANDLE WINAPI CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                   HANDLE);
  static BOOL WINAPI WaitNamedPipeA(LPCSTR, DWORD);
  static BOOL WINAPI SetNamedPipeHandleState(HANDLE, LPDWORD, LPDWORD, LPDWORD);
  static BOOL WINAPI ConnectNamedPipe(HANDLE, LPOVERLAPPED);
  static BOOL WINAPI ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  static BOOL WINAPI WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  static BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
  static BOOL WINAPI GetOverlappedResultEx(HANDLE, LPOVERLAPPED, LPDWORD, DWORD, BOOL);
  static BOOL WINAPI CancelIoEx(HANDLE, LPOVERLAPPED);
  static BOOL WINAPI CloseHandle(HANDLE);
  static DWORD WINAPI GetLastError();

  HANDLE NewHandle();
  // Counts the call and checks the handle; the caller holds the mutex.
  bool Use(const char *name, HANDLE handle);
  BOOL Fail(DWORD error);
  // Serves the front message into the buffer; the caller holds the mutex.
  DWORD Deliver(LPVOID buffer, DWORD size, LPDWORD count);
  // Ends a pending write, waiting up to `milliseconds`; the caller holds
  // the lock.
  BOOL FinishWrite(std::unique_lock<std::mutex> &lock, DWORD milliseconds);

  PipeApi api;
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, int> calls;
  std::deque<Result> createFileResults, setStateResults, writeResults;
  std::deque<bool> waitResults;
  std::deque<std::string> messages;
  std::vector<std::string> written;
  std::set<HANDLE> open;
  std::string lastPath;
  DWORD lastReadMode = 0xffffffffu;
  OpenArguments lastOpen{};
  bool failCreateEvent = false;
  bool usedReleased = false;
  bool readPending = false;
  bool readCancelled = false;
  LPVOID pendingBuffer = nullptr;
  DWORD pendingSize = 0;
  LPOVERLAPPED pendingWrite = nullptr;
  std::string pendingWriteBytes;
  bool writeTaken = false;
  bool writeCancelled = false;
  std::uintptr_t nextHandle = 0x1000;
  static thread_local DWORD lastError;
};

#endif
