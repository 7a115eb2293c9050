#include "ClientText.h"
#include "SocketPeer.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Result = SocketPeer::Result;
using std::chrono::milliseconds;

// Long enough that the test's own steps, even on a busy machine, end well
// within it.
constexpr milliseconds kDelay{1000};
constexpr milliseconds kTick{100};

struct PipeType {
  const char *name;
  bool byteType;
  std::vector<std::string> options;
};

const std::vector<PipeType> kTypes = {{"message type", false, {}}, {"byte type", true, {"--byte"}}};

std::vector<std::string> With(std::vector<std::string> options, const PipeType &type) {
  options.insert(options.end(), type.options.begin(), type.options.end());
  return options;
}

// The next `size` bytes: one message on a message pipe, however many reads
// on a byte pipe, which may merge what the server sent apart.
std::string Next(SocketPeer &client, const PipeType &type, std::size_t size) {
  std::string data;
  const Result result = type.byteType ? client.ReceiveBytes(size, data) : client.Receive(data);
  EXPECT_EQ(result, Result::Message) << "waiting for " << size << " bytes";
  return data;
}

TEST(ServerDelay, RepliesEachMessageItsDelayAfterItCameAndReceivesMeanwhile) {
  for (const PipeType &type : kTypes) {
    SCOPED_TRACE(type.name);
    TestServer server(With({"--delay", std::to_string(kDelay.count())}, type));
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), type.byteType), 0);
    const Clock::time_point first = Clock::now();
    ASSERT_TRUE(client.Send("one"));
    ASSERT_TRUE(server.WaitForLog("recv 1 3"));
    const Clock::time_point second = Clock::now();
    ASSERT_TRUE(client.Send("second"));
    // Taken in while the first reply waits for its time. Nothing may have
    // come yet, which a machine too busy to get here within half the delay
    // cannot tell.
    ASSERT_TRUE(server.WaitForLog("recv 1 6"));
    if (Clock::now() - first < kDelay / 2) {
      std::string early;
      EXPECT_EQ(client.Receive(early, milliseconds(0)), Result::TimedOut)
          << "got \"" << early << "\"";
    }

    if (type.byteType) {
      // Both replies may come in one read once both are due, on a machine
      // slow enough that the test reads late.
      EXPECT_EQ(Next(client, type, 9), "onesecond");
    } else {
      EXPECT_EQ(Next(client, type, 3), "one");
      EXPECT_GE(Clock::now() - first, kDelay);
      EXPECT_EQ(Next(client, type, 6), "second");
    }
    EXPECT_GE(Clock::now() - first, kDelay);
    EXPECT_GE(Clock::now() - second, kDelay);
  }
}

TEST(ServerDelay, DelaysTheScriptedReplyAsTheEchoes) {
  for (const PipeType &type : kTypes) {
    SCOPED_TRACE(type.name);
    TestServer server(
        With({"--delay", "300", "--on-message", "--send", "r1", "--send", "r2"}, type));
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), type.byteType), 0);
    const Clock::time_point sent = Clock::now();
    ASSERT_TRUE(client.Send("go"));
    if (type.byteType) {
      EXPECT_EQ(Next(client, type, 4), "r1r2");
    } else {
      EXPECT_EQ(Next(client, type, 2), "r1");
      EXPECT_EQ(Next(client, type, 2), "r2");
    }
    EXPECT_GE(Clock::now() - sent, milliseconds(300));
    ASSERT_TRUE(client.Send("more"));
    EXPECT_EQ(Next(client, type, 4), "more");
  }
}

// A server that answers and then closes: the reply always comes before the
// end of the connection, at once or after a delay.
TEST(ServerDelay, CloseAfterSendsTheRepliesOwedFirst) {
  for (const PipeType &type : kTypes) {
    for (const std::vector<std::string> &options :
         {std::vector<std::string>{"--close-after", "1"},
          std::vector<std::string>{"--close-after", "2", "--delay", "300"}}) {
      SCOPED_TRACE(std::string(type.name) + ", " + options[1] + " message(s)");
      TestServer server(With(options, type));
      SocketPeer client;
      ASSERT_EQ(client.Connect(server.SocketPath(), type.byteType), 0);
      const std::size_t count = options[1] == "1" ? 1 : 2;
      std::string expected;
      for (std::size_t i = 1; i <= count; ++i) {
        const std::string message = "message " + std::to_string(i);
        ASSERT_TRUE(client.Send(message));
        // Apart, so that a byte pipe too reads them as two.
        ASSERT_TRUE(server.WaitForLog("recv 1 " + std::to_string(message.size())));
        expected += message;
      }
      if (type.byteType) {
        EXPECT_EQ(Next(client, type, expected.size()), expected);
      } else {
        EXPECT_EQ(Next(client, type, 9), "message 1");
        if (count == 2) {
          EXPECT_EQ(Next(client, type, 9), "message 2");
        }
      }
      std::string extra;
      EXPECT_EQ(client.Receive(extra), Result::Closed) << "got \"" << extra << "\"";
      EXPECT_TRUE(server.WaitForLog("close 1"));
      EXPECT_EQ(server.CountLog("recv 1 "), count);
    }
  }
}

TEST(ServerDelay, DropsTheRepliesOwedToAClientThatLeft) {
  TestServer server({"--delay", "300"});
  {
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath()), 0);
    ASSERT_TRUE(client.Send("gone"));
    ASSERT_TRUE(server.WaitForLog("recv 1 4"));
  }
  EXPECT_TRUE(server.WaitForLog("close 1"));
  // The server serves on.
  SocketPeer next;
  ASSERT_EQ(next.Connect(server.SocketPath()), 0);
  ASSERT_TRUE(next.Send("next"));
  std::string echo;
  EXPECT_EQ(next.Receive(echo), Result::Message);
  EXPECT_EQ(echo, "next");
}

// Receives until `text`, all that came so far, holds `wanted`. On a
// message pipe each message must be one whole tick or `other`.
testing::AssertionResult ReceiveUntil(SocketPeer &client, const PipeType &type, std::string &text,
                                      const std::string &wanted, const std::string &other = "") {
  while (text.find(wanted) == std::string::npos) {
    std::string message;
    if (client.Receive(message) != Result::Message) {
      return testing::AssertionFailure() << "nothing more after \"" << text << "\"";
    }
    const bool tick =
        message.compare(0, 5, "tick ") == 0 && message.find('\n') == message.size() - 1;
    if (!type.byteType && !tick && message != other) {
      return testing::AssertionFailure()
             << "the message \"" << message << "\" after \"" << text << "\"";
    }
    text += message;
  }
  return testing::AssertionSuccess();
}

// Whether `text` is "tick 1\n" up to some "tick N\n", one after another.
testing::AssertionResult TicksFromOne(const std::string &text) {
  const std::string ticks = clienttext::Ticks(std::count(text.begin(), text.end(), '\n'));
  if (text != ticks) {
    return testing::AssertionFailure() << "\"" << text << "\" are not the ticks from 1 on";
  }
  return testing::AssertionSuccess();
}

TEST(ServerTick, SendsNumberedTicksToEachClientWhileItIsConnected) {
  for (const PipeType &type : kTypes) {
    SCOPED_TRACE(type.name);
    TestServer server(With({"--tick", std::to_string(kTick.count())}, type));
    SocketPeer first;
    const Clock::time_point connected = Clock::now();
    ASSERT_EQ(first.Connect(server.SocketPath(), type.byteType), 0);
    std::string firstTicks;
    ASSERT_TRUE(ReceiveUntil(first, type, firstTicks, "tick 3\n"));
    EXPECT_GE(Clock::now() - connected, 3 * kTick);

    // A second client counts from 1 on its own, while the first goes on.
    SocketPeer second;
    ASSERT_EQ(second.Connect(server.SocketPath(), type.byteType), 0);
    std::string secondTicks;
    ASSERT_TRUE(ReceiveUntil(second, type, secondTicks, "tick 2\n"));
    EXPECT_TRUE(TicksFromOne(secondTicks));
    ASSERT_TRUE(ReceiveUntil(first, type, firstTicks, "tick 5\n"));
    EXPECT_TRUE(TicksFromOne(firstTicks));

    first.Close();
    EXPECT_TRUE(server.WaitForLog("close 1"));
    ASSERT_TRUE(ReceiveUntil(second, type, secondTicks, "tick 4\n"));
    EXPECT_TRUE(TicksFromOne(secondTicks));
  }
}

TEST(ServerTick, EchoesComeBetweenTheTicks) {
  for (const PipeType &type : kTypes) {
    SCOPED_TRACE(type.name);
    TestServer server(With({"--tick", std::to_string(kTick.count())}, type));
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), type.byteType), 0);
    std::string text;
    ASSERT_TRUE(ReceiveUntil(client, type, text, "tick 1\n"));
    ASSERT_TRUE(client.Send("ECHO"));
    ASSERT_TRUE(ReceiveUntil(client, type, text, "ECHO", "ECHO"));
    ASSERT_TRUE(ReceiveUntil(client, type, text, "tick 3\n", "ECHO"));
    const std::size_t echo = text.find("ECHO");
    EXPECT_EQ(text[echo - 1], '\n');
    EXPECT_TRUE(TicksFromOne(text.erase(echo, 4)));
  }
}

} // namespace
