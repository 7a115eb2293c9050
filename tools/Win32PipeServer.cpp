#include "Win32PipeServer.h"

#include "Conversation.h"
#include "Win32PipeChannel.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <system_error>
#include <utility>

namespace {

const char kPipePrefix[] = "\\\\.\\pipe\\";
// The pipe's buffer in each direction: a hint to the system.
constexpr DWORD kBufferSize = 64 * 1024;
// How long a client's WaitNamedPipe waits for a busy pipe when it asks for
// the default: the same as the Linux layer's.
constexpr DWORD kDefaultWaitMs = 1000;

// A console control handler has no context argument.
HANDLE stopEvent = nullptr;

BOOL WINAPI OnControl(DWORD) {
  SetEvent(stopEvent);
  return TRUE;
}

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

} // namespace

Win32PipeServer::Win32PipeServer(ServerOptions options)
    : options_(std::move(options)), path_(PipePathFor(options_.Name())) {}

Win32PipeServer::~Win32PipeServer() {
  Stop();
  SetConsoleCtrlHandler(OnControl, FALSE);
  stopEvent = nullptr;
  for (HANDLE event : {stop_, wake_}) {
    if (event != nullptr) {
      CloseHandle(event);
    }
  }
}

std::string Win32PipeServer::PipePathFor(const std::string &name) { return kPipePrefix + name; }

int Win32PipeServer::Run() {
  // Log lines end in a bare line feed, as on every platform, so that one
  // reader parses the logs of both servers.
  _setmode(_fileno(stdout), _O_BINARY);
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (stop_ == nullptr || wake_ == nullptr) {
    Report("cannot set up the main loop");
    return 1;
  }
  const HANDLE first = NameTaken() ? INVALID_HANDLE_VALUE : CreateInstance(true);
  if (first == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_ACCESS_DENIED) {
      std::fprintf(stderr, "skellan-server: another server is serving %s\n", path_.c_str());
    } else {
      Report("cannot create " + path_);
    }
    return 1;
  }
  log_.Write("listening " + path_);
  stopEvent = stop_;
  SetConsoleCtrlHandler(OnControl, TRUE);
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    instances_ = 1;
    listening_ = 1;
    StartInstance(first);
  }

  int status = 0;
  const HANDLE waits[] = {stop_, wake_};
  for (;;) {
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0 + 1) {
      if (woken != WAIT_OBJECT_0) {
        Report("cannot wait for the instances");
        status = 1;
      }
      break;
    }
    ReapFinished();
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (options_.MaxConnections() != 0 && ended_ >= options_.MaxConnections()) {
      break;
    }
    // While no instance is free a client finds the pipe busy: that is the
    // limit at work, or a gap that a new instance closes.
    const bool room = options_.Instances() == 0 || instances_ < options_.Instances();
    if (listening_ == 0 && room) {
      const HANDLE pipe = CreateInstance(false);
      if (pipe == INVALID_HANDLE_VALUE) {
        Report("cannot create another instance of " + path_);
        continue;
      }
      ++instances_;
      ++listening_;
      StartInstance(pipe);
    }
  }
  Stop();
  return status;
}

bool Win32PipeServer::NameTaken() const {
  // Windows refuses a first instance of a name that has instances already,
  // but Wine does not: so ask whether one exists, without connecting to it.
  // A free instance ends the wait at once; busy ones let it time out.
  if (WaitNamedPipeA(path_.c_str(), 1) || GetLastError() == ERROR_SEM_TIMEOUT) {
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
  }
  return false;
}

HANDLE Win32PipeServer::CreateInstance(bool first) {
  const DWORD type = options_.ByteType() ? PIPE_TYPE_BYTE | PIPE_READMODE_BYTE
                                         : PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE;
  // Beyond what the system counts, the main loop keeps the limit itself.
  const std::size_t limit = options_.Instances();
  const DWORD maxInstances = limit == 0 || limit >= PIPE_UNLIMITED_INSTANCES
                                 ? PIPE_UNLIMITED_INSTANCES
                                 : static_cast<DWORD>(limit);
  // Creating the first instance fails if some other server has the name.
  const DWORD openMode =
      PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  return CreateNamedPipeA(path_.c_str(), openMode, type | PIPE_WAIT, maxInstances, kBufferSize,
                          kBufferSize, kDefaultWaitMs, nullptr);
}

void Win32PipeServer::StartInstance(HANDLE pipe) {
  // The caller holds stateMutex_ and has counted the instance in.
  const std::uint64_t key = nextThread_++;
  try {
    threads_.emplace(key, std::thread(&Win32PipeServer::RunInstance, this, key, pipe));
  } catch (const std::system_error &error) {
    std::fprintf(stderr, "skellan-server: cannot start an instance thread: %s\n", error.what());
    CloseHandle(pipe);
    --instances_;
    --listening_;
  }
}

void Win32PipeServer::ReapFinished() {
  std::vector<std::thread> done;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (std::uint64_t key : finished_) {
      const auto thread = threads_.find(key);
      if (thread != threads_.end()) {
        done.push_back(std::move(thread->second));
        threads_.erase(thread);
      }
    }
    finished_.clear();
  }
  // Outside the lock, which a thread may still be about to release.
  for (std::thread &thread : done) {
    thread.join();
  }
}

void Win32PipeServer::Stop() {
  if (stop_ != nullptr) {
    SetEvent(stop_);
  }
  std::map<std::uint64_t, std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    threads.swap(threads_);
    finished_.clear();
  }
  for (auto &thread : threads) {
    thread.second.join();
  }
}

void Win32PipeServer::RunInstance(std::uint64_t thread, HANDLE pipe) {
  bool listening = true;
  // One event for the wait for a client and the reads, one for the writes,
  // which may go out while a read is pending.
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const HANDLE writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const bool ready = overlapped.hEvent != nullptr && writeEvent != nullptr;
  if (!ready) {
    Report("cannot create an event");
  }
  while (ready && WaitForClient(pipe, overlapped)) {
    std::uint64_t id = 0;
    {
      // Ids are logged in the order they are handed out.
      std::lock_guard<std::mutex> lock(stateMutex_);
      --listening_;
      id = nextId_++;
      log_.Write("connect " + std::to_string(id));
    }
    SetEvent(wake_);
    Serve(pipe, overlapped.hEvent, writeEvent, id);
    listening = KeepListening();
    if (!listening) {
      break;
    }
  }
  for (HANDLE event : {overlapped.hEvent, writeEvent}) {
    if (event != nullptr) {
      CloseHandle(event);
    }
  }
  CloseHandle(pipe);
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    --instances_;
    listening_ -= listening ? 1 : 0;
    finished_.push_back(thread);
  }
  SetEvent(wake_);
}

bool Win32PipeServer::KeepListening() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  // Another free instance already takes the next client; keeping this one
  // as well would only grow the count of instances nobody uses.
  if (IsSet(stop_) || listening_ > 0) {
    return false;
  }
  ++listening_;
  return true;
}

bool Win32PipeServer::WaitForClient(HANDLE pipe, OVERLAPPED &overlapped) {
  if (ConnectNamedPipe(pipe, &overlapped)) {
    return true;
  }
  switch (GetLastError()) {
  case ERROR_PIPE_CONNECTED:
  // A client that came and went before the call is served as any other:
  // its first read finds it gone.
  case ERROR_NO_DATA:
    return true;
  case ERROR_IO_PENDING: {
    DWORD unused = 0;
    return Win32PipeChannel::Complete(pipe, stop_, overlapped, FALSE, unused);
  }
  default:
    Report("cannot wait for a client on " + path_);
    return false;
  }
}

void Win32PipeServer::Serve(HANDLE pipe, HANDLE readEvent, HANDLE writeEvent, std::uint64_t id) {
  Win32PipeChannel channel(pipe, stop_, options_.ByteType(), readEvent, writeEvent);
  Conversation(options_, log_).Run(id, channel);
  channel.CancelRead();
  // DisconnectNamedPipe throws away whatever the client has not read yet:
  // first wait until it has read all, unless the server is stopping. With
  // the client gone this returns at once.
  if (!IsSet(stop_)) {
    FlushFileBuffers(pipe);
  }
  DisconnectNamedPipe(pipe);
  log_.Write("close " + std::to_string(id));
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    ++ended_;
  }
  SetEvent(wake_);
}

void Win32PipeServer::Report(const std::string &what) {
  const unsigned long error = GetLastError();
  std::fprintf(stderr, "skellan-server: %s: Windows error %lu\n", what.c_str(), error);
}
