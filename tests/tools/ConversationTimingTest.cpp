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

// The next `size` bytes: one message on a message pipe, however many reads
// on a byte pipe, which may merge what the server sent apart.
std::string Next(SocketPeer &client, bool byteType, std::size_t size) {
  std::string data;
  const Result result = byteType ? client.ReceiveBytes(size, data) : client.Receive(data);
  EXPECT_EQ(result, Result::Message) << "waiting for " << size << " bytes";
  return data;
}

TEST(ConversationDelay, RepliesEachMessageItsDelayAfterItCameAndReceivesMeanwhile) {
  for (const bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({"--delay", std::to_string(kDelay.count())}, byteType));
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), byteType), 0);
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

    if (byteType) {
      // Both replies may come in one read once both are due, on a machine
      // slow enough that the test reads late.
      EXPECT_EQ(Next(client, byteType, 9), "onesecond");
    } else {
      EXPECT_EQ(Next(client, byteType, 3), "one");
      EXPECT_GE(Clock::now() - first, kDelay);
      EXPECT_EQ(Next(client, byteType, 6), "second");
    }
    EXPECT_GE(Clock::now() - first, kDelay);
    EXPECT_GE(Clock::now() - second, kDelay);
  }
}

TEST(ConversationDelay, DelaysTheScriptedReplyAsTheEchoes) {
  for (const bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType(
        {"--delay", "300", "--on-message", "--send", "r1", "--send", "r2"}, byteType));
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), byteType), 0);
    const Clock::time_point sent = Clock::now();
    ASSERT_TRUE(client.Send("go"));
    if (byteType) {
      EXPECT_EQ(Next(client, byteType, 4), "r1r2");
    } else {
      EXPECT_EQ(Next(client, byteType, 2), "r1");
      EXPECT_EQ(Next(client, byteType, 2), "r2");
    }
    EXPECT_GE(Clock::now() - sent, milliseconds(300));
    ASSERT_TRUE(client.Send("more"));
    EXPECT_EQ(Next(client, byteType, 4), "more");
  }
}

// A server that answers and then closes: the reply always comes before the
// end of the connection, at once or after a delay.
TEST(ConversationDelay, CloseAfterSendsTheRepliesOwedFirst) {
  for (const bool byteType : {false, true}) {
    for (const std::vector<std::string> &options :
         {std::vector<std::string>{"--close-after", "1"},
          std::vector<std::string>{"--close-after", "2", "--delay", "300"}}) {
      SCOPED_TRACE(std::string(TestServer::TypeName(byteType)) + ", " + options[1] + " message(s)");
      TestServer server(TestServer::OfType(options, byteType));
      SocketPeer client;
      ASSERT_EQ(client.Connect(server.SocketPath(), byteType), 0);
      const std::size_t count = options[1] == "1" ? 1 : 2;
      std::string expected;
      for (std::size_t i = 1; i <= count; ++i) {
        const std::string message = "message " + std::to_string(i);
        ASSERT_TRUE(client.Send(message));
        // Apart, so that a byte pipe too reads them as two.
        ASSERT_TRUE(server.WaitForLog("recv 1 " + std::to_string(message.size())));
        expected += message;
      }
      if (byteType) {
        EXPECT_EQ(Next(client, byteType, expected.size()), expected);
      } else {
        EXPECT_EQ(Next(client, byteType, 9), "message 1");
        if (count == 2) {
          EXPECT_EQ(Next(client, byteType, 9), "message 2");
        }
      }
      std::string extra;
      EXPECT_EQ(client.Receive(extra), Result::Closed) << "got \"" << extra << "\"";
      EXPECT_TRUE(server.WaitForLog("close 1"));
      EXPECT_EQ(server.CountLog("recv 1 "), count);
    }
  }
}

TEST(ConversationDelay, DropsTheRepliesOwedToAClientThatLeft) {
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
testing::AssertionResult ReceiveUntil(SocketPeer &client, bool byteType, std::string &text,
                                      const std::string &wanted, const std::string &other = "") {
  while (text.find(wanted) == std::string::npos) {
    std::string message;
    if (client.Receive(message) != Result::Message) {
      return testing::AssertionFailure() << "nothing more after \"" << text << "\"";
    }
    const bool tick =
        message.compare(0, 5, "tick ") == 0 && message.find('\n') == message.size() - 1;
    if (!byteType && !tick && message != other) {
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

TEST(ConversationTick, SendsNumberedTicksToEachClientWhileItIsConnected) {
  for (const bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({"--tick", std::to_string(kTick.count())}, byteType));
    SocketPeer first;
    const Clock::time_point connected = Clock::now();
    ASSERT_EQ(first.Connect(server.SocketPath(), byteType), 0);
    std::string firstTicks;
    ASSERT_TRUE(ReceiveUntil(first, byteType, firstTicks, "tick 3\n"));
    EXPECT_GE(Clock::now() - connected, 3 * kTick);

    // A second client counts from 1 on its own, while the first goes on.
    SocketPeer second;
    ASSERT_EQ(second.Connect(server.SocketPath(), byteType), 0);
    std::string secondTicks;
    ASSERT_TRUE(ReceiveUntil(second, byteType, secondTicks, "tick 2\n"));
    EXPECT_TRUE(TicksFromOne(secondTicks));
    ASSERT_TRUE(ReceiveUntil(first, byteType, firstTicks, "tick 5\n"));
    EXPECT_TRUE(TicksFromOne(firstTicks));

    first.Close();
    EXPECT_TRUE(server.WaitForLog("close 1"));
    ASSERT_TRUE(ReceiveUntil(second, byteType, secondTicks, "tick 4\n"));
    EXPECT_TRUE(TicksFromOne(secondTicks));
  }
}

TEST(ConversationTick, EchoesComeBetweenTheTicks) {
  for (const bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType({"--tick", std::to_string(kTick.count())}, byteType));
    SocketPeer client;
    ASSERT_EQ(client.Connect(server.SocketPath(), byteType), 0);
    std::string text;
    ASSERT_TRUE(ReceiveUntil(client, byteType, text, "tick 1\n"));
    ASSERT_TRUE(client.Send("ECHO"));
    ASSERT_TRUE(ReceiveUntil(client, byteType, text, "ECHO", "ECHO"));
    ASSERT_TRUE(ReceiveUntil(client, byteType, text, "tick 3\n", "ECHO"));
    const std::size_t echo = text.find("ECHO");
    EXPECT_EQ(text[echo - 1], '\n');
    EXPECT_TRUE(TicksFromOne(text.erase(echo, 4)));
  }
}

} // namespace
