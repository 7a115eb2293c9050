// The Linux layer under the Win32 pipe calls, against listening sockets
// that the tests make themselves.
#include "PipeApi.h"
#include "SocketPeer.h"
#include "TestServer.h"
#include "linux/PipeName.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

namespace {
using namespace std::string_literals;

// A server of the test's own under the name the layer maps a pipe name to.
struct Listener {
  explicit Listener(bool byteType = false, int backlog = 4)
      : name(TestServer::UniqueName()),
        path(PipeName::Directory() + PipeName::SocketPrefix + name) {
    EXPECT_EQ(peer.Listen(path, byteType, backlog), 0);
  }
  std::string PipePath() const { return "\\\\.\\pipe\\" + name; }

  std::string name;
  std::string path;
  SocketPeer peer;
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

TEST(Win32ApiTest, MissingBadAndOverlongNames) {
  Client missing("\\\\.\\pipe\\" + TestServer::UniqueName());
  EXPECT_EQ(missing.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  Client notAPipe("C:\\file.txt");
  EXPECT_EQ(notAPipe.handle, INVALID_HANDLE_VALUE);

  Client overlong("\\\\.\\pipe\\" + std::string(200, 'n'));
  EXPECT_EQ(overlong.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(overlong.error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST(Win32ApiTest, AbsoluteNameIsTheSocketPath) {
  Listener listener;
  Client client("\\\\.\\pipe\\" + listener.path);
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(client.SetMessageMode());
}

TEST(Win32ApiTest, MessagesEmptyLongAndTheEndOfTheConnection) {
  Listener listener;
  Client client(listener.PipePath());
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(client.SetMessageMode());
  SocketPeer server = listener.peer.Accept();
  ASSERT_TRUE(server.IsOpen());

  std::string longMessage(3000, 'L');
  longMessage[1500] = '\0';
  ASSERT_TRUE(server.Send(""));
  ASSERT_TRUE(server.Send(longMessage));
  ASSERT_TRUE(server.Send("a\0b"s));
  server.Close();

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

TEST(Win32ApiTest, ServerClosingWithOurMessagesUnreadLosesNoneOfItsOwn) {
  Listener listener;
  Client client(listener.PipePath());
  ASSERT_TRUE(client.SetMessageMode());
  SocketPeer server = listener.peer.Accept();
  ASSERT_TRUE(server.IsOpen());
  EXPECT_EQ(client.Write("never read\n"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(server.Send("one"));
  ASSERT_TRUE(server.Send("two"));
  server.Close();

  EXPECT_EQ(client.Read(64), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "one"s));
  EXPECT_EQ(client.Read(64), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "two"s));
  EXPECT_EQ(client.Read(64).first, static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

TEST(Win32ApiTest, WritesArriveAsOneMessageEach) {
  Listener listener;
  Client client(listener.PipePath());
  SocketPeer server = listener.peer.Accept();
  ASSERT_TRUE(server.IsOpen());
  const std::string big(200000, 'B');
  for (const std::string &message : {"first\n"s, ""s, big}) {
    EXPECT_EQ(client.Write(message), static_cast<DWORD>(ERROR_SUCCESS));
    std::string received;
    ASSERT_EQ(server.Receive(received), SocketPeer::Result::Message);
    EXPECT_TRUE(received == message) << received.size() << " bytes, not " << message.size();
  }
}

TEST(Win32ApiTest, ByteTypePipeRefusesMessageMode) {
  Listener listener(true);
  Client client(listener.PipePath());
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(client.SetMessageMode());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SocketPeer server = listener.peer.Accept();
  ASSERT_TRUE(server.Send("bytes"));
  EXPECT_EQ(client.Read(1024), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "bytes"s));
}

TEST(Win32ApiTest, BusyPipeWaitLeavesNoConnectionBehind) {
  Listener listener(false, 0);
  Client holder(listener.PipePath()); // fills the one backlog slot
  ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
  Client busy(listener.PipePath());
  EXPECT_EQ(busy.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(busy.error, static_cast<DWORD>(ERROR_PIPE_BUSY));

  EXPECT_FALSE(WaitNamedPipeA(listener.PipePath().c_str(), 100));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));
  const ChildProcess::Duration now(0);
  EXPECT_TRUE(listener.peer.Accept(now).IsOpen());
  EXPECT_FALSE(listener.peer.Accept(now).IsOpen()) << "the wait connected to the server";

  EXPECT_TRUE(WaitNamedPipeA(listener.PipePath().c_str(), NMPWAIT_USE_DEFAULT_WAIT));
  EXPECT_FALSE(listener.peer.Accept(now).IsOpen());
  EXPECT_FALSE(WaitNamedPipeA(("\\\\.\\pipe\\" + TestServer::UniqueName()).c_str(), 100));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32ApiTest, CloseAndCancelEndAWaitingRead) {
  Listener listener;
  Client client(listener.PipePath());
  ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
  SocketPeer server = listener.peer.Accept();

  auto cancelled = std::async(std::launch::async, [&client] { return client.Read(64).first; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(CancelIoEx(client.handle, &client.read));
  ASSERT_EQ(cancelled.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(cancelled.get(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

  // The handle still works after a cancel.
  ASSERT_TRUE(server.Send("ok"));
  EXPECT_EQ(client.Read(64), std::make_pair(static_cast<DWORD>(ERROR_SUCCESS), "ok"s));

  auto closed = std::async(std::launch::async, [&client] { return client.Read(64).first; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(CloseHandle(client.handle));
  ASSERT_EQ(closed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(closed.get(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_FALSE(CloseHandle(client.handle)) << "a handle is released once";
  client.handle = INVALID_HANDLE_VALUE;
}

TEST(Win32ApiTest, LastErrorBelongsToEachThread) {
  SetLastError(ERROR_PIPE_BUSY);
  std::thread([] {
    SetLastError(ERROR_BROKEN_PIPE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  }).join();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
}
} // namespace
