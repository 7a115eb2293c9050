// The Linux layer under the Win32 pipe calls, against listening sockets
// that the tests make themselves.
#include "PipeApi.h"
#include "linux/PipeName.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {
using namespace std::string_literals;

std::string UniqueName() {
  static std::atomic<int> counter{0};
  return "skellan-layer-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// A listening socket under the name the layer maps a pipe name to.
class Listener {
public:
  Listener(int type, int backlog)
      : name(UniqueName()), path(PipeName::Directory() + PipeName::SocketPrefix + name) {
    fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    unlink(path.c_str());
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd, backlog), 0);
  }
  ~Listener() {
    for (int client : accepted)
      close(client);
    close(fd);
    unlink(path.c_str());
  }
  // A connection waiting in the backlog, within five seconds; -1 if none.
  int Accept() { return AcceptWithin(5000); }
  // A connection already waiting in the backlog; -1 if none.
  int TryAccept() { return AcceptWithin(0); }
  int AcceptWithin(int milliseconds) {
    pollfd waiting = {fd, POLLIN, 0};
    if (poll(&waiting, 1, milliseconds) != 1)
      return -1;
    int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0)
      accepted.push_back(client);
    return client;
  }
  std::string PipePath() const { return "\\\\.\\pipe\\" + name; }

  std::string name;
  std::string path;
  int fd;
  std::vector<int> accepted;
};

// A client handle with its two overlapped records, released at the end.
struct Client {
  explicit Client(const std::string &pipePath) {
    handle = CreateFileA(pipePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    error = GetLastError();
    read.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    write.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  }
  ~Client() {
    if (handle != INVALID_HANDLE_VALUE)
      CloseHandle(handle);
    CloseHandle(read.hEvent);
    CloseHandle(write.hEvent);
  }
  // One read, waiting if it goes pending: the error code and the bytes.
  std::pair<DWORD, std::string> Read(DWORD size) {
    std::string buffer(size, '\0');
    DWORD count = 0;
    BOOL ok = ReadFile(handle, &buffer[0], size, &count, &read);
    DWORD status = ok ? ERROR_SUCCESS : GetLastError();
    if (status == ERROR_IO_PENDING) {
      ok = GetOverlappedResult(handle, &read, &count, TRUE);
      status = ok ? ERROR_SUCCESS : GetLastError();
    }
    buffer.resize(count);
    return {status, buffer};
  }
  DWORD Write(const std::string &bytes) {
    BOOL ok = WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &write);
    DWORD status = ok ? ERROR_SUCCESS : GetLastError();
    if (status == ERROR_IO_PENDING) {
      DWORD count = 0;
      status = GetOverlappedResult(handle, &write, &count, TRUE) ? ERROR_SUCCESS : GetLastError();
    }
    return status;
  }
  bool SetMessageMode() {
    DWORD mode = PIPE_READMODE_MESSAGE;
    return SetNamedPipeHandleState(handle, &mode, nullptr, nullptr) != FALSE;
  }

  HANDLE handle;
  DWORD error;
  OVERLAPPED read{};
  OVERLAPPED write{};
};

TEST(SocketLayerTest, MissingBadAndOverlongNames) {
  Client missing("\\\\.\\pipe\\" + UniqueName());
  EXPECT_EQ(missing.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  Client notAPipe("C:\\file.txt");
  EXPECT_EQ(notAPipe.handle, INVALID_HANDLE_VALUE);

  Client overlong("\\\\.\\pipe\\" + std::string(200, 'n'));
  EXPECT_EQ(overlong.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(overlong.error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST(SocketLayerTest, AbsoluteNameIsTheSocketPath) {
  Listener listener(SOCK_SEQPACKET, 4);
  Client client("\\\\.\\pipe\\" + listener.path);
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(client.SetMessageMode());
}

TEST(SocketLayerTest, MessagesEmptyLongAndTheEndOfTheConnection) {
  Listener listener(SOCK_SEQPACKET, 4);
  Client client(listener.PipePath());
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(client.SetMessageMode());
  int server = listener.Accept();
  ASSERT_GE(server, 0);

  std::string longMessage(3000, 'L');
  longMessage[1500] = '\0';
  ASSERT_EQ(send(server, "", 0, 0), 0);
  ASSERT_EQ(send(server, longMessage.data(), longMessage.size(), 0), 3000);
  ASSERT_EQ(send(server, "a\0b", 3, 0), 3);
  close(server);
  listener.accepted.clear();

  EXPECT_EQ(client.Read(1024), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), ""s));
  auto part = client.Read(1024);
  EXPECT_EQ(part.first, static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(part.second, longMessage.substr(0, 1024));
  part = client.Read(1024);
  EXPECT_EQ(part.first, static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(part.second, longMessage.substr(1024, 1024));
  EXPECT_EQ(client.Read(1024),
            std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), longMessage.substr(2048)));
  EXPECT_EQ(client.Read(1024), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "a\0b"s));
  EXPECT_EQ(client.Read(1024).first, static_cast<DWORD>(ERROR_BROKEN_PIPE));
  // The server is gone: a write fails instead of raising SIGPIPE.
  EXPECT_NE(client.Write("hello\n"), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(SocketLayerTest, ServerClosingWithOurMessagesUnreadLosesNoneOfItsOwn) {
  Listener listener(SOCK_SEQPACKET, 4);
  Client client(listener.PipePath());
  ASSERT_TRUE(client.SetMessageMode());
  int server = listener.Accept();
  ASSERT_GE(server, 0);
  EXPECT_EQ(client.Write("never read\n"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(send(server, "one", 3, 0), 3);
  ASSERT_EQ(send(server, "two", 3, 0), 3);
  close(server);
  listener.accepted.clear();

  EXPECT_EQ(client.Read(64), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "one"s));
  EXPECT_EQ(client.Read(64), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "two"s));
  EXPECT_EQ(client.Read(64).first, static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

TEST(SocketLayerTest, WritesArriveAsOneMessageEach) {
  Listener listener(SOCK_SEQPACKET, 4);
  Client client(listener.PipePath());
  int server = listener.Accept();
  ASSERT_GE(server, 0);
  EXPECT_EQ(client.Write("first\n"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(client.Write(""), static_cast<DWORD>(ERROR_SUCCESS));
  std::string big(200000, 'B');
  EXPECT_EQ(client.Write(big), static_cast<DWORD>(ERROR_SUCCESS));
  char buffer[300000];
  EXPECT_EQ(recv(server, buffer, sizeof buffer, 0), 6);
  EXPECT_EQ(recv(server, buffer, sizeof buffer, 0), 0);
  EXPECT_EQ(recv(server, buffer, sizeof buffer, 0), 200000);
}

TEST(SocketLayerTest, ByteTypePipeRefusesMessageMode) {
  Listener listener(SOCK_STREAM, 4);
  Client client(listener.PipePath());
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(client.SetMessageMode());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  int server = listener.Accept();
  ASSERT_EQ(send(server, "bytes", 5, 0), 5);
  EXPECT_EQ(client.Read(1024), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "bytes"s));
}

TEST(SocketLayerTest, BusyPipeWaitLeavesNoConnectionBehind) {
  Listener listener(SOCK_SEQPACKET, 0);
  Client holder(listener.PipePath()); // fills the one backlog slot
  ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
  Client busy(listener.PipePath());
  EXPECT_EQ(busy.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(busy.error, static_cast<DWORD>(ERROR_PIPE_BUSY));

  EXPECT_FALSE(WaitNamedPipeA(listener.PipePath().c_str(), 100));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));
  EXPECT_GE(listener.TryAccept(), 0);
  EXPECT_LT(listener.TryAccept(), 0) << "the wait connected to the server";

  EXPECT_TRUE(WaitNamedPipeA(listener.PipePath().c_str(), NMPWAIT_USE_DEFAULT_WAIT));
  EXPECT_LT(listener.TryAccept(), 0);
  EXPECT_FALSE(WaitNamedPipeA(("\\\\.\\pipe\\" + UniqueName()).c_str(), 100));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SocketLayerTest, CloseAndCancelEndAWaitingRead) {
  Listener listener(SOCK_SEQPACKET, 4);
  Client client(listener.PipePath());
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  int server = listener.Accept();

  auto cancelled = std::async(std::launch::async, [&client] { return client.Read(64).first; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(CancelIoEx(client.handle, &client.read));
  ASSERT_EQ(cancelled.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(cancelled.get(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

  // The handle still works after a cancel.
  ASSERT_EQ(send(server, "ok", 2, 0), 2);
  EXPECT_EQ(client.Read(64), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "ok"s));

  auto closed = std::async(std::launch::async, [&client] { return client.Read(64).first; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(CloseHandle(client.handle));
  ASSERT_EQ(closed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(closed.get(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_FALSE(CloseHandle(client.handle)) << "a handle is released once";
  client.handle = INVALID_HANDLE_VALUE;
}

TEST(SocketLayerTest, PipeCallsRefuseEventsClosedAndUnknownHandles) {
  Listener listener(SOCK_SEQPACKET, 4);
  Client client(listener.PipePath());
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  const HANDLE closed = client.handle;
  ASSERT_TRUE(CloseHandle(closed));
  client.handle = INVALID_HANDLE_VALUE;
  Client next(listener.PipePath());
  ASSERT_NE(next.handle, INVALID_HANDLE_VALUE);
  EXPECT_NE(next.handle, closed) << "a handle value is given out once";

  char byte = 'x';
  DWORD count = 0;
  DWORD mode = PIPE_READMODE_MESSAGE;
  OVERLAPPED record{};
  const std::pair<const char *, std::function<BOOL(HANDLE)>> calls[] = {
      {"ReadFile", [&](HANDLE h) { return ReadFile(h, &byte, 1, &count, &record); }},
      {"WriteFile", [&](HANDLE h) { return WriteFile(h, &byte, 1, &count, &record); }},
      {"GetOverlappedResult",
       [&](HANDLE h) { return GetOverlappedResult(h, &record, &count, FALSE); }},
      {"CancelIoEx", [&](HANDLE h) { return CancelIoEx(h, nullptr); }},
      {"SetNamedPipeHandleState",
       [&](HANDLE h) { return SetNamedPipeHandleState(h, &mode, nullptr, nullptr); }},
  };
  const HANDLE wrong[] = {next.read.hEvent, closed, reinterpret_cast<HANDLE>(0x7fff0)};
  for (const auto &call : calls) {
    for (HANDLE handle : wrong) {
      SetLastError(ERROR_SUCCESS);
      EXPECT_FALSE(call.second(handle)) << call.first << " on " << handle;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE))
          << call.first << " on " << handle;
    }
  }
  EXPECT_TRUE(CloseHandle(next.read.hEvent)) << "the event itself was left as it was";
  next.read.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
}

TEST(SocketLayerTest, LastErrorBelongsToEachThread) {
  SetLastError(ERROR_PIPE_BUSY);
  std::thread([] {
    SetLastError(ERROR_BROKEN_PIPE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  }).join();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
}
} // namespace
