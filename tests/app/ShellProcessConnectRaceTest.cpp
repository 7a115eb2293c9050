#include "ClientSession.h"
#include "ClientText.h"
#include "ServerLogReader.h"
#include "TestServer.h"
#include "Transcript.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace clienttext;

const ChildProcess::Duration kLong{120000};
const std::size_t kCycles = 1000;
// A server that sends these as fast as it can on every connect: the
// receiver is always busy when a command ends the connection.
const std::size_t kMessages = 100;
// A whole number of 'a' to 'z' runs, so a byte stream of them is one run.
const std::size_t kMessageSize = 26 * 100;
// How closely a connect follows the accept is up to the scheduler, and on
// some machines every close comes before the first message. So every this
// many cycles the test holds back the rest of the input until the flood
// shows: those closes meet a stream in full flow, and something is shown.
const std::size_t kWaitEvery = 50;

// One cycle of input: the line that opens a connection and the lines that
// follow it.
struct Cycle {
  std::string open;
  std::string rest;
};

// Sends the cycles and then `last`, waiting after the opening line of every
// kWaitEvery-th cycle until the client shows the server's messages.
testing::AssertionResult SendCycles(ChildProcess &client, const std::vector<Cycle> &cycles,
                                    const std::string &last) {
  const std::string flood = Pattern(26);
  std::string pending;
  for (std::size_t i = 0; i < cycles.size(); ++i) {
    pending += cycles[i].open;
    if (i % kWaitEvery == 0) {
      // This connection's output can only come after what is there now.
      client.Collect();
      const std::size_t from = client.Output().size();
      if (!client.Send(pending, kLong)) {
        return testing::AssertionFailure() << "the client took no input at cycle " << i;
      }
      pending.clear();
      if (!client.WaitForOutput(flood, kLong, from)) {
        return testing::AssertionFailure() << "cycle " << i << " showed no message";
      }
    }
    pending += cycles[i].rest;
  }
  if (!client.Send(pending + last, kLong)) {
    return testing::AssertionFailure() << "the client took no input at the end";
  }
  return testing::AssertionSuccess();
}

std::string Tail(const std::string &text) {
  return VisibleText(text.substr(text.size() > 300 ? text.size() - 300 : 0));
}

// Runs the whole input through a client and checks its replies, and that
// everything it showed was received whole: each message, or each stretch
// of a byte stream.
void ExpectCycles(TestServer &server, bool byteType, const std::vector<Cycle> &cycles,
                  const std::string &last, const std::vector<std::string> &replies) {
  ClientSession client;
  {
    ServerLogReader log(server);
    ASSERT_TRUE(SendCycles(client.Process(), cycles, last));
    EXPECT_EQ(client.EndInput(kLong), 0);
  }
  const Transcript shown(client.Rest());
  ASSERT_TRUE(shown.Complete()) << "output ends \"" << Tail(client.Rest()) << "\"";
  EXPECT_TRUE(shown.Replies() == replies)
      << shown.Replies().size() << " replies, not " << replies.size() << "; output ends \""
      << Tail(client.Rest()) << "\"";
  ASSERT_GT(shown.Pieces().size(), 0u);
  const std::string message = Pattern(kMessageSize);
  for (std::size_t i = 0; i < shown.Pieces().size(); ++i) {
    const std::string &piece = shown.Pieces()[i];
    if (byteType) {
      // A stretch may start anywhere in the stream, so compare it with
      // the run that begins at its first letter.
      const std::size_t start = static_cast<std::size_t>(piece[0] - 'a');
      ASSERT_EQ(PatternBreak(message.substr(0, start) + piece, kMessageSize), start + piece.size())
          << "piece " << i << ": \"" << VisibleText(piece) << "\"";
    } else {
      ASSERT_TRUE(piece == message) << "piece " << i << " has " << piece.size() << " bytes";
    }
  }
  EXPECT_TRUE(server.WaitForLogCount("close ", kCycles, kLong));
  EXPECT_EQ(server.CountLog("connect "), kCycles);
}

// A thousand connects to a flooding server of each type. With `closeEach`
// a `close` ends every connection; without, the next `connect -c` replaces
// it, and one `close` ends the last.
void ExpectFloodCycles(bool closeEach) {
  for (bool byteType : {false, true}) {
    SCOPED_TRACE(TestServer::TypeName(byteType));
    TestServer server(TestServer::OfType(Messages(kMessages, kMessageSize), byteType));
    std::vector<Cycle> cycles;
    std::vector<std::string> replies;
    for (std::size_t i = 0; i < kCycles; ++i) {
      cycles.push_back({(closeEach ? "connect " : "connect -c ") + server.Name() + "\n",
                        closeEach ? "close\n" : ""});
      replies.push_back(kConnected);
      if (closeEach) {
        replies.push_back(kClosed);
      }
    }
    if (!closeEach) {
      replies.push_back(kClosed);
    }
    ExpectCycles(server, byteType, cycles, closeEach ? "" : "close\n", replies);
  }
}

TEST(ShellProcessConnectRace, ThousandConnectCloseCyclesWhileTheServerFloods) {
  ExpectFloodCycles(true);
}

TEST(ShellProcessConnectRace, ThousandConnectsEachReplacingAFloodingConnection) {
  ExpectFloodCycles(false);
}

TEST(ShellProcessConnectRace, ThousandCyclesWithEchoesOnTheirWay) {
  TestServer server;
  std::string input;
  std::vector<std::string> replies;
  for (std::size_t i = 0; i < kCycles; ++i) {
    input += "connect " + server.Name() + "\nping " + std::to_string(i) + "\nclose\n";
    replies.push_back(kConnected);
    replies.push_back(kClosed);
  }
  ClientSession client;
  {
    // A connect, a close and perhaps a message: three log lines a cycle.
    ServerLogReader log(server);
    ASSERT_TRUE(client.Process().Send(input, kLong));
    EXPECT_EQ(client.EndInput(kLong), 0);
  }
  const Transcript shown(client.Rest());
  ASSERT_TRUE(shown.Complete()) << "output ends \"" << Tail(client.Rest()) << "\"";
  EXPECT_TRUE(shown.Replies() == replies)
      << shown.Replies().size() << " replies, not " << replies.size();
  // An echo that has not come back by the `close` is dropped with the
  // connection; one that is shown is whole and shown once, in order.
  std::size_t next = 0;
  for (const std::string &piece : shown.Pieces()) {
    bool known = false;
    while (!known && next < kCycles) {
      known = piece == "ping " + std::to_string(next++) + "\n";
    }
    ASSERT_TRUE(known) << "unexpected or repeated piece \"" << VisibleText(piece) << "\"";
  }
  // Each connection logs its message before its close.
  EXPECT_TRUE(server.WaitForLogCount("close ", kCycles, kLong));
  EXPECT_EQ(server.CountLog("recv "), kCycles);
}

} // namespace
