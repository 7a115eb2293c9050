#include "FakePipeApi.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

FakePipeApi *FakePipeApi::current = nullptr;
thread_local DWORD FakePipeApi::lastError = 0;

FakePipeApi::FakePipeApi() {
  if (current != nullptr)
    throw std::logic_error("one FakePipeApi at a time");
  current = this;
  api = {&FakePipeApi::CreateEventA,
         &FakePipeApi::CreateFileA,
         &FakePipeApi::WaitNamedPipeA,
         &FakePipeApi::SetNamedPipeHandleState,
         &FakePipeApi::ConnectNamedPipe,
         &FakePipeApi::ReadFile,
         &FakePipeApi::WriteFile,
         &FakePipeApi::GetOverlappedResult,
         &FakePipeApi::GetOverlappedResultEx,
         &FakePipeApi::CancelIoEx,
         &FakePipeApi::CloseHandle,
         &FakePipeApi::GetLastError};
}

FakePipeApi::~FakePipeApi() { current = nullptr; }

void FakePipeApi::QueueCreateFile(Result result) {
  std::lock_guard<std::mutex> lock(mutex);
  createFileResults.push_back(result);
}

void FakePipeApi::QueueWait(bool ok) {
  std::lock_guard<std::mutex> lock(mutex);
  waitResults.push_back(ok);
}

void FakePipeApi::QueueSetState(Result result) {
  std::lock_guard<std::mutex> lock(mutex);
  setStateResults.push_back(result);
}

void FakePipeApi::QueueWrite(Result result) {
  std::lock_guard<std::mutex> lock(mutex);
  writeResults.push_back(result);
}

void FakePipeApi::QueueMessage(const std::string &bytes) {
  std::lock_guard<std::mutex> lock(mutex);
  messages.push_back(bytes);
  changed.notify_all();
}

int FakePipeApi::Calls(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex);
  return calls[name];
}

std::vector<std::string> FakePipeApi::Written() {
  std::lock_guard<std::mutex> lock(mutex);
  return written;
}

std::string FakePipeApi::LastPath() {
  std::lock_guard<std::mutex> lock(mutex);
  return lastPath;
}

int FakePipeApi::OpenHandles() {
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<int>(open.size());
}

bool FakePipeApi::UsedReleasedHandle() {
  std::lock_guard<std::mutex> lock(mutex);
  return usedReleased;
}

DWORD FakePipeApi::LastReadMode() {
  std::lock_guard<std::mutex> lock(mutex);
  return lastReadMode;
}

FakePipeApi::OpenArguments FakePipeApi::LastOpen() {
  std::lock_guard<std::mutex> lock(mutex);
  return lastOpen;
}

bool FakePipeApi::WaitForPendingRead() {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, std::chrono::seconds(1), [this] { return readPending; });
}

void FakePipeApi::TakePendingWrite() {
  std::lock_guard<std::mutex> lock(mutex);
  writeTaken = true;
  changed.notify_all();
}

bool FakePipeApi::WritePending() {
  std::lock_guard<std::mutex> lock(mutex);
  return pendingWrite != nullptr;
}

HANDLE FakePipeApi::NewHandle() {
  HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
  nextHandle += 4;
  open.insert(handle);
  return handle;
}

bool FakePipeApi::Use(const char *name, HANDLE handle) {
  ++calls[name];
  if (open.count(handle) != 0)
    return true;
  usedReleased = true;
  return false;
}

BOOL FakePipeApi::Fail(DWORD error) {
  lastError = error;
  return FALSE;
}

DWORD FakePipeApi::Deliver(LPVOID buffer, DWORD size, LPDWORD count) {
  std::string &front = messages.front();
  DWORD length = static_cast<DWORD>(std::min<std::size_t>(size, front.size()));
  std::memcpy(buffer, front.data(), length);
  if (count != nullptr)
    *count = length;
  if (length < front.size()) {
    front.erase(0, length);
    return ERROR_MORE_DATA;
  }
  messages.pop_front();
  return ERROR_SUCCESS;
}

HANDLE WINAPI FakePipeApi::CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) {
  std::lock_guard<std::mutex> lock(current->mutex);
  ++current->calls["CreateEventA"];
  if (current->failCreateEvent) {
    lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  return current->NewHandle();
}

HANDLE WINAPI FakePipeApi::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                                       LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags, HANDLE) {
  std::lock_guard<std::mutex> lock(current->mutex);
  ++current->calls["CreateFileA"];
  current->lastPath = path;
  current->lastOpen = {access, shareMode, creation, flags};
  if (!current->createFileResults.empty()) {
    Result result = current->createFileResults.front();
    current->createFileResults.pop_front();
    if (!result.ok) {
      lastError = result.error;
      return INVALID_HANDLE_VALUE;
    }
  }
  return current->NewHandle();
}

BOOL WINAPI FakePipeApi::WaitNamedPipeA(LPCSTR, DWORD) {
  std::lock_guard<std::mutex> lock(current->mutex);
  ++current->calls["WaitNamedPipeA"];
  if (current->waitResults.empty())
    return TRUE;
  bool ok = current->waitResults.front();
  current->waitResults.pop_front();
  return ok ? TRUE : current->Fail(ERROR_SEM_TIMEOUT);
}

BOOL WINAPI FakePipeApi::SetNamedPipeHandleState(HANDLE pipe, LPDWORD mode, LPDWORD, LPDWORD) {
  std::lock_guard<std::mutex> lock(current->mutex);
  if (!current->Use("SetNamedPipeHandleState", pipe))
    return current->Fail(ERROR_INVALID_HANDLE);
  if (!current->setStateResults.empty()) {
    Result result = current->setStateResults.front();
    current->setStateResults.pop_front();
    if (!result.ok)
      return current->Fail(result.error);
  }
  current->lastReadMode = *mode;
  return TRUE;
}

BOOL WINAPI FakePipeApi::ConnectNamedPipe(HANDLE pipe, LPOVERLAPPED) {
  std::lock_guard<std::mutex> lock(current->mutex);
  if (!current->Use("ConnectNamedPipe", pipe))
    return current->Fail(ERROR_INVALID_HANDLE);
  return current->Fail(ERROR_PIPE_CONNECTED);
}

BOOL WINAPI FakePipeApi::ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD count,
                                  LPOVERLAPPED overlapped) {
  std::lock_guard<std::mutex> lock(current->mutex);
  if (!current->Use("ReadFile", file) || !current->Use("ReadFile:event", overlapped->hEvent))
    return current->Fail(ERROR_INVALID_HANDLE);
  if (!current->messages.empty()) {
    DWORD status = current->Deliver(buffer, size, count);
    return status == ERROR_SUCCESS ? TRUE : current->Fail(status);
  }
  current->readPending = true;
  current->readCancelled = false;
  current->pendingBuffer = buffer;
  current->pendingSize = size;
  current->changed.notify_all();
  return current->Fail(ERROR_IO_PENDING);
}

BOOL WINAPI FakePipeApi::WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD,
                                   LPOVERLAPPED overlapped) {
  std::lock_guard<std::mutex> lock(current->mutex);
  if (!current->Use("WriteFile", file) || !current->Use("WriteFile:event", overlapped->hEvent))
    return current->Fail(ERROR_INVALID_HANDLE);
  if (current->pendingWrite != nullptr)
    return current->Fail(ERROR_INVALID_PARAMETER);
  if (!current->writeResults.empty()) {
    Result result = current->writeResults.front();
    current->writeResults.pop_front();
    if (!result.ok && result.error == ERROR_IO_PENDING) {
      current->pendingWrite = overlapped;
      current->pendingWriteBytes.assign(static_cast<const char *>(buffer), size);
      current->writeTaken = false;
      current->writeCancelled = false;
    }
    if (!result.ok)
      return current->Fail(result.error);
  }
  current->written.emplace_back(static_cast<const char *>(buffer), size);
  return TRUE;
}

BOOL FakePipeApi::FinishWrite(std::unique_lock<std::mutex> &lock, DWORD milliseconds) {
  const auto ended = [this] { return writeTaken || writeCancelled; };
  if (milliseconds == INFINITE)
    changed.wait(lock, ended);
  else if (!changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ended))
    return Fail(milliseconds == 0 ? ERROR_IO_INCOMPLETE : WAIT_TIMEOUT);
  pendingWrite = nullptr;
  if (writeCancelled)
    return Fail(ERROR_OPERATION_ABORTED);
  written.push_back(pendingWriteBytes);
  return TRUE;
}

BOOL WINAPI FakePipeApi::GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                                             BOOL wait) {
  return GetOverlappedResultEx(file, overlapped, count, wait ? INFINITE : 0, FALSE);
}

BOOL WINAPI FakePipeApi::GetOverlappedResultEx(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                                               DWORD milliseconds, BOOL) {
  std::unique_lock<std::mutex> lock(current->mutex);
  if (!current->Use("GetOverlappedResult", file) ||
      !current->Use("GetOverlappedResult:event", overlapped->hEvent))
    return current->Fail(ERROR_INVALID_HANDLE);
  if (overlapped == current->pendingWrite)
    return current->FinishWrite(lock, milliseconds);
  // A read ends with a message or a cancel.
  current->changed.wait(lock, [] { return current->readCancelled || !current->messages.empty(); });
  current->readPending = false;
  if (current->readCancelled) {
    current->readCancelled = false;
    return current->Fail(ERROR_OPERATION_ABORTED);
  }
  DWORD status = current->Deliver(current->pendingBuffer, current->pendingSize, count);
  return status == ERROR_SUCCESS ? TRUE : current->Fail(status);
}

BOOL WINAPI FakePipeApi::CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
  std::lock_guard<std::mutex> lock(current->mutex);
  if (!current->Use("CancelIoEx", file))
    return current->Fail(ERROR_INVALID_HANDLE);
  bool found = false;
  // A write the server has taken already is done; a cancel misses it.
  if (current->pendingWrite != nullptr && !current->writeTaken &&
      (overlapped == nullptr || overlapped == current->pendingWrite)) {
    current->writeCancelled = true;
    found = true;
  }
  if (current->readPending && overlapped != current->pendingWrite) {
    current->readCancelled = true;
    found = true;
  }
  current->changed.notify_all();
  return found ? TRUE : current->Fail(ERROR_NOT_FOUND);
}

BOOL WINAPI FakePipeApi::CloseHandle(HANDLE object) {
  std::lock_guard<std::mutex> lock(current->mutex);
  if (!current->Use("CloseHandle", object))
    return current->Fail(ERROR_INVALID_HANDLE);
  current->open.erase(object);
  return TRUE;
}

DWORD WINAPI FakePipeApi::GetLastError() { return lastError; }
