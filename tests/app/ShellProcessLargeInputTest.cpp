#include "ClientSession.h"
#include "ClientText.h"
#include "ReceivedPattern.h"
#include "ServerLogReader.h"
#include "TestServer.h"
#include "Transcript.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace clienttext;

const ChildProcess::Duration kLong{120000};
const std::size_t kMegabyte = 1024 * 1024;
// The send buffer the client's socket layer asks for on a message-type pipe.
const int kClientSendBuffer = 8 * 1024 * 1024;
// The room the server adds to a message's size when it raises its buffer.
const std::size_t kServerSendOverhead = 64 * 1024;

// Whether the kernel takes one message of `size` bytes on a fresh
// message-type socket whose send buffer was raised as the client raises it
// (or, with `asServer`, as the server does). The kernel caps both the
// buffer and the size of a message, at limits that differ between systems.
bool KernelTakesMessage(std::size_t size, bool asServer) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    return false;
  }
  if (asServer) {
    const int wanted = static_cast<int>(size + kServerSendOverhead);
    if (setsockopt(ends[0], SOL_SOCKET, SO_SNDBUFFORCE, &wanted, sizeof wanted) != 0) {
      setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &wanted, sizeof wanted);
    }
  } else {
    setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &kClientSendBuffer, sizeof kClientSendBuffer);
  }
  const std::string message(size, 'p');
  const bool taken = send(ends[0], message.data(), message.size(), MSG_DONTWAIT) ==
                     static_cast<ssize_t>(message.size());
  close(ends[0]);
  close(ends[1]);
  return taken;
}

// The largest message the kernel lets the server send, found by halving
// the range between a size it takes and one it refuses.
std::size_t LargestMessage() {
  std::size_t taken = 0;
  std::size_t refused = 64 * kMegabyte;
  if (KernelTakesMessage(refused, true)) {
    return refused;
  }
  while (refused - taken > 1) {
    const std::size_t middle = taken + (refused - taken) / 2;
    (KernelTakesMessage(middle, true) ? taken : refused) = middle;
  }
  return taken;
}

// Letters, never a command word: a line the client sends as it is.
std::string Line(std::size_t size) {
  std::string line(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    line[i] = static_cast<char>('A' + (i * 7) % 26);
  }
  return line;
}

// Waits until the client has shown `bytes` received bytes in all.
bool WaitForReceived(ClientSession &client, std::size_t bytes, ChildProcess::Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    client.Process().Collect();
    if (Transcript(client.Rest()).Joined().size() >= bytes) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

TEST(ShellProcessLargeLine, ToAMessageTypeServerComesBackWholeOrFailsCleanly) {
  for (std::size_t size : {kMegabyte, 10 * kMegabyte}) {
    const std::string message = Line(size) + "\n";
    const bool fits = KernelTakesMessage(message.size(), false);
    SCOPED_TRACE(std::to_string(size) + "-byte line, which the kernel " +
                 (fits ? "takes" : "refuses") + " as one message");
    ASSERT_TRUE(!fits || KernelTakesMessage(message.size(), true))
        << "the server could not send the echo back";
    TestServer server;
    ClientSession client;
    ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
    ASSERT_TRUE(client.Process().Send(message, kLong));
    if (fits) {
      EXPECT_TRUE(client.Received({message}, 1, kLong));
      EXPECT_TRUE(server.WaitForLog("recv 1 " + std::to_string(message.size())));
    } else {
      EXPECT_TRUE(client.Reply(kCannotWrite, kLong));
    }
    // The connection is still good.
    ASSERT_TRUE(client.Type("short"));
    EXPECT_TRUE(client.Received({"short\n"}));
    EXPECT_EQ(client.EndInput(kLong), 0);
    EXPECT_EQ(server.CountLog("recv "), fits ? 2u : 1u);
  }
}

TEST(ShellProcessLargeLine, TenMegabytesToAByteTypeServerComeBackWhole) {
  const std::string message = Line(10 * kMegabyte) + "\n";
  TestServer server({"--byte"});
  ClientSession client;
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
  const std::size_t echoFrom = client.Process().Output().size();
  {
    // The server logs each read of the stream, however small.
    ServerLogReader log(server);
    ASSERT_TRUE(client.Process().Send(message, kLong));
    // The line's only line feed ends the echo's last piece.
    ASSERT_TRUE(client.Process().WaitForOutput("\n$ ", kLong, echoFrom));
    ASSERT_TRUE(client.Type("close"));
    EXPECT_EQ(client.EndInput(kLong), 0);
  }

  // A stream has no messages: the echo comes in as many reads as it
  // takes, each shown as a piece, and together they are the line.
  const Transcript shown(client.Rest());
  ASSERT_TRUE(shown.Complete());
  EXPECT_EQ(shown.Replies(), std::vector<std::string>{kClosed});
  EXPECT_TRUE(shown.Joined() == message)
      << "received " << shown.Joined().size() << " bytes of " << message.size();
}

TEST(ShellProcessLargeMessage, FromTheServerIsShownWhole) {
  // The largest of these the kernel lets the server send.
  std::size_t size = 0;
  for (std::size_t candidate : {4 * kMegabyte, kMegabyte, 256 * std::size_t{1024}}) {
    if (KernelTakesMessage(candidate, true)) {
      size = candidate;
      break;
    }
  }
  ASSERT_GT(size, 0u) << "the kernel takes no large message";
  SCOPED_TRACE(std::to_string(size) + "-byte message");
  TestServer server({"--on-message", "--send-size", std::to_string(size), "--send", "after"});
  ClientSession client;
  ASSERT_TRUE(client.Command("connect " + server.Name(), kConnected));
  ASSERT_TRUE(client.Type("go"));
  EXPECT_TRUE(client.Received({Pattern(size), "after"}, 1, kLong));
  EXPECT_EQ(client.EndInput(), 0);
}

// The most a client may have resident at its peak, whatever it receives:
// it holds back at most a part of a piece, besides the one message of a few
// MiB at most that a message pipe's socket layer takes in at once.
const std::size_t kClientMemoryBound = 16 * kMegabyte;
// A gigabyte takes some seconds to pass through the client; this only
// guards against a hang.
const ChildProcess::Duration kHuge{240000};

// A fresh client connects to `server`, which answers its first line with
// `size` bytes of the pattern; every byte the client shows is checked as it
// comes. Returns the client's peak resident memory, read once all was shown,
// just before the client is told to exit.
std::optional<std::size_t> ReceivePattern(TestServer &server, std::size_t size,
                                          ReceivedPattern &shown) {
  ClientSession client;
  const testing::AssertionResult connected = client.Command("connect " + server.Name(), kConnected);
  if (!connected) {
    ADD_FAILURE() << connected.message();
    return std::nullopt;
  }
  const std::optional<std::size_t> peak = shown.Receive(client, size, kHuge);
  if (peak) {
    std::printf("skellan VmHWM after %zu bytes: %zu KiB\n", size, *peak / 1024);
  }
  return peak;
}

#ifdef SKELLAN_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST(ShellProcessReceiveMemory, TheLargestMessageLeavesTheClientUnder16MiB) {
  if (kSanitized) {
    GTEST_SKIP() << "a sanitizer's own memory would count as the client's";
  }
  const std::size_t size = LargestMessage();
  ASSERT_GT(size, kMegabyte) << "the kernel takes no large message";
  SCOPED_TRACE(std::to_string(size) + "-byte message, the largest the kernel takes");
  TestServer server({"--on-message", "--send-size", std::to_string(size)});
  ReceivedPattern shown;
  const std::optional<std::size_t> peak = ReceivePattern(server, size, shown);
  // One piece, however many parts it was shown in.
  EXPECT_EQ(shown.Pieces(), 1u);
  ASSERT_TRUE(peak.has_value());
  EXPECT_LT(*peak, kClientMemoryBound);
}

TEST(ShellProcessReceiveMemory, AGigabyteStreamWithoutANulLeavesTheClientUnder16MiB) {
  if (kSanitized) {
    GTEST_SKIP() << "a sanitizer's own memory would count as the client's";
  }
  const std::size_t size = 1024 * kMegabyte;
  TestServer server({"--byte", "--on-message", "--send-size", std::to_string(size)});
  ReceivedPattern shown;
  const std::optional<std::size_t> peak = ReceivePattern(server, size, shown);
  // Each read of a stream, of at most the client's 1024-byte buffer, is
  // shown as it comes.
  EXPECT_LE(shown.LongestPiece(), 1024u);
  ASSERT_TRUE(peak.has_value());
  EXPECT_LT(*peak, kClientMemoryBound);
  // The server makes the stream a part at a time, too.
  const std::optional<std::size_t> serverPeak = server.Process().PeakResidentBytes();
  ASSERT_TRUE(serverPeak.has_value());
  EXPECT_LT(*serverPeak, kClientMemoryBound);
}

TEST(ShellProcessPipedLines, HundredThousandEchoesShownOnceEachAndInOrder) {
  const int count = 100000;
  std::vector<std::string> lines;
  std::string sent;
  for (int i = 0; i < count; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "line %06d\n", i);
    lines.push_back(line);
    sent += line;
  }
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({}, byteType));
    ClientSession client;
    {
      ServerLogReader log(server);
      ASSERT_TRUE(client.Process().Send("connect " + server.Name() + "\n" + sent, kLong));
      // Echoes still on their way when the connection closes are
      // dropped, so the close waits for the last one.
      ASSERT_TRUE(WaitForReceived(client, sent.size(), kLong));
      ASSERT_TRUE(client.Type("close"));
      EXPECT_EQ(client.EndInput(kLong), 0);
    }

    const Transcript shown(client.Rest());
    ASSERT_TRUE(shown.Complete());
    EXPECT_EQ(shown.Replies(), (std::vector<std::string>{kConnected, kClosed}));
    // One prompt for each line read after the first.
    EXPECT_EQ(shown.Prompts(), static_cast<std::size_t>(count) + 2);
    if (byteType) {
      EXPECT_TRUE(shown.Joined() == sent)
          << "received " << shown.Joined().size() << " bytes of " << sent.size();
    } else {
      ASSERT_EQ(shown.Pieces().size(), lines.size());
      for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(shown.Pieces()[i], lines[i]) << "echo " << i;
      }
    }
  }
}

} // namespace
